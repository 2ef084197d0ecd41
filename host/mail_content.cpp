#include "host/mail_content.h"

#include <filesystem>

#include "base/text.h"

namespace veilmark::hostapp {

MailItemContent ReceivedContent(const EmlMessage& message, const std::string& account) {
  MailItemContent content;
  content.sent = true;
  content.entryId = Utf8ToWide(EntryIdFor(message.path, message.messageId));
  content.subject = Utf8ToWide(message.subject);
  content.htmlBody = Utf8ToWide(message.htmlBody);
  for (const MessageAddress& to : message.to) {
    content.recipients.push_back(
        {Utf8ToWide(to.address), outlook::kRecipientTo, outlook::kDisplayTypeRemoteUser});
  }
  for (const MessageAddress& cc : message.cc) {
    content.recipients.push_back(
        {Utf8ToWide(cc.address), outlook::kRecipientCc, outlook::kDisplayTypeRemoteUser});
  }
  for (const MessageAttachment& attachment : message.attachments) {
    content.attachments.push_back({Utf8ToWide(attachment.fileName), attachment.bytes});
  }
  content.properties[outlook::kTransportHeadersProperty] = Utf8ToWide(message.rawHeaders);
  // Unset when the message names nobody: the add-in is told so by a failed read.
  const std::string receivedBy = ReceivedByAddress(message, account);
  if (!receivedBy.empty()) {
    content.properties[outlook::kReceivedByAddressProperty] = Utf8ToWide(receivedBy);
  }
  return content;
}

MailItemContent ComposeContent(const CommandLine& line) {
  MailItemContent content;
  content.sent = false;
  content.subject = Utf8ToWide(line.subject);
  if (line.htmlFile) {
    content.htmlBody = Utf8ToWide(ReadInputFile(*line.htmlFile));
  } else if (line.htmlText) {
    content.htmlBody = Utf8ToWide(*line.htmlText);
  }
  for (const RecipientArg& recipient : line.recipients) {
    content.recipients.push_back(
        {Utf8ToWide(recipient.address), recipient.type,
         recipient.list ? kDisplayTypeDistList : outlook::kDisplayTypeRemoteUser});
  }
  for (const std::string& path : line.attachments) {
    const std::string name = std::filesystem::path(path).filename().string();
    content.attachments.push_back({Utf8ToWide(name), ReadInputFile(path)});
  }
  content.sendUsingAccount = Utf8ToWide(line.account);
  return content;
}

}  // namespace veilmark::hostapp
