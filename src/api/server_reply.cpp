#include "api/server_reply.h"

#include <json/json.h>

#include <cstdint>
#include <cstring>
#include <exception>
#include <string>
#include <utility>

#include "base/text.h"

namespace veilmark {

std::u16string ReplyStatus::describe() const {
  std::u16string text = u"Status code is: " + Utf8ToWide(code_);
  for (const std::string& message : messages_) {
    text += u"\nMessage: ";
    text += Utf8ToWide(message);
  }
  return text;
}

namespace {

// A member of a type the service does not send reads as absent: a list as
// empty, a text as empty, a number as 0. Only text that is not JSON at all is a
// PARSE_ERROR, so a refusal's status code is always kept.

// Scalars read as text the way jsoncpp converts them (null is empty, a
// boolean "true"/"false"); null, or a container where text belongs, reads as
// absent.
std::string ScalarText(const Json::Value& value, const char* fallback = "") {
  if (value.isNull() || value.isObject() || value.isArray()) return fallback;
  return value.asString();
}

std::string TextMember(const Json::Value& object, const char* name, const char* fallback = "") {
  if (!object.isMember(name)) return fallback;
  return ScalarText(object[name], fallback);
}

// A text member is converted from the parser's own bytes: a clear text can
// be tens of megabytes, and an intermediate copy would double it.
std::u16string WideMember(const Json::Value& object, const char* name) {
  const Json::Value* value = object.find(name, name + std::strlen(name));
  const char* begin = nullptr;
  const char* end = nullptr;
  if (value && value->isString() && value->getString(&begin, &end)) {
    return Utf8ToWide(std::string_view(begin, static_cast<std::size_t>(end - begin)));
  }
  return Utf8ToWide(TextMember(object, name));
}

// A whole number; a whole-valued double in range and a decimal string of
// digits are converted, anything else reads as 0.
std::int64_t IntegerMember(const Json::Value& object, const char* name) {
  if (!object.isMember(name)) return 0;
  const Json::Value& value = object[name];
  if (value.isInt64()) return value.asInt64();
  if (value.isDouble()) {
    const double number = value.asDouble();
    // 2^63 is exact as a double; every whole double below it fits.
    if (number >= -9223372036854775808.0 && number < 9223372036854775808.0 &&
        number == static_cast<double>(static_cast<std::int64_t>(number))) {
      return static_cast<std::int64_t>(number);
    }
    return 0;
  }
  if (value.isString()) {
    const std::string text = value.asString();
    std::size_t i = (!text.empty() && text[0] == '-') ? 1 : 0;
    if (i == text.size() || text.size() - i > 19) return 0;
    std::uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
      if (text[i] < '0' || text[i] > '9') return 0;
      magnitude = magnitude * 10 + static_cast<std::uint64_t>(text[i] - '0');
    }
    const bool negative = text[0] == '-';
    const std::uint64_t limit =
        negative ? std::uint64_t{9223372036854775808u} : std::uint64_t{9223372036854775807u};
    if (magnitude > limit) return 0;
    if (negative) {
      return magnitude == limit ? INT64_MIN : -static_cast<std::int64_t>(magnitude);
    }
    return static_cast<std::int64_t>(magnitude);
  }
  return 0;
}

// An absent list, or anything but an array, is empty.
const Json::Value* ListMember(const Json::Value& object, const char* name) {
  if (!object.isMember(name)) return nullptr;
  const Json::Value& value = object[name];
  if (!value.isArray()) return nullptr;
  return &value;
}

}  // namespace

class ReplyBuilder {
 public:
  static std::unique_ptr<ServerReply> Failure(std::string code, std::string message) {
    auto reply = std::make_unique<ServerReply>();
    reply->request_ = "error";
    reply->status_ = ReplyStatus(std::move(code), {std::move(message)});
    return reply;
  }

