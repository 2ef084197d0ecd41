#include "login/session_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/local_files.h"
#include "base/text.h"
#include "support/temp_data_home.h"

namespace veilmark {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

class SessionStoreTest : public ::testing::Test {
 protected:
  std::u16string FileFor(const std::u16string& account) {
    return SessionStore().SessionFilePath(account);
  }
  std::string Read(const std::u16string& path) { return LoadFile(path); }

  testing::TempDataHome home;
};

TEST_F(SessionStoreTest, SetThenGetWithoutTheFile) {
  SessionStore store;
  store.SetSession(u"a@x.org", "s1");
  fs::remove(WideToUtf8(store.SessionFilePath(u"a@x.org")));
  EXPECT_EQ(store.GetSession(u"a@x.org"), "s1");
}

TEST_F(SessionStoreTest, FileHoldsExactlyTheIdentifierBytes) {
  SessionStore store;
  store.SetSession(u"a@x.org", "z");
  EXPECT_EQ(Read(store.SessionFilePath(u"a@x.org")), "z");
  EXPECT_EQ(store.SessionFilePath(u"a@x.org"),
            Utf8ToWide((home.folder() / "session_a@x.org.dat").string()));
}

TEST_F(SessionStoreTest, SurvivesARestart) {
  SessionStore().SetSession(u"a@x.org", "persisted-id");
  SessionStore restarted;
  EXPECT_EQ(restarted.GetSession(u"a@x.org"), "persisted-id");
  EXPECT_EQ(restarted.GetSession(u"b@x.org"), "");
}

TEST_F(SessionStoreTest, EmptyFileIsNoSessionAndIsReadAgain) {
  SessionStore store;
  const std::u16string path = store.SessionFilePath(u"a@x.org");
  ASSERT_TRUE(SaveFile(path, ""));
  EXPECT_EQ(store.GetSession(u"a@x.org"), "");
  ASSERT_TRUE(SaveFile(path, "later"));  // another process logs in meanwhile
  EXPECT_EQ(store.GetSession(u"a@x.org"), "later");
}

TEST_F(SessionStoreTest, OnceInMemoryTheFileIsNotReadAgain) {
  SessionStore store;
  const std::u16string path = store.SessionFilePath(u"a@x.org");
  ASSERT_TRUE(SaveFile(path, "first"));
  EXPECT_EQ(store.GetSession(u"a@x.org"), "first");
  ASSERT_TRUE(SaveFile(path, "second"));
  EXPECT_EQ(store.GetSession(u"a@x.org"), "first");
}

TEST_F(SessionStoreTest, ContentEndsAtTheFirstZeroByte) {
  SessionStore store;
  ASSERT_TRUE(SaveFile(store.SessionFilePath(u"a@x.org"), "abc\0def"s));
  EXPECT_EQ(store.GetSession(u"a@x.org"), "abc");
  ASSERT_TRUE(SaveFile(store.SessionFilePath(u"b@x.org"), "\0def"s));
  EXPECT_EQ(store.GetSession(u"b@x.org"), "");
}

TEST_F(SessionStoreTest, EmptyAccountIsAValidKey) {
  SessionStore store;
  EXPECT_EQ(store.SessionFilePath(u""), Utf8ToWide((home.folder() / "session_.dat").string()));
  store.SetSession(u"", "e");
  EXPECT_EQ(SessionStore().GetSession(u""), "e");
}

TEST_F(SessionStoreTest, LetterCaseMakesTwoEntries) {
  SessionStore store;
  store.SetSession(u"a@x.org", "lower");
  store.SetSession(u"A@x.org", "upper");
  EXPECT_EQ(store.GetSession(u"a@x.org"), "lower");
  EXPECT_EQ(store.GetSession(u"A@x.org"), "upper");
}

TEST_F(SessionStoreTest, WriteFailureStillKeepsTheSessionInMemory) {
  SessionStore store;
  fs::create_directory(WideToUtf8(store.SessionFilePath(u"a@x.org")));  // cannot be written
  store.SetSession(u"a@x.org", "kept");
  EXPECT_EQ(store.GetSession(u"a@x.org"), "kept");
}

// The file is written whole and renamed over the old one, so it
// is private whatever mode the old file had...
TEST_F(SessionStoreTest, RewrittenFileIsPrivateWhateverTheOldModeWas) {
  SessionStore store;
  const fs::path path = WideToUtf8(store.SessionFilePath(u"a@x.org"));
  { std::ofstream(path) << "old"; }
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                            fs::perms::others_read);
  store.SetSession(u"a@x.org", "new");
  EXPECT_EQ(Read(Utf8ToWide(path.string())), "new");
  EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

// ...and a write cut short (here by a file size limit, as a full disk would)
// leaves the old session intact and no scratch file behind.
TEST_F(SessionStoreTest, FailedWriteLeavesTheOldSessionIntact) {
  SessionStore().SetSession(u"a@x.org", "old-session");
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = before;
  small.rlim_cur = 4;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  SessionStore().SetSession(u"a@x.org", "a-much-longer-new-session");
  setrlimit(RLIMIT_FSIZE, &before);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(SessionStore().GetSession(u"a@x.org"), "old-session");
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(home.folder())) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"session_a@x.org.dat"});
}

