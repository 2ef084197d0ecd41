// Data folder and files on Windows: the roaming application-data folder
// followed by \Veilmark; files shared for reading and writing with others.
#include <share.h>
#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <memory>

#include "util/local_files.h"
#include "util/protocol_exception.h"
#include "util/wchar_win32.h"

namespace veilmark {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File OpenShared(const std::u16string& path, const wchar_t* mode) {
  return File(_wfsopen(AsWin(path), mode, _SH_DENYNO));
}

}  // namespace

std::u16string GetAppDataPath(std::u16string_view suffix) {
  wchar_t folder[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK) {
    throw ProtocolException(u"Unable to create Veilmark directory",
                            static_cast<std::int32_t>(GetLastError()));
  }
  std::u16string path = FromWin(folder) + u"\\Veilmark";
  // Existing is the normal case; a folder that cannot be made shows up later
  // as a file that cannot be written.
  static_cast<void>(SHCreateDirectory(nullptr, AsWin(path)));
  return path + std::u16string(suffix);
}

std::string LoadFile(const std::u16string& path) {
  File file = OpenShared(path, L"rb");
  if (!file) throw ProtocolException(u"Unable to load file", 0);
  std::string content;
  char chunk[64 * 1024];
  for (;;) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get());
    content.append(chunk, got);
    if (got < sizeof chunk) break;
  }
  if (std::ferror(file.get())) throw ProtocolException(u"Unable to load file", 0);
  return content;
}

bool SaveFile(const std::u16string& path, std::string_view bytes) {
  File file = OpenShared(path, L"wb");
  if (!file) return false;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) return false;
  return std::fclose(file.release()) == 0;
}

std::optional<std::u16string> MakeScratchFile() {
  std::u16string folder;
  try {
    folder = GetAppDataPath();
  } catch (const ProtocolException&) {
    return std::nullopt;
  }
  // Makes the file too, so the name cannot be taken in between.
  wchar_t name[MAX_PATH] = {};
  if (GetTempFileNameW(AsWin(folder), L"vm", 0, name) == 0) return std::nullopt;
  return FromWin(name);
}

void DeleteLocalFile(const std::u16string& path) {
  DeleteFileW(AsWin(path));
}

}  // namespace veilmark
