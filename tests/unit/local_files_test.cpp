#include "base/local_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/protocol_exception.h"
#include "base/text.h"
#include "support/temp_data_home.h"

namespace veilmark {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

std::u16string Wide(const fs::path& path) {
  return Utf8ToWide(path.string());
}

unsigned Mode(const fs::path& path) {
  struct stat info {};
  stat(path.c_str(), &info);
  return info.st_mode & 0777;
}

TEST(AppDataPath, IsTheVeilmarkFolderCreatedOnDemand) {
  testing::TempDataHome home;
  EXPECT_EQ(GetAppDataPath(), Wide(home.folder()));
  EXPECT_TRUE(fs::is_directory(home.folder()));
  EXPECT_EQ(Mode(home.folder()), 0700u);
  EXPECT_EQ(GetAppDataPath(u"/example.dat"), Wide(home.folder()) + u"/example.dat");
}

TEST(AppDataPath, CreatesMissingParents) {
  testing::TempDataHome home;
  setenv("XDG_DATA_HOME", (home.root() / "a" / "b").c_str(), 1);
  EXPECT_EQ(GetAppDataPath(), Wide(home.root() / "a" / "b" / "Veilmark"));
  EXPECT_TRUE(fs::is_directory(home.root() / "a" / "b" / "Veilmark"));
}

TEST(AppDataPath, RelativeXdgDataHomeFallsBackToHome) {
  testing::TempDataHome home;
  const std::string oldHome = getenv("HOME") ? getenv("HOME") : "";
  setenv("XDG_DATA_HOME", "relative/dir", 1);
  setenv("HOME", home.root().c_str(), 1);
  EXPECT_EQ(GetAppDataPath(), Wide(home.root() / ".local" / "share" / "Veilmark"));
  setenv("HOME", oldHome.c_str(), 1);
}

TEST(LoadFile, EmptyFileIsEmpty) {
  testing::TempDataHome home;
  const std::u16string path = GetAppDataPath(u"/empty");
  ASSERT_TRUE(SaveFile(path, ""));
  const std::string content = LoadFile(path);
  EXPECT_EQ(content.size(), 0u);
  EXPECT_EQ(content.c_str()[0], '\0');
}

TEST(LoadFile, ZeroBytesInTheMiddleAreKept) {
  testing::TempDataHome home;
  const std::u16string path = GetAppDataPath(u"/zeros");
  ASSERT_TRUE(SaveFile(path, "a\0b\0"s));
  EXPECT_EQ(LoadFile(path), "a\0b\0"s);
}

TEST(LoadFile, MissingFileOrFolderThrows) {
  testing::TempDataHome home;
  for (const std::u16string& path : {GetAppDataPath(u"/missing"), GetAppDataPath()}) {
    try {
      LoadFile(path);
      ADD_FAILURE() << "no exception";
    } catch (const ProtocolException& error) {
      EXPECT_EQ(error.message(), u"Unable to load file");
      EXPECT_EQ(error.code(), 0);
    }
  }
}

TEST(SaveFile, ReplacesLongerContentAndIsPrivate) {
  testing::TempDataHome home;
  const std::u16string path = GetAppDataPath(u"/file");
  ASSERT_TRUE(SaveFile(path, "a much longer first content"));
  ASSERT_TRUE(SaveFile(path, "short"));
  EXPECT_EQ(LoadFile(path), "short");
  EXPECT_EQ(Mode(home.folder() / "file"), 0600u);
}

TEST(SaveFile, FailureIsReportedOnlyToTheCaller) {
  testing::TempDataHome home;
  EXPECT_FALSE(SaveFile(GetAppDataPath(u"/no/such/folder/file"), "x"));
}

TEST(ScratchFile, IsNewEmptyPrivateAndInsideTheDataFolder) {
  testing::TempDataHome home;
  const std::u16string first = MakeScratchFile();
  const std::u16string second = MakeScratchFile();
  EXPECT_NE(first, second);
  const fs::path path = WideToUtf8(first);
  EXPECT_EQ(path.parent_path(), home.folder());
  EXPECT_EQ(fs::file_size(path), 0u);
  EXPECT_EQ(Mode(path), 0600u);
  DeleteLocalFile(first);
  DeleteLocalFile(second);
  EXPECT_FALSE(fs::exists(path));
}

// A failure to make a scratch file is an exception with a message
// to show, never a silent "none".
TEST(ScratchFile, AFileWhereTheFolderBelongsThrowsTheDirectoryMessage) {
  testing::TempDataHome home;
  std::ofstream(home.folder()) << "a file where the folder belongs";
  try {
    MakeScratchFile();
    ADD_FAILURE() << "no exception";
  } catch (const ProtocolException& error) {
    EXPECT_EQ(error.message(), u"Unable to create Veilmark directory");
  }
}

TEST(ScratchFile, AnUnwritableFolderThrowsTheFileMessage) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into any folder";
  testing::TempDataHome home;
  GetAppDataPath();
  fs::permissions(home.folder(), fs::perms::owner_read | fs::perms::owner_exec);
  try {
    MakeScratchFile();
    ADD_FAILURE() << "no exception";
  } catch (const ProtocolException& error) {
    EXPECT_EQ(error.message(), u"Unable to create file");
    EXPECT_EQ(error.code(), EACCES);
  }
  fs::permissions(home.folder(), fs::perms::owner_all);
  EXPECT_TRUE(fs::is_empty(home.folder()));
}

// The same for root too: a folder no one can create files in.
TEST(ScratchFile, AFolderThatHoldsNoFilesThrowsTheFileMessage) {
  testing::TempDataHome home;
  fs::create_directory_symlink("/proc/self/fdinfo", home.folder());
  try {
    MakeScratchFile();
    ADD_FAILURE() << "no exception";
  } catch (const ProtocolException& error) {
    EXPECT_EQ(error.message(), u"Unable to create file");
    EXPECT_NE(error.code(), 0);
  }
}

}  // namespace
}  // namespace veilmark
