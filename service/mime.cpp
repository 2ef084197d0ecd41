#include "mime.h"

#include <gmime/gmime.h>

#include <stdexcept>

#include "handles.h"
#include "secrets.h"

namespace veilmark::service {
namespace {

constexpr int kMaxDepth = 16;
constexpr const char* kMessageIdDomain = "veilmark.localhost";

std::string Serialize(GMimeObject* object) {
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
  if (g_mime_object_write_to_stream(object, nullptr, stream.get()) < 0) {
    throw std::runtime_error("cannot write a MIME entity");
  }
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
  return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

void SetContent(GMimePart* part, const std::string& data) {
  // The memory stream copies the bytes, so `data` need not outlive the part.
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(data.data(), data.size()));
  GObjectPtr<GMimeDataWrapper> wrapper(
      g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
  g_mime_part_set_content(part, wrapper.get());
}

std::string StripNul(const std::string& text) {
  std::string clean;
  clean.reserve(text.size());
  for (const char c : text) {
    if (c != '\0') clean.push_back(c);
  }
  return clean;
}

GObjectPtr<GMimeMessage> NewMessage(const Envelope& envelope) {
  GObjectPtr<GMimeMessage> message(g_mime_message_new(TRUE));
  g_mime_message_add_mailbox(message.get(), GMIME_ADDRESS_TYPE_FROM, nullptr,
                             envelope.from.c_str());
  for (const auto& address : envelope.to) {
    g_mime_message_add_mailbox(message.get(), GMIME_ADDRESS_TYPE_TO, nullptr, address.c_str());
  }
  for (const auto& address : envelope.cc) {
    g_mime_message_add_mailbox(message.get(), GMIME_ADDRESS_TYPE_CC, nullptr, address.c_str());
  }
  g_mime_message_set_subject(message.get(), StripNul(envelope.subject).c_str(), "utf-8");
  GDateTimePtr now(g_date_time_new_now_local());
  g_mime_message_set_date(message.get(), now.get());
  GCharPtr id(g_mime_utils_generate_message_id(kMessageIdDomain));
  g_mime_message_set_message_id(message.get(), id.get());
  return message;
}

std::string MimeTypeOf(GMimeObject* object) {
  GCharPtr type(g_mime_content_type_get_mime_type(g_mime_object_get_content_type(object)));
  return type ? std::string(type.get()) : "application/octet-stream";
}

std::string DecodedContent(GMimePart* part) {
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (!content) return "";
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new());
  g_mime_data_wrapper_write_to_stream(content, stream.get());
  GByteArray* bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
  return std::string(reinterpret_cast<const char*>(bytes->data), bytes->len);
}

void Walk(GMimeObject* object, int depth, ClearContent& content,
          std::optional<std::string>& plain) {
  if (depth > kMaxDepth) return;
  if (GMIME_IS_MULTIPART(object)) {
    GMimeMultipart* multipart = GMIME_MULTIPART(object);
    const int count = g_mime_multipart_get_count(multipart);
    for (int i = 0; i < count; ++i) {
      Walk(g_mime_multipart_get_part(multipart, i), depth + 1, content, plain);
    }
    return;
  }
  if (GMIME_IS_MESSAGE_PART(object)) {
    GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
    if (inner) {
      content.attachments.push_back(
          {"message.eml", "message/rfc822", Serialize(GMIME_OBJECT(inner))});
    }
    return;
  }
  if (!GMIME_IS_PART(object)) return;
  GMimePart* part = GMIME_PART(object);
  const char* fileName = g_mime_part_get_filename(part);
  const char* disposition = g_mime_object_get_disposition(object);
  const bool attachment =
      fileName || (disposition && g_ascii_strcasecmp(disposition, "attachment") == 0);
  GMimeContentType* type = g_mime_object_get_content_type(object);
  const bool isHtml = g_mime_content_type_is_type(type, "text", "html");
  const bool isPlain = g_mime_content_type_is_type(type, "text", "plain");
  if (!attachment && GMIME_IS_TEXT_PART(object) && (isHtml || isPlain)) {
    // Inline bodies after the first of their kind are alternatives, not files.
    if ((isHtml && !content.html) || (isPlain && !plain)) {
      GCharPtr text(g_mime_text_part_get_text(GMIME_TEXT_PART(object)));
      std::string value = text ? text.get() : "";
      if (isHtml) {
        content.text = std::move(value);
        content.html = true;
      } else {
        plain = std::move(value);
      }
    }
    return;
  }
  std::string name = fileName ? fileName : "";
  if (name.empty()) name = "attachment-" + std::to_string(content.attachments.size() + 1);
  content.attachments.push_back({name, MimeTypeOf(object), DecodedContent(part)});
}

}  // namespace

void InitMime() {
  g_mime_init();
}
void ShutdownMime() {
  g_mime_shutdown();
}

std::string BuildClearEntity(const std::string& html, const std::vector<MailFile>& attachments) {
  GObjectPtr<GMimeTextPart> body(g_mime_text_part_new_with_subtype("html"));
  g_mime_text_part_set_text(body.get(), StripNul(html).c_str());
  GObjectPtr<GMimeObject> entity(GMIME_OBJECT(g_object_ref(body.get())));
  if (!attachments.empty()) {
    GObjectPtr<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
    g_mime_multipart_add(mixed.get(), GMIME_OBJECT(body.get()));
    for (const auto& file : attachments) {
      GObjectPtr<GMimeContentType> type(
          g_mime_content_type_parse(nullptr, file.contentType.c_str()));
      GObjectPtr<GMimePart> part(
          g_mime_part_new_with_type(g_mime_content_type_get_media_type(type.get()),
                                    g_mime_content_type_get_media_subtype(type.get())));
      g_mime_object_set_disposition(GMIME_OBJECT(part.get()), "attachment");
      g_mime_part_set_filename(part.get(), file.name.c_str());
      SetContent(part.get(), file.data);
      g_mime_part_set_content_encoding(part.get(), GMIME_CONTENT_ENCODING_BASE64);
      g_mime_multipart_add(mixed.get(), GMIME_OBJECT(part.get()));
    }
    entity.reset(GMIME_OBJECT(mixed.release()));
  }
  g_mime_object_encode(entity.get(), GMIME_ENCODING_CONSTRAINT_7BIT);
  return Serialize(entity.get());
}

std::string BuildEncryptedMessage(const Envelope& envelope, const std::string& armored) {
  GObjectPtr<GMimeMessage> message = NewMessage(envelope);

  GObjectPtr<GMimePart> version(g_mime_part_new_with_type("application", "pgp-encrypted"));
  g_mime_object_set_header(GMIME_OBJECT(version.get()), "Content-Description",
                           "PGP/MIME version identification", nullptr);
  SetContent(version.get(), "Version: 1\n");

  GObjectPtr<GMimePart> payload(g_mime_part_new_with_type("application", "octet-stream"));
  g_mime_object_set_content_type_parameter(GMIME_OBJECT(payload.get()), "name", "encrypted.asc");
  g_mime_object_set_header(GMIME_OBJECT(payload.get()), "Content-Description",
                           "OpenPGP encrypted message", nullptr);
  g_mime_object_set_disposition(GMIME_OBJECT(payload.get()), "inline");
  g_mime_object_set_content_disposition_parameter(GMIME_OBJECT(payload.get()), "filename",
                                                  "encrypted.asc");
  SetContent(payload.get(), armored);
  g_mime_part_set_content_encoding(payload.get(), GMIME_CONTENT_ENCODING_7BIT);

  GObjectPtr<GMimeMultipart> encrypted(g_mime_multipart_new_with_subtype("encrypted"));
  const std::string boundary = "=-" + RandomHex(12);
  g_mime_multipart_set_boundary(encrypted.get(), boundary.c_str());
  g_mime_object_set_content_type_parameter(GMIME_OBJECT(encrypted.get()), "protocol",
                                           "application/pgp-encrypted");
  g_mime_multipart_add(encrypted.get(), GMIME_OBJECT(version.get()));
  g_mime_multipart_add(encrypted.get(), GMIME_OBJECT(payload.get()));
  g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(encrypted.get()));

