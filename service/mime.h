// MIME through GMime: the clear message the service protects, the PGP/MIME
// wrapper it delivers, its own notices, and the reading of a decrypted one.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace veilmark::service {

void InitMime();
void ShutdownMime();

struct MailFile {
  std::string name;
  std::string contentType;  // "type/subtype"
  std::string data;
};

// The HTML body alone, or multipart/mixed of the body then the attachments.
std::string BuildClearEntity(const std::string& html, const std::vector<MailFile>& attachments);

struct Envelope {
  std::string from;
  std::vector<std::string> to;
  std::vector<std::string> cc;
  std::string subject;
};

// multipart/encrypted: the version part, then `armored` as encrypted.asc;
// with From, To, Cc, Subject, Date, Message-ID and MIME-Version.
std::string BuildEncryptedMessage(const Envelope& envelope, const std::string& armored);
// A text/plain notice from the service itself.
std::string BuildNoticeMessage(const Envelope& envelope, const std::string& text);

struct ClearContent {
  std::string text;  // UTF-8
  bool html = false;
  std::vector<MailFile> attachments;
};

// What a decrypted entity holds: its first HTML body (or else its first
// plain body) and every attachment, decoded. Nothing when it is not MIME.
std::optional<ClearContent> ReadClearEntity(const std::string& entity);

}  // namespace veilmark::service
