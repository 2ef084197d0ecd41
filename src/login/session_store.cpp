#include "login/session_store.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "util/local_files.h"
#include "util/protocol_exception.h"
#include "util/text.h"

namespace veilmark {
namespace {

// File systems allow 255 bytes a name; "session_" and ".dat" take 12.
constexpr std::size_t kMaxNamePart = 200;
constexpr std::size_t kKeptBeforeHash = 180;

bool KeptAsIs(unsigned char byte) {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
         (byte >= '0' && byte <= '9') || byte == '@' || byte == '.' || byte == '_' || byte == '+' ||
         byte == '-';
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
  static constexpr char kHex[] = "0123456789ABCDEF";
  const std::string utf8 = WideToUtf8(account);
  std::string part;
  for (char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (KeptAsIs(byte)) {
      part += c;
    } else {
      part += '%';
      part += kHex[byte >> 4];
      part += kHex[byte & 0x0F];
    }
  }
  if (part.size() > kMaxNamePart) {
    // '~' never survives escaping, so a shortened name cannot equal a plain one.
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(Fnv1a64(utf8)));
    part = part.substr(0, kKeptBeforeHash) + "~" + hash;
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
