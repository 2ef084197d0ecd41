#include "host/mail_content.h"

#include <filesystem>

#include "base/text.h"

namespace veilmark::hostapp {

void SetAddress(outlook::MemoryRecipient& recipient, const std::string& address,
                std::int32_t displayType) {
  const bool list = displayType == outlook::kDisplayTypeDistList;
  recipient.address = Utf8ToWide(address);
  recipient.displayType = displayType;
  recipient.resolves = list || address.find('@') != std::string::npos;
  if (!list && !address.empty()) recipient.SetSmtpAddress(recipient.address);
}

void FillReceived(outlook::MemoryMailItem& item, const EmlMessage& message,
                  const std::string& account) {
  item.sent = true;
  item.entryId = Utf8ToWide(EntryIdFor(message.path, message.messageId));
  item.subject = Utf8ToWide(message.subject);
  item.htmlBody = Utf8ToWide(message.htmlBody);
  const auto addAll = [&item](const std::vector<MessageAddress>& addresses, std::int32_t type) {
    for (const MessageAddress& address : addresses) {
      SetAddress(*item.recipients->Add({}, type), address.address, outlook::kDisplayTypeRemoteUser);
    }
  };
  addAll(message.to, outlook::kRecipientTo);
  addAll(message.cc, outlook::kRecipientCc);
  for (const MessageAttachment& attachment : message.attachments) {
    item.attachments->Add(Utf8ToWide(attachment.fileName), {})->writer = attachment.writeTo;
  }
  auto& properties = item.propertyAccessor->properties;
  properties[outlook::kTransportHeadersProperty] = Utf8ToWide(message.rawHeaders);
  // Unset when the message names nobody: the add-in is told so by a failed read.
  const std::string receivedBy = ReceivedByAddress(message, account);
  if (!receivedBy.empty()) {
    properties[outlook::kReceivedByAddressProperty] = Utf8ToWide(receivedBy);
  }
}

void FillCompose(outlook::MemoryMailItem& item, const CommandLine& line) {
  item.sent = false;
  item.subject = Utf8ToWide(line.subject);
  if (line.htmlFile) {
    item.htmlBody = Utf8ToWide(ReadInputFile(*line.htmlFile));
  } else if (line.htmlText) {
    item.htmlBody = Utf8ToWide(*line.htmlText);
  }
  for (const RecipientArg& recipient : line.recipients) {
    SetAddress(*item.recipients->Add({}, recipient.type), recipient.address,
               recipient.list ? outlook::kDisplayTypeDistList : outlook::kDisplayTypeRemoteUser);
  }
  for (const std::string& path : line.attachments) {
    const std::string name = std::filesystem::path(path).filename().string();
    item.attachments->Add(Utf8ToWide(name), ReadInputFile(path));
  }
  item.sendUsingAccount = std::make_shared<outlook::MemoryAccount>();
  item.Adopt(*item.sendUsingAccount, "account");
  item.sendUsingAccount->smtpAddress = Utf8ToWide(line.account);
}

}  // namespace veilmark::hostapp