TEST(SessionFileName, PlainAddressesKeepTheirNames) {
  EXPECT_EQ(SessionFileNamePart(u"First.Last+tag_1-x@Example.ORG"),
            u"First.Last+tag_1-x@Example.ORG");
}

// Every character legal in a Windows file name stays as it is.
TEST(SessionFileName, LegalCharactersAreKept) {
  EXPECT_EQ(SessionFileNamePart(u"o'brien@x.com"), u"o'brien@x.com");
  EXPECT_EQ(SessionFileNamePart(u"josé@x.com"), u"josé@x.com");
  EXPECT_EQ(SessionFileNamePart(u"a b~!#$&()[]{};,=^`@x"), u"a b~!#$&()[]{};,=^`@x");
  EXPECT_EQ(SessionFileNamePart(u"Иван@пример.рф"), u"Иван@пример.рф");
  EXPECT_EQ(SessionFileNamePart(u"\U0001F600@x"), u"\U0001F600@x");
  EXPECT_EQ(SessionFileNamePart(u"a\u007f\u0085b"), u"a\u007f\u0085b");
}

TEST(SessionFileName, OnlyIllegalCharactersAndPercentAreEscaped) {
  EXPECT_EQ(SessionFileNamePart(u"../../etc/passwd"), u"..%2F..%2Fetc%2Fpasswd");
  EXPECT_EQ(SessionFileNamePart(u"a\\b:c*?\"<>|"), u"a%5Cb%3Ac%2A%3F%22%3C%3E%7C");
  EXPECT_EQ(SessionFileNamePart(u"é%"), u"é%25");
  EXPECT_EQ(SessionFileNamePart(u"a\0c\tz\x1f"s), u"a%00c%09z%1F");
}

TEST(SessionFileName, TrailingDotOrSpaceIsEscaped) {
  EXPECT_EQ(SessionFileNamePart(u"a@x.com."), u"a@x.com%2E");
  EXPECT_EQ(SessionFileNamePart(u"a@x.com "), u"a@x.com%20");
  EXPECT_EQ(SessionFileNamePart(u".."), u".%2E");
  EXPECT_EQ(SessionFileNamePart(u" a ."), u" a %2E");
}

TEST(SessionFileName, LoneSurrogatesAreEscapedAsTheirBytes) {
  EXPECT_EQ(SessionFileNamePart(u"a"s + char16_t(0xD800) + u"b"), u"a%ED%A0%80b");
  EXPECT_NE(SessionFileNamePart(u"a"s + char16_t(0xDC00)), SessionFileNamePart(u"a\uFFFD"));
}

TEST(SessionFileName, LongNamesAreCutAtWholeCharacters) {
  const std::u16string account(150, u'é');  // 300 bytes
  const std::u16string part = SessionFileNamePart(account);
  EXPECT_EQ(part, std::u16string(90, u'é') + u"~" + part.substr(91));
  EXPECT_EQ(part.size(), 91u + 16u);
  EXPECT_NE(part, SessionFileNamePart(std::u16string(151, u'é')));
  // An escape is never split either: 61 escapes would pass 180 bytes.
  const std::u16string slashes = SessionFileNamePart(std::u16string(100, u'/'));
  EXPECT_EQ(
      slashes.substr(0, 181), std::u16string() + [] {
        std::u16string s;
        for (int i = 0; i < 60; ++i) s += u"%2F";
        return s;
      }() + u"~");
}

TEST_F(SessionStoreTest, NamesTheDescribedRuleGivesAreFound) {
  fs::create_directories(home.folder());
  for (const char* name : {"o'brien@x.com", "josé@x.com"}) {
    std::ofstream(home.folder() / ("session_"s + name + ".dat")) << "from-before-" << name;
    EXPECT_EQ(SessionStore().GetSession(Utf8ToWide(name)), "from-before-"s + name);
  }
}

TEST(SessionFileName, DistinctAccountsGetDistinctNames) {
  EXPECT_NE(SessionFileNamePart(u"a/b"), SessionFileNamePart(u"a%2Fb"));
  const std::u16string longA(300, u'a');
  std::u16string longB = longA;
  longB.back() = u'b';
  EXPECT_NE(SessionFileNamePart(longA), SessionFileNamePart(longB));
  EXPECT_LE(WideToUtf8(SessionFileNamePart(longA)).size(), 200u);
  EXPECT_EQ(SessionFileNamePart(longA), SessionFileNamePart(longA));
}

TEST_F(SessionStoreTest, HostileAccountsStayInsideTheFolder) {
  SessionStore store;
  const std::u16string hostile[] = {u"../escape",
                                    u"/abs/path",
                                    u"..",
                                    u"a/../../b",
                                    u"x\0y"s,
                                    std::u16string(1000, u'/'),
                                    std::u16string(400, u'\u00e9')};
  for (const std::u16string& account : hostile) {
    store.SetSession(account, "id");
    const fs::path path = WideToUtf8(store.SessionFilePath(account));
    EXPECT_EQ(path.parent_path(), home.folder());
    EXPECT_TRUE(fs::is_regular_file(path)) << path;
  }
  SessionStore restarted;
  for (const std::u16string& account : hostile) EXPECT_EQ(restarted.GetSession(account), "id");
  EXPECT_FALSE(fs::exists(home.root() / "escape"));
}

}  // namespace
}  // namespace veilmark