  // A root that is not an object is a reply without "status" (NOT_OK).
  // The large texts are dropped from the tree once converted.
  static std::unique_ptr<ServerReply> FromJson(Json::Value& root) {
    auto reply = std::make_unique<ServerReply>();
    if (!root.isObject()) return reply;

    std::string code = "NOT_OK";
    std::vector<std::string> messages;
    if (root.isMember("status") && root["status"].isObject()) {
      const Json::Value& status = root["status"];
      code = TextMember(status, "statusCode", "NOT_OK");
      if (const Json::Value* list = ListMember(status, "message")) {
        for (const Json::Value& element : *list) {
          if (element.isObject() || element.isArray()) continue;
          messages.push_back(element.asString());
        }
      }
    }
    reply->status_ = ReplyStatus(std::move(code), std::move(messages));
    reply->request_ = TextMember(root, "request", "unknown");
    reply->sessionId_ = TextMember(root, "sessionId");
    if (!reply->status_.isOk()) return reply;  // payload is read for "OK" only

    if (const Json::Value* list = ListMember(root, "users")) {
      for (const Json::Value& element : *list) {
        if (!element.isObject()) continue;
        reply->users_.push_back(VeilmarkUser{
            WideMember(element, "firstName"), WideMember(element, "middleName"),
            WideMember(element, "lastName"), WideMember(element, "email"),
            WideMember(element, "registerState"), WideMember(element, "registeredFrom")});
      }
    }
    reply->cipherText_ = WideMember(root, "cipherText");
    root.removeMember("cipherText");
    reply->clearText_ = WideMember(root, "clearText");
    root.removeMember("clearText");
    reply->openIdUrl_ = WideMember(root, "openIdUrl");
    reply->securityQuestion_ = WideMember(root, "securityQuestion");
    if (const Json::Value* list = ListMember(root, "decryptedAttachments")) {
      for (const Json::Value& element : *list) {
        if (!element.isObject()) continue;
        reply->decryptedAttachments_.push_back(
            VeilmarkDecryptedAtt{WideMember(element, "name"), WideMember(element, "url"),
                                 WideMember(element, "previewUrl"), IntegerMember(element, "size"),
                                 TextMember(element, "contentType")});
      }
    }
    if (const Json::Value* list = ListMember(root, "att")) {
      for (const Json::Value& element : *list) {
        if (!element.isObject()) continue;
        reply->uploadedAttachments_.push_back(VeilmarkUploadAtt{
            std::to_string(IntegerMember(element, "id")), WideMember(element, "name")});
      }
    }
    if (const Json::Value* list = ListMember(root, "aliases")) {
      for (const Json::Value& element : *list) {
        if (element.isObject() || element.isArray()) continue;
        reply->aliases_.push_back(Utf8ToWide(element.asString()));
      }
    }
    return reply;
  }
};

std::unique_ptr<ServerReply> MakeFailureReply(std::string code, std::string message) {
  return ReplyBuilder::Failure(std::move(code), std::move(message));
}

namespace {

// Parses into `root`; null on success, else the PARSE_ERROR reply.
std::unique_ptr<ServerReply> ParseInto(std::string_view text, Json::Value& root) {
  static const std::string kPrefix = "Unable to parse server reply - ";
  try {
    Json::Reader reader;
    if (!reader.parse(text.data(), text.data() + text.size(), root, true)) {
      return MakeFailureReply("PARSE_ERROR", kPrefix + reader.getFormattedErrorMessages());
    }
    return nullptr;
  } catch (const std::exception& error) {
    // jsoncpp throws past its nesting limit and on out-of-range numbers.
    return MakeFailureReply("PARSE_ERROR", kPrefix + error.what());
  }
}

}  // namespace

std::unique_ptr<ServerReply> ParseReply(std::string_view text) {
  Json::Value root;
  if (auto failure = ParseInto(text, root)) return failure;
  return ReplyBuilder::FromJson(root);
}

std::unique_ptr<ServerReply> ParseOwnedReply(std::string&& text) {
  Json::Value root;
  std::unique_ptr<ServerReply> failure = ParseInto(text, root);
  std::string().swap(text);
  if (failure) return failure;
  return ReplyBuilder::FromJson(root);
}

}  // namespace veilmark
