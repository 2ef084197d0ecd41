// Data folder and files on Windows: the roaming application-data folder
// followed by \Veilmark; files shared for reading and writing with others.
#include <share.h>
#include <shlobj.h>
#include <windows.h>

#include <cstdio>
#include <vector>

#include "base/diagnostic_log.h"
#include "base/local_files.h"
#include "base/owner_win32.h"
#include "base/protocol_exception.h"
#include "base/wchar_win32.h"

namespace veilmark {
namespace {

using File = OwnerOf<std::FILE*, &std::fclose>;

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
  SHCreateDirectory(nullptr, AsWin(path));
  return path + std::u16string(suffix);
}

std::string LoadFile(const std::u16string& path) {
  File file = OpenShared(path, L"rb");
  if (!file) throw ProtocolException(u"Unable to load file", 0);
  std::string content;
  char chunk[64 * 1024];
  for (;;) {
    const std::size_t got = std::fread(chunk, 1, sizeof chunk, file.Get());
    content.append(chunk, got);
    if (got < sizeof chunk) break;
  }
  if (std::ferror(file.Get())) throw ProtocolException(u"Unable to load file", 0);
  return content;
}

void ReadFileInChunks(const std::u16string& path,
                      const std::function<void(std::string_view)>& chunk) {
  File file = OpenShared(path, L"rb");
  if (!file) throw ProtocolException(u"Unable to load file", 0);
  std::vector<char> buffer(std::size_t{1024} * 1024);
  for (;;) {
    const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.Get());
    if (got > 0) chunk(std::string_view(buffer.data(), got));
    if (got < buffer.size()) break;
  }
  if (std::ferror(file.Get())) throw ProtocolException(u"Unable to load file", 0);
}

bool SaveFile(const std::u16string& path, std::string_view bytes) {
  const std::size_t slash = path.find_last_of(u"\\/");
  const std::u16string folder = slash == std::u16string::npos ? u"." : path.substr(0, slash);
  // A scratch file in the same folder, so the move is a rename.
  wchar_t scratch[MAX_PATH] = {};
  if (GetTempFileNameW(AsWin(folder), L"vs", 0, scratch) == 0) return false;
  KernelHandle file(CreateFileW(scratch, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  bool written = static_cast<bool>(file);
  std::size_t done = 0;
  while (written && done < bytes.size()) {
    const std::size_t left = bytes.size() - done;
    const DWORD chunk = left > 0x10000000u ? 0x10000000u : static_cast<DWORD>(left);
    DWORD wrote = 0;
    if (!WriteFile(file.Get(), bytes.data() + done, chunk, &wrote, nullptr) || wrote == 0) {
      written = false;
      break;
    }
    done += wrote;
  }
  if (file) {
    written = FlushFileBuffers(file.Get()) && written;
    // Closed here, not by the owner: a failed close is a failed save.
    written = CloseHandle(file.Detach()) && written;
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

bool AppendToFile(const std::u16string& path, std::string_view bytes, std::uint64_t rotateAt) {
  WIN32_FILE_ATTRIBUTE_DATA info{};
  if (GetFileAttributesExW(AsWin(path), GetFileExInfoStandard, &info) &&
      ((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow) >= rotateAt) {
    MoveFileExW(AsWin(path), AsWin(path + u".1"), MOVEFILE_REPLACE_EXISTING);
  }
  File file = OpenShared(path, L"ab");
  if (!file) return false;
  return std::fwrite(bytes.data(), 1, bytes.size(), file.Get()) == bytes.size();
}

namespace diagnostics {

std::u16string RequestedLogPath() {
  DWORD wanted = 0;
  DWORD size = sizeof wanted;
  if (RegGetValueW(HKEY_CURRENT_USER, L"Software\\Veilmark\\AddIn", L"DiagnosticLog",
                   RRF_RT_REG_DWORD, nullptr, &wanted, &size) != ERROR_SUCCESS ||
      wanted == 0) {
    return {};
  }
  try {
    return GetAppDataPath(u"\\diagnostic.log");
  } catch (const ProtocolException&) {
    return {};
  }
}

}  // namespace diagnostics

}  // namespace veilmark
