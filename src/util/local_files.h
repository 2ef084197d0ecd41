// The add-in's data folder and the whole-file helpers used on it.
#pragma once

#include <optional>
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

// Replaces the file's content; new files are private to the user. Failure is
// not reported to the user; the result is for callers that care.
bool SaveFile(const std::u16string& path, std::string_view bytes);

// A new, empty, uniquely named file directly in the data folder, for the mail
// client to save into; none when no name could be made.
std::optional<std::u16string> MakeScratchFile();

void DeleteLocalFile(const std::u16string& path);

}  // namespace veilmark
