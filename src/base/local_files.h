// The add-in's data folder and the whole-file helpers used on it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace veilmark {

#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif

// The data folder (created when missing) followed directly by `suffix`,
// which brings its own separator. Throws ProtocolException("Unable to create
// Veilmark directory") when the user's data location cannot be found.
std::u16string GetAppDataPath(std::u16string_view suffix = {});

// The whole file. Throws ProtocolException("Unable to load file", 0).
std::string LoadFile(const std::u16string& path);

// Hands the file to `chunk` in order, a piece (at most 1 MiB) at a time, for
// a large file read without holding it whole. Throws ProtocolException("Unable
// to load file", 0) as LoadFile does.
void ReadFileInChunks(const std::u16string& path,
                      const std::function<void(std::string_view)>& chunk);

// Replaces the file as a whole: the bytes go to a scratch file in the same
// folder, flushed to disk, which is then renamed over the old file (on
// Windows MoveFileExW with replace and write-through). The file is private to
// the user (0600 on Linux) whatever mode an old one had; a failed write (a
// full disk, a crash) leaves the old file as it was and no scratch behind.
// Failure is not reported to the user; the result is for callers that care.
bool SaveFile(const std::u16string& path, std::string_view bytes);

// A new, empty, uniquely named file directly in the data folder, for the mail
// client to save into. Throws ProtocolException when none can be made:
// "Unable to create Veilmark directory" when the folder is missing and cannot
// be made, "Unable to create file" (with the system's error code) otherwise.
std::u16string MakeScratchFile();

void DeleteLocalFile(const std::u16string& path);

// Appends `bytes` to the file, made private to the user when new. A file of
// `rotateAt` bytes or more is first renamed to "<path>.1", replacing it.
bool AppendToFile(const std::u16string& path, std::string_view bytes, std::uint64_t rotateAt);

}  // namespace veilmark
