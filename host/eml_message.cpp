#include "host/eml_message.h"

#include <fcntl.h>
#include <gmime/gmime.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <utility>
#include <vector>

#include "host/gobject_ptr.h"

namespace veilmark::hostapp {

namespace {

void ThrowUnlessReadable(const std::string& path) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) {
    throw InputFileError("cannot read " + path + ": it is a directory");
  }
}

}  // namespace

std::string ReadInputFile(const std::string& path) {
  ThrowUnlessReadable(path);
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputFileError("cannot read " + path + ": " + std::strerror(errno));
  // Read whole when the size is known: byte by byte costs more than the disk.
  std::string data;
  std::error_code error;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (!error) {
    data.resize(static_cast<std::size_t>(size));
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    data.resize(static_cast<std::size_t>(in.gcount()));
    if (in.eof()) in.clear();
  }
  if (in) data.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad()) throw InputFileError("cannot read " + path + ": read error");
  return data;
}

namespace {

void EnsureGMime() {
  static const bool initialised = [] {
    g_mime_init();
    return true;
  }();
  static_cast<void>(initialised);
}

std::string AbsolutePath(const std::string& path) {
  std::error_code error;
  std::filesystem::path resolved = std::filesystem::canonical(path, error);
  if (error) resolved = std::filesystem::absolute(path).lexically_normal();
  return resolved.string();
}

// Group members count as the group's addresses.
void CollectMailboxes(InternetAddressList* list, std::vector<MessageAddress>& out) {
  if (!list) return;
  const int count = internet_address_list_length(list);
  for (int i = 0; i < count; ++i) {
    InternetAddress* address = internet_address_list_get_address(list, i);
    if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
      const char* mailbox = internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address));
      const char* name = internet_address_get_name(address);
      if (mailbox && *mailbox) out.push_back({name ? name : "", mailbox});
    } else if (INTERNET_ADDRESS_IS_GROUP(address)) {
      CollectMailboxes(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), out);
    }
  }
}

std::string FirstMailbox(const char* headerValue) {
  if (!headerValue) return {};
  GObjectPtr<InternetAddressList> list(internet_address_list_parse(nullptr, headerValue));
  std::vector<MessageAddress> found;
  CollectMailboxes(list.get(), found);
  return found.empty() ? std::string() : found.front().address;
}

// GMime's own copy goes 4 KiB at a time, each a seek and a read of the
// message file: on a large part that costs more than the disk.
bool CopyDecoded(GMimeDataWrapper* content, GMimeStream* out) {
  GMimeStream* source = g_mime_data_wrapper_get_stream(content);
  if (!source || g_mime_stream_reset(source) != 0) return false;
  GObjectPtr<GMimeStream> decoded;
  const GMimeContentEncoding encoding = g_mime_data_wrapper_get_encoding(content);
  if (encoding == GMIME_CONTENT_ENCODING_BASE64 ||
      encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE ||
      encoding == GMIME_CONTENT_ENCODING_UUENCODE) {
    decoded.reset(g_mime_stream_filter_new(source));
    GObjectPtr<GMimeFilter> filter(g_mime_filter_basic_new(encoding, FALSE));
    g_mime_stream_filter_add(GMIME_STREAM_FILTER(decoded.get()), filter.get());
  }
  GMimeStream* in = decoded ? decoded.get() : source;
  std::vector<char> block(std::size_t{1} << 20);
  while (!g_mime_stream_eos(in)) {
    const gssize got = g_mime_stream_read(in, block.data(), block.size());
    if (got < 0) return false;
    if (got > 0 && g_mime_stream_write(out, block.data(), static_cast<std::size_t>(got)) != got) {
      return false;
    }
  }
  return true;
}

