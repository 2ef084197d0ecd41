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
  const std::size_t slash = path.find_last_of(u"\\/");
  const std::u16string folder = slash == std::u16string::npos ? u"." : path.substr(0, slash);
  // A scratch file in the same folder, so the move is a rename.
  wchar_t scratch[MAX_PATH] = {};
  if (GetTempFileNameW(AsWin(folder), L"vs", 0, scratch) == 0) return false;
  HANDLE file = CreateFileW(scratch, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  bool written = file != INVALID_HANDLE_VALUE;
  std::size_t done = 0;
  while (written && done < bytes.size()) {
    const std::size_t left = bytes.size() - done;
    const DWORD chunk = left > 0x10000000u ? 0x10000000u : static_cast<DWORD>(left);
    DWORD wrote = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0) {
      written = false;
      break;
    }
    done += wrote;
  }
  if (file != INVALID_HANDLE_VALUE) {
    written = FlushFileBuffers(file) && written;
    written = CloseHandle(file) && written;
  }
  if (!written ||
      !MoveFileExW(scratch, AsWin(path), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(scratch);
    return false;
  }
  return true;
}

std::u16string MakeScratchFile() {
  const std::u16string folder = GetAppDataPath();  // may throw
  // Makes the file too, so the name cannot be taken in between.
  wchar_t name[MAX_PATH] = {};
  if (GetTempFileNameW(AsWin(folder), L"vm", 0, name) == 0) {
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(AsWin(folder));
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      throw ProtocolException(u"Unable to create Veilmark directory",
                              static_cast<std::int32_t>(error));
    }
    throw ProtocolException(u"Unable to create file", static_cast<std::int32_t>(error));
  }
  return FromWin(name);
}

void DeleteLocalFile(const std::u16string& path) {
  DeleteFileW(AsWin(path));
}

}  // namespace veilmark
