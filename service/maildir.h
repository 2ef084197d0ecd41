// Local delivery into Maildir folders, as an MTA's delivery agent does it.
#pragma once

#include <string>

namespace veilmark::service {

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