// The content with its transfer encoding undone, written to `out`; false when
// it cannot be read or written.
bool WriteContent(GMimeObject* part, GMimeStream* out) {
  gint64 written = 0;
  if (GMIME_IS_PART(part)) {
    GMimeDataWrapper* content = g_mime_part_get_content(GMIME_PART(part));
    if (content && !CopyDecoded(content, out)) return false;
  } else if (GMIME_IS_MESSAGE_PART(part)) {
    GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part));
    if (inner) written = g_mime_object_write_to_stream(GMIME_OBJECT(inner), nullptr, out);
  } else {
    written = g_mime_object_write_to_stream(part, nullptr, out);
  }
  return written >= 0 && g_mime_stream_flush(out) == 0;
}

// The parsed message stays alive (and its file open) as long as an attachment
// can still be saved: a part is decoded from the file straight into the
// target file, never held in memory.
std::function<bool(const std::string&)> ContentWriter(std::shared_ptr<GMimeMessage> message,
                                                      GMimeObject* part) {
  return [message = std::move(message), part](const std::string& target) {
    const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    GObjectPtr<GMimeStream> out(g_mime_stream_fs_new(fd));  // closes fd
    return WriteContent(part, out.get());
  };
}

std::string AttachmentName(GMimeObject* part, std::size_t number) {
  if (GMIME_IS_PART(part)) {
    if (const char* name = g_mime_part_get_filename(GMIME_PART(part)); name && *name) return name;
  }
  if (GMIME_IS_MESSAGE_PART(part)) {
    GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part));
    const char* subject = inner ? g_mime_message_get_subject(inner) : nullptr;
    return std::string(subject && *subject ? subject : "message") + ".eml";
  }
  return "attachment-" + std::to_string(number) + ".dat";
}

std::string EscapeHtml(const std::string& text) {
  const GString8 escaped(g_markup_escape_text(text.data(), static_cast<gssize>(text.size())));
  return escaped.get();
}

std::string TextOf(GMimeTextPart* part) {
  GString8 text(g_mime_text_part_get_text(part));
  return text ? std::string(text.get()) : std::string();
}

// Walks an ordinary (not encrypted) message: leaf parts that are marked as
// attachments or carry a file name are attachments, as are attached
// messages; the first other text/html part is the body, else the first
// text/plain one.
class PartWalk {
 public:
  PartWalk(EmlMessage& message, std::shared_ptr<GMimeMessage> parsed)
      : message_(message), parsed_(std::move(parsed)) {}

  void Visit(GMimeObject* part) {
    if (!part) return;
    if (GMIME_IS_MULTIPART(part)) {
      const int count = g_mime_multipart_get_count(GMIME_MULTIPART(part));
      for (int i = 0; i < count; ++i) Visit(g_mime_multipart_get_part(GMIME_MULTIPART(part), i));
      return;
    }
    if (GMIME_IS_MESSAGE_PART(part)) {
      Attach(part);
      return;
    }
    if (!GMIME_IS_PART(part)) return;
    if (g_mime_part_is_attachment(GMIME_PART(part)) || g_mime_part_get_filename(GMIME_PART(part))) {
      Attach(part);
      return;
    }
    if (!GMIME_IS_TEXT_PART(part)) return;
    GMimeContentType* type = g_mime_object_get_content_type(part);
    if (!html_ && g_mime_content_type_is_type(type, "text", "html")) {
      html_ = GMIME_TEXT_PART(part);
    } else if (!plain_ && g_mime_content_type_is_type(type, "text", "plain")) {
      plain_ = GMIME_TEXT_PART(part);
    }
  }

  std::string Body() const {
    if (html_) return TextOf(html_);
    if (plain_) return "<html><body><pre>" + EscapeHtml(TextOf(plain_)) + "</pre></body></html>";
    return {};
  }

 private:
  void Attach(GMimeObject* part) {
    const std::size_t number = message_.attachments.size() + 1;
    message_.attachments.push_back({AttachmentName(part, number), ContentWriter(parsed_, part)});
  }

  EmlMessage& message_;
  std::shared_ptr<GMimeMessage> parsed_;
  GMimeTextPart* html_ = nullptr;
  GMimeTextPart* plain_ = nullptr;
};

}  // namespace

