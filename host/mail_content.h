// The mail items veilmark-host presents: a received message from the .eml
// store, and the new message of the compose window.
#pragma once

#include <string>

#include "host/command_line.h"
#include "host/eml_message.h"
#include "host/store_objects.h"

namespace veilmark::hostapp {

// Sent, with the transport headers, the received-by address (see
// ReceivedByAddress) and a stable entry id.
MailItemContent ReceivedContent(const EmlMessage& message, const std::string& account);

// The unsent message of `send`: recipients in the order given, the body and
// the attachments read from their files now. Throws InputFileError.
MailItemContent ComposeContent(const CommandLine& line);

}  // namespace veilmark::hostapp
