// Local delivery into Maildir folders, as an MTA's delivery agent does it.
#pragma once

#include <string>
#include <vector>

namespace veilmark::service {

// A message written into tmp/ of its Maildir, not yet visible in new/.
struct StagedMail {
  std::string temporary;
  std::string final;
};
StagedMail StageToMaildir(const std::string& root, const std::string& recipient,
                          const std::string& envelopeFrom, const std::string& message);
// Moves every staged message into new/, or (when one move fails) none: the
// ones moved already are taken back and the call throws.
void PublishStaged(const std::vector<StagedMail>& staged);
void DiscardStaged(const std::vector<StagedMail>& staged);

// Writes `message` into <root>/<recipient>/new/ under a unique name (through
// tmp/, then renamed), with Return-Path, Delivered-To and Received in front.
// `recipient` must be a checked address (see IsDeliverableAddress). Returns
// the file's path; throws when the folder cannot be written.
std::string DeliverToMaildir(const std::string& root, const std::string& recipient,
                             const std::string& envelopeFrom, const std::string& message);

// Plain addresses whose lower-cased form is safe as a folder name:
// local@domain of letters, digits and ._%+- (local) or .- (domain).
bool IsDeliverableAddress(const std::string& address);

}  // namespace veilmark::service
