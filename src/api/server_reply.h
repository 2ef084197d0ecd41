// The result of every service call: parsed reply, or a failure made by the
// client itself ("CLIENT_ERROR", "PARSE_ERROR").
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace veilmark {

class ReplyStatus {
 public:
  ReplyStatus() = default;
  ReplyStatus(std::string code, std::vector<std::string> messages)
      : code_(std::move(code)), messages_(std::move(messages)) {}

  const std::string& code() const { return code_; }
  const std::vector<std::string>& messages() const { return messages_; }

  bool isOk() const { return code_ == "OK"; }
  bool needsLogin() const { return code_ == "INVALID_SESSION" || code_ == "EXT_PASS_NOT_FILLED"; }
  bool isExtraPass() const { return code_ == "EXTRA_PASS"; }

  // "Status code is: <code>" then "\nMessage: <m>" per message.
  std::u16string describe() const;

 private:
  std::string code_ = "NOT_OK";
  std::vector<std::string> messages_;
};

struct VeilmarkUser {
  std::u16string firstName;
  std::u16string middleName;
  std::u16string lastName;
  std::u16string email;
  std::u16string registerState;
  std::u16string registeredFrom;
};

struct VeilmarkDecryptedAtt {
  std::u16string name;
  std::u16string url;
  std::u16string previewUrl;
  std::int64_t size = 0;
  std::string contentType;
};

struct VeilmarkUploadAtt {
  std::string id;  // decimal text of the service's id
  std::u16string name;
};

class ServerReply {
 public:
  ServerReply() = default;
  ServerReply(const ServerReply&) = delete;
  ServerReply& operator=(const ServerReply&) = delete;

  const std::string& request() const { return request_; }
  const ReplyStatus& status() const { return status_; }
  const std::string& sessionId() const { return sessionId_; }
  const std::vector<VeilmarkUser>& users() const { return users_; }
  const std::u16string& openIdUrl() const { return openIdUrl_; }
  const std::u16string& cipherText() const { return cipherText_; }
  const std::u16string& clearText() const { return clearText_; }
  const std::u16string& securityQuestion() const { return securityQuestion_; }
  const std::vector<VeilmarkDecryptedAtt>& decryptedAttachments() const {
    return decryptedAttachments_;
  }
  const std::vector<VeilmarkUploadAtt>& uploadedAttachments() const { return uploadedAttachments_; }
  const std::vector<std::u16string>& aliases() const { return aliases_; }

 private:
  friend class ReplyBuilder;

  std::string request_ = "unknown";
  ReplyStatus status_;
  std::string sessionId_;
  std::vector<VeilmarkUser> users_;
  std::u16string openIdUrl_;
  std::u16string cipherText_;
  std::u16string clearText_;
  std::u16string securityQuestion_;
  std::vector<VeilmarkDecryptedAtt> decryptedAttachments_;
  std::vector<VeilmarkUploadAtt> uploadedAttachments_;
  std::vector<std::u16string> aliases_;
};

// Never fails: text that is not JSON (or nested past the parser's limit) gives
// a "PARSE_ERROR" reply. Any JSON gives a reply: a member of an unexpected type
// reads as absent (a list as empty, a text as empty, a number as 0), and a root
// that is not an object reads as a reply without "status" (NOT_OK).
std::unique_ptr<ServerReply> ParseReply(std::string_view text);
// The same, freeing the text once its tree is built: a reply can be as
// large as a message, and the text, the tree and the converted members
// need not all be held at once.
std::unique_ptr<ServerReply> ParseOwnedReply(std::string&& text);

// A reply made by the client: request "error", `code`, exactly one message.
std::unique_ptr<ServerReply> MakeFailureReply(std::string code, std::string message);

// Replies are owned by whoever asked: a decrypted message can be large.
using Reply = std::unique_ptr<ServerReply>;

}  // namespace veilmark
