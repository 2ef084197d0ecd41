// A received message read from an .eml file: what the mail store needs of
// it to present it as a mail item.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace veilmark::hostapp {

// An input file that cannot be read, or a message file that is not a mail
// message; what() says which and why, naming the file.
class InputFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct MessageAttachment {
  std::string fileName;  // UTF-8
  // Writes the content, its transfer encoding undone, to a file (replacing
  // it) from the message file; false when it cannot.
  std::function<bool(const std::string& path)> writeTo;
};

struct MessageAddress {
  std::string name;     // UTF-8, may be empty
  std::string address;  // the bare mailbox
};

struct EmlMessage {
  std::string path;        // absolute
  std::string rawHeaders;  // the header block's bytes, as in the file
  std::string messageId;
  std::string subject;      // UTF-8, decoded
  std::string htmlBody;     // UTF-8
  std::string deliveredTo;  // the first Delivered-To mailbox, or empty
  std::vector<MessageAddress> to;
  std::vector<MessageAddress> cc;
  bool encrypted = false;  // multipart/encrypted at the top
  std::vector<MessageAttachment> attachments;
};

// The whole file. Throws InputFileError.
std::string ReadInputFile(const std::string& path);

// Parses the file; attachments are read from it when written. Throws
// InputFileError.
EmlMessage LoadEmlMessage(const std::string& path);

// The address the message counts as received by: `account` when given,
// else the first Delivered-To, else the first To; empty when none.
std::string ReceivedByAddress(const EmlMessage& message, const std::string& account);

// Stable for the same file and message: hex of a digest of both.
std::string EntryIdFor(const std::string& absolutePath, const std::string& messageId);

}  // namespace veilmark::hostapp
