#include "api/server_reply.h"

#include <json/json.h>

#include <exception>
#include <string>
#include <utility>

#include "util/text.h"

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

// A reply of a shape the service never sends. Caught inside parseReply only.
struct UnexpectedShape {
  std::string what;
};

// Scalars read as text the way jsoncpp converts them (null is empty, a
// boolean "true"/"false"); a container where text belongs is a bad reply.
std::string TextMember(const Json::Value& object, const char* name, const char* fallback = "") {
  if (!object.isMember(name)) return fallback;
  const Json::Value& value = object[name];
  if (value.isObject() || value.isArray()) {
    throw UnexpectedShape{std::string("member \"") + name + "\" is not text"};
  }
  return value.asString();
}

std::u16string WideMember(const Json::Value& object, const char* name) {
  return Utf8ToWide(TextMember(object, name));
}

std::int64_t IntegerMember(const Json::Value& object, const char* name) {
  if (!object.isMember(name)) return 0;
  const Json::Value& value = object[name];
  if (value.isNull()) return 0;
  if (!value.isInt64())
    throw UnexpectedShape{std::string("member \"") + name + "\" is not a number"};
  return value.asInt64();
}

// An absent list is empty; anything but an array is a bad reply.
const Json::Value* ListMember(const Json::Value& object, const char* name) {
  if (!object.isMember(name)) return nullptr;
  const Json::Value& value = object[name];
  if (value.isNull()) return nullptr;
  if (!value.isArray()) throw UnexpectedShape{std::string("member \"") + name + "\" is not a list"};
  return &value;
}

const Json::Value& ObjectElement(const Json::Value& list, Json::ArrayIndex index,
                                 const char* name) {
  const Json::Value& element = list[index];
  if (!element.isObject()) {
    throw UnexpectedShape{std::string("an element of \"") + name + "\" is not an object"};
  }
  return element;
}

std::string ElementText(const Json::Value& element, const char* name) {
  if (element.isObject() || element.isArray()) {
    throw UnexpectedShape{std::string("an element of \"") + name + "\" is not text"};
  }
  return element.asString();
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

  static std::unique_ptr<ServerReply> FromJson(const Json::Value& root) {
    if (!root.isObject()) throw UnexpectedShape{"the reply is not an object"};
    auto reply = std::make_unique<ServerReply>();

    std::string code = "NOT_OK";
    std::vector<std::string> messages;
    if (root.isMember("status")) {
      const Json::Value& status = root["status"];
      if (!status.isObject()) throw UnexpectedShape{"member \"status\" is not an object"};
      code = TextMember(status, "statusCode", "NOT_OK");
      if (const Json::Value* list = ListMember(status, "message")) {
        for (Json::ArrayIndex i = 0; i < list->size(); ++i) {
          messages.push_back(ElementText((*list)[i], "message"));
        }
      }
    }
    reply->status_ = ReplyStatus(std::move(code), std::move(messages));
    reply->request_ = TextMember(root, "request", "unknown");
    reply->sessionId_ = TextMember(root, "sessionId");
    if (!reply->status_.isOk()) return reply;  // payload is read for "OK" only

    if (const Json::Value* list = ListMember(root, "users")) {
      for (Json::ArrayIndex i = 0; i < list->size(); ++i) {
        const Json::Value& element = ObjectElement(*list, i, "users");
        reply->users_.push_back(VeilmarkUser{
            WideMember(element, "firstName"), WideMember(element, "middleName"),
            WideMember(element, "lastName"), WideMember(element, "email"),
            WideMember(element, "registerState"), WideMember(element, "registeredFrom")});
      }
    }
    reply->cipherText_ = WideMember(root, "cipherText");
    reply->clearText_ = WideMember(root, "clearText");
    reply->openIdUrl_ = WideMember(root, "openIdUrl");
    reply->securityQuestion_ = WideMember(root, "securityQuestion");
    if (const Json::Value* list = ListMember(root, "decryptedAttachments")) {
      for (Json::ArrayIndex i = 0; i < list->size(); ++i) {
        const Json::Value& element = ObjectElement(*list, i, "decryptedAttachments");
        reply->decryptedAttachments_.push_back(
            VeilmarkDecryptedAtt{WideMember(element, "name"), WideMember(element, "url"),
                                 WideMember(element, "previewUrl"), IntegerMember(element, "size"),
                                 TextMember(element, "contentType")});
      }
    }
    if (const Json::Value* list = ListMember(root, "att")) {
      for (Json::ArrayIndex i = 0; i < list->size(); ++i) {
        const Json::Value& element = ObjectElement(*list, i, "att");
        reply->uploadedAttachments_.push_back(VeilmarkUploadAtt{
            std::to_string(IntegerMember(element, "id")), WideMember(element, "name")});
      }
    }
    if (const Json::Value* list = ListMember(root, "aliases")) {
      for (Json::ArrayIndex i = 0; i < list->size(); ++i) {
        reply->aliases_.push_back(Utf8ToWide(ElementText((*list)[i], "aliases")));
      }
    }
    return reply;
  }
};

std::unique_ptr<ServerReply> MakeFailureReply(std::string code, std::string message) {
  return ReplyBuilder::Failure(std::move(code), std::move(message));
}

std::unique_ptr<ServerReply> parseReply(std::string_view text) {
  static const std::string kPrefix = "Unable to parse server reply - ";
  try {
    Json::Reader reader;
    Json::Value root;
    if (!reader.parse(text.data(), text.data() + text.size(), root, true)) {
      return MakeFailureReply("PARSE_ERROR", kPrefix + reader.getFormattedErrorMessages());
    }
    return ReplyBuilder::FromJson(root);
  } catch (const UnexpectedShape& shape) {
    return MakeFailureReply("PARSE_ERROR", kPrefix + shape.what);
  } catch (const std::exception& error) {
    // jsoncpp throws past its nesting limit and on out-of-range numbers.
    return MakeFailureReply("PARSE_ERROR", kPrefix + error.what());
  }
}

}  // namespace veilmark