EmlMessage LoadEmlMessage(const std::string& path) {
  EnsureGMime();
  ThrowUnlessReadable(path);
  // Parsed from the file itself: the parts stay where they are until saved.
  // Mapped, since the parser reads 4 KiB at a time, a seek and a read each
  // on a plain file; the file is an input of the run, left as it is.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw InputFileError("cannot read " + path + ": " + std::strerror(errno));
  struct stat info {};
  GObjectPtr<GMimeStream> stream;  // either closes fd
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    stream.reset(g_mime_stream_mmap_new(fd, PROT_READ, MAP_PRIVATE));
  }
  if (!stream) stream.reset(g_mime_stream_fs_new(fd));
  GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  std::shared_ptr<GMimeMessage> parsed(g_mime_parser_construct_message(parser.get(), nullptr),
                                       GObjectUnref());
  if (!parsed) throw InputFileError(path + " is not a mail message: no header block found");
  const gint64 begin = g_mime_parser_get_headers_begin(parser.get());
  gint64 end = g_mime_parser_get_headers_end(parser.get());
  // A file of headers alone has no blank line to end them.
  if (end < 0) end = g_mime_stream_length(stream.get());
  if (begin < 0 || end <= begin) {
    throw InputFileError(path + " is not a mail message: it has no header fields");
  }

  EmlMessage message;
  message.path = AbsolutePath(path);
  message.rawHeaders.resize(static_cast<std::size_t>(end - begin));
  if (g_mime_stream_seek(stream.get(), begin, GMIME_STREAM_SEEK_SET) != begin ||
      g_mime_stream_read(stream.get(), message.rawHeaders.data(), message.rawHeaders.size()) !=
          static_cast<gssize>(message.rawHeaders.size())) {
    throw InputFileError("cannot read " + path + ": read error");
  }
  GMimeMessage* mime = parsed.get();
  if (const char* id = g_mime_message_get_message_id(mime)) message.messageId = id;
  if (const char* subject = g_mime_message_get_subject(mime)) message.subject = subject;
  message.deliveredTo = FirstMailbox(g_mime_object_get_header(GMIME_OBJECT(mime), "Delivered-To"));
  CollectMailboxes(g_mime_message_get_addresses(mime, GMIME_ADDRESS_TYPE_TO), message.to);
  CollectMailboxes(g_mime_message_get_addresses(mime, GMIME_ADDRESS_TYPE_CC), message.cc);

  GMimeObject* top = g_mime_message_get_mime_part(mime);
  if (top && GMIME_IS_MULTIPART_ENCRYPTED(top)) {
    // Shown as the mail client shows it: the version part and the payload.
    message.encrypted = true;
    GMimeMultipart* parts = GMIME_MULTIPART(top);
    const int count = g_mime_multipart_get_count(parts);
    for (int i = 0; i < count; ++i) {
      GMimeObject* part = g_mime_multipart_get_part(parts, i);
      message.attachments.push_back(
          {AttachmentName(part, message.attachments.size() + 1), ContentWriter(parsed, part)});
    }
  } else {
    PartWalk walk(message, parsed);
    walk.Visit(top);
    message.htmlBody = walk.Body();
  }
  return message;
}

std::string ReceivedByAddress(const EmlMessage& message, const std::string& account) {
  if (!account.empty()) return account;
  if (!message.deliveredTo.empty()) return message.deliveredTo;
  if (!message.to.empty()) return message.to.front().address;
  return {};
}

std::string EntryIdFor(const std::string& absolutePath, const std::string& messageId) {
  const std::string key = absolutePath + '\n' + messageId;
  GString8 digest(g_compute_checksum_for_data(
      G_CHECKSUM_SHA1, reinterpret_cast<const guchar*>(key.data()), key.size()));
  std::string id(digest.get());
  for (char& c : id) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return id;
}

}  // namespace veilmark::hostapp
