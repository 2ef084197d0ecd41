#include "login/session_store.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "util/local_files.h"
#include "util/protocol_exception.h"
#include "util/text.h"

namespace veilmark {
namespace {

// File systems allow 255 bytes a name; "session_" and ".dat" take 12.
constexpr std::size_t kMaxNamePart = 200;
constexpr std::size_t kKeptBeforeHash = 180;

// Characters a Windows file name cannot hold, and '%' itself so that the
// escapes stay unambiguous.
bool Escaped(char32_t c) {
  switch (c) {
    case '\\':
    case '/':
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
    case '%':
      return true;
    default:
      return c < 0x20;
  }
}

void AppendEscape(std::string& part, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  part += '%';
  part += kHex[byte >> 4];
  part += kHex[byte & 0x0F];
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::uint64_t Fnv1a64(const std::string& bytes) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

}  // namespace

std::u16string SessionFileNamePart(const std::u16string& account) {
  std::string part;
  // Where each character starts in `part`, so a cut never splits one.
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < account.size(); ++i) {
    starts.push_back(part.size());
    char32_t c = account[i];
    const bool high = c >= 0xD800 && c <= 0xDBFF;
    if (high && i + 1 < account.size() && account[i + 1] >= 0xDC00 && account[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (account[i + 1] - 0xDC00);
      ++i;
      AppendUtf8(part, c);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      // A lone surrogate: its three bytes as escapes, so the name is valid
      // UTF-8 (and UTF-16) and still tells it apart from U+FFFD.
      std::string bytes;
      AppendUtf8(bytes, c);
      for (char byte : bytes) AppendEscape(part, static_cast<unsigned char>(byte));
    } else if (Escaped(c)) {
      AppendEscape(part, static_cast<unsigned char>(c));
    } else {
      AppendUtf8(part, c);
    }
  }
  // Windows drops a trailing dot or space from a name: the last one is escaped.
  if (!part.empty() && (part.back() == '.' || part.back() == ' ')) {
    const auto last = static_cast<unsigned char>(part.back());
    part.pop_back();
    AppendEscape(part, last);
  }
  if (part.size() > kMaxNamePart) {
    // Cut at a character's start, so the kept text stays whole UTF-8. A
    // plain name may hold '~' too now; one equal to a shortened name would
    // need the 64-bit hash of another, longer account after its 180 bytes.
    std::size_t cut = 0;
    for (std::size_t start : starts) {
      if (start > kKeptBeforeHash) break;
      cut = start;
    }
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx",
                  static_cast<unsigned long long>(Fnv1a64(WideToUtf8(account))));
    part = part.substr(0, cut) + "~" + hash;
  }
  return Utf8ToWide(part);
}

SessionStore::SessionStore() : folder_(GetAppDataPath()) {}

std::u16string SessionStore::SessionFilePath(const std::u16string& account) const {
  return folder_ + kPathSeparator + u"session_" + SessionFileNamePart(account) + u".dat";
}

std::string SessionStore::GetSession(const std::u16string& account) {
  if (auto found = sessions_.find(account); found != sessions_.end()) return found->second;
  std::string content;
  try {
    content = LoadFile(SessionFilePath(account));
  } catch (const ProtocolException&) {
    content.clear();
  }
  // The identifier ends at the first zero byte, if any.
  content.resize(content.find('\0') == std::string::npos ? content.size() : content.find('\0'));
  if (content.empty()) return {};
  sessions_[account] = content;
  return content;
}

void SessionStore::SetSession(const std::u16string& account, const std::string& sessionId) {
  sessions_[account] = sessionId;
  SaveFile(SessionFilePath(account), sessionId);
}

}  // namespace veilmark
