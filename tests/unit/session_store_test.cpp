#include "login/session_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/temp_data_home.h"
#include "util/local_files.h"
#include "util/text.h"

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

TEST(SessionFileName, PlainAddressesKeepTheirNames) {
  EXPECT_EQ(SessionFileNamePart(u"First.Last+tag_1-x@Example.ORG"),
            u"First.Last+tag_1-x@Example.ORG");
}

TEST(SessionFileName, EveryOtherByteIsEscaped) {
  EXPECT_EQ(SessionFileNamePart(u"../../etc/passwd"), u"..%2F..%2Fetc%2Fpasswd");
  EXPECT_EQ(SessionFileNamePart(u"a\\b:c*?\"<>|"), u"a%5Cb%3Ac%2A%3F%22%3C%3E%7C");
  EXPECT_EQ(SessionFileNamePart(u"é%"), u"%C3%A9%25");
  EXPECT_EQ(SessionFileNamePart(u"a b\0c"s), u"a%20b%00c");
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
