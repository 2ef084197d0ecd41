// One session identifier per mail account, in memory and in one small file
// per account in the data folder, so a session survives a restart.
#pragma once

#include <map>
#include <string>

namespace veilmark {

class SessionStore {
 public:
  // Resolves (and creates) the data folder; throws ProtocolException when
  // there is none.
  SessionStore();

  // The account's session, or empty. An empty or unreadable file is read
  // again on the next call.
  std::string GetSession(const std::u16string& account);

  // Keeps the session in memory; writing the file may fail silently, and
  // the next run then asks for a login again.
  void SetSession(const std::u16string& account, const std::string& sessionId);

  std::u16string SessionFilePath(const std::u16string& account) const;

 private:
  std::map<std::u16string, std::string> sessions_;
  std::u16string folder_;
};

// The part of a session file's name that stands for the account: every
// character a Windows file name can hold kept as it is (UTF-8 on Linux,
// UTF-16 on Windows); only \ / : * ? " < > |, '%', control characters (below
// U+0020) and a trailing dot or space written as %XX (a lone surrogate as the
// %XX of its three bytes); texts over 200 bytes cut to at most 180 and ended
// with '~' and a hash of the whole account, so the name stays valid.
std::u16string SessionFileNamePart(const std::u16string& account);

}  // namespace veilmark
