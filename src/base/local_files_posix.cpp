// Data folder and files on Linux: $XDG_DATA_HOME/Veilmark, private to the user.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/diagnostic_log.h"
#include "base/local_files.h"
#include "base/owner.h"
#include "base/protocol_exception.h"
#include "base/text.h"

namespace veilmark {
namespace {

std::string DataHome() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg && xdg[0] == '/') return xdg;  // relative values are to be ignored
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.local/share";
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir && entry->pw_dir[0]) {
    return std::string(entry->pw_dir) + "/.local/share";
  }
  return {};
}

void MakeDirectories(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos;
       slash = path.find('/', slash + 1)) {
    mkdir(path.substr(0, slash).c_str(), 0700);
  }
  mkdir(path.c_str(), 0700);
}

using Fd = OwnerOf<int, &close, -1>;

}  // namespace

std::u16string GetAppDataPath(std::u16string_view suffix) {
  const std::string home = DataHome();
  if (home.empty()) {
    throw ProtocolException(u"Unable to create Veilmark directory", errno);
  }
  const std::string folder = home + "/Veilmark";
  MakeDirectories(folder);  // failure shows later as a file that cannot be used
  return Utf8ToWide(folder) + std::u16string(suffix);
}

std::string LoadFile(const std::u16string& path) {
  Fd fd(open(WideToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (fd.Get() < 0 || fstat(fd.Get(), &info) != 0 || S_ISDIR(info.st_mode)) {
    throw ProtocolException(u"Unable to load file", 0);
  }
  std::string content;
  content.reserve(static_cast<std::size_t>(info.st_size));
  std::vector<char> chunk(std::size_t{64} * 1024);
  for (;;) {
    const ssize_t got = read(fd.Get(), chunk.data(), chunk.size());
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      throw ProtocolException(u"Unable to load file", 0);
    }
    content.append(chunk.data(), static_cast<std::size_t>(got));
  }
  return content;
}

void ReadFileInChunks(const std::u16string& path,
                      const std::function<void(std::string_view)>& chunk) {
  Fd fd(open(WideToUtf8(path).c_str(), O_RDONLY | O_CLOEXEC));
  struct stat info {};
  if (fd.Get() < 0 || fstat(fd.Get(), &info) != 0 || S_ISDIR(info.st_mode)) {
    throw ProtocolException(u"Unable to load file", 0);
  }
  std::vector<char> buffer(std::size_t{1024} * 1024);
  for (;;) {
    const ssize_t got = read(fd.Get(), buffer.data(), buffer.size());
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      throw ProtocolException(u"Unable to load file", 0);
    }
    chunk(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
  }
}

bool SaveFile(const std::u16string& path, std::string_view bytes) {
  const std::string target = WideToUtf8(path);
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  std::string scratch = folder + ".save_XXXXXX";
  Fd fd(mkstemp(scratch.data()));  // 0600, in the same folder so rename is atomic
  if (fd.Get() < 0) return false;
  bool written = fchmod(fd.Get(), 0600) == 0;
  std::size_t done = 0;
  while (written && done < bytes.size()) {
    const ssize_t wrote = write(fd.Get(), bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) {
      written = false;
      break;
    }
    done += static_cast<std::size_t>(wrote);
  }
  written = written && fsync(fd.Get()) == 0;
  written = close(fd.Detach()) == 0 && written;
  if (!written || rename(scratch.c_str(), target.c_str()) != 0) {
    unlink(scratch.c_str());
    return false;
  }
  // The rename itself reaches the disk with the folder's entry.
  Fd directory(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (directory.Get() >= 0) static_cast<void>(fsync(directory.Get()));
  return true;
}

std::u16string MakeScratchFile() {
  std::string pattern = WideToUtf8(GetAppDataPath(u"/scratch_XXXXXX"));  // may throw
  Fd fd(mkstemp(pattern.data()));  // 0600, and never an existing file
  if (fd.Get() < 0) {
    const int error = errno;
    struct stat info {};
    const std::string folder = pattern.substr(0, pattern.rfind('/'));
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
      throw ProtocolException(u"Unable to create Veilmark directory", error);
    }
    throw ProtocolException(u"Unable to create file", error);
  }
  return Utf8ToWide(pattern);
}

void DeleteLocalFile(const std::u16string& path) {
  unlink(WideToUtf8(path).c_str());
}

bool AppendToFile(const std::u16string& path, std::string_view bytes, std::uint64_t rotateAt) {
  const std::string target = WideToUtf8(path);
  struct stat info {};
  if (stat(target.c_str(), &info) == 0 && static_cast<std::uint64_t>(info.st_size) >= rotateAt) {
    rename(target.c_str(), (target + ".1").c_str());
  }
  Fd fd(open(target.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600));
  if (fd.Get() < 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = write(fd.Get(), bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

namespace diagnostics {

std::u16string RequestedLogPath() {
  const char* wanted = std::getenv("VEILMARK_DIAGNOSTIC_LOG");
  if (!wanted || !*wanted || std::string(wanted) == "0") return {};
  try {
    return GetAppDataPath(u"/diagnostic.log");
  } catch (const ProtocolException&) {
    return {};
  }
}

}  // namespace diagnostics

}  // namespace veilmark
