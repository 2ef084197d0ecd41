// The mail items veilmark-host presents: a received message from the .eml
// store, and the new message of the compose window.
#pragma once

#include <cstdint>
#include <string>

#include "host/command_line.h"
#include "host/eml_message.h"
#include "outlook/memory/memory_outlook.h"

namespace veilmark::hostapp {

// Sent, with the transport headers, the received-by address (see
// ReceivedByAddress) and a stable entry id.
void FillReceived(outlook::MemoryMailItem& item, const EmlMessage& message,
                  const std::string& account);

// The unsent message of `send`: recipients in the order given, the body and
// the attachments read from their files now. Throws InputFileError.
void FillCompose(outlook::MemoryMailItem& item, const CommandLine& line);

// veilmark-host's address book: a list always resolves and has no SMTP
// address of its own; anyone else resolves when the address has an "@".
void SetAddress(outlook::MemoryRecipient& recipient, const std::string& address,
                std::int32_t displayType);

}  // namespace veilmark::hostapp