  // GMime would write the boundary first and fold the line; readers of
  // protected mail look for protocol="..." followed at once by ";" on
  // one line, so the header is written in that form.
  GMimeHeader* contentType = g_mime_header_list_get_header(
      g_mime_object_get_header_list(GMIME_OBJECT(encrypted.get())), "Content-Type");
  if (!contentType) throw std::runtime_error("multipart without Content-Type");
  const std::string value =
      " multipart/encrypted; protocol=\"application/pgp-encrypted\"; boundary=\"" + boundary +
      "\"\n";
  g_mime_header_set_raw_value(contentType, value.c_str());
  return Serialize(GMIME_OBJECT(message.get()));
}

std::string BuildNoticeMessage(const Envelope& envelope, const std::string& text) {
  GObjectPtr<GMimeMessage> message = NewMessage(envelope);
  GObjectPtr<GMimeTextPart> body(g_mime_text_part_new_with_subtype("plain"));
  g_mime_text_part_set_text(body.get(), StripNul(text).c_str());
  g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(body.get()));
  g_mime_object_encode(GMIME_OBJECT(message.get()), GMIME_ENCODING_CONSTRAINT_7BIT);
  return Serialize(GMIME_OBJECT(message.get()));
}

std::optional<ClearContent> ReadClearEntity(const std::string& entity) {
  GObjectPtr<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(entity.data(), entity.size()));
  GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  GObjectPtr<GMimeObject> root(g_mime_parser_construct_part(parser.get(), nullptr));
  if (!root) return std::nullopt;
  ClearContent content;
  std::optional<std::string> plain;
  Walk(root.get(), 0, content, plain);
  if (!content.html && plain) content.text = *plain;
  return content;
}

}  // namespace veilmark::service
