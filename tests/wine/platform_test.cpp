// The Windows platform files under Wine: the data folder and its files, and
// the WinHTTP exchange's failure when nothing listens.
#include <gtest/gtest.h>
#include <shlobj.h>

#include "api/http_exchange.h"
#include "util/local_files.h"
#include "util/protocol_exception.h"
#include "util/wchar_win32.h"

namespace veilmark::wine_tests {
namespace {

TEST(DataFolder, IsTheRoamingFolderPlusVeilmark) {
  const std::u16string folder = GetAppDataPath();
  ASSERT_GE(folder.size(), 9u);
  EXPECT_EQ(folder.substr(folder.size() - 9), u"\\Veilmark");
  const DWORD attributes = GetFileAttributesW(AsWin(folder));
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  wchar_t roaming[MAX_PATH] = {};
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, roaming), S_OK);
  EXPECT_EQ(folder, FromWin(roaming) + u"\\Veilmark");
  EXPECT_EQ(GetAppDataPath(u"\\example.dat"), folder + u"\\example.dat");
}

TEST(DataFolder, FilesHoldExactlyTheirBytes) {
  const std::u16string path = GetAppDataPath(u"\\platform_test.dat");
  const std::string bytes("a\0b\r\n\xff", 6);
  ASSERT_TRUE(SaveFile(path, std::string(1000, 'x')));
  ASSERT_TRUE(SaveFile(path, bytes));  // a longer file is cut to the new bytes
  EXPECT_EQ(LoadFile(path), bytes);
  ASSERT_TRUE(SaveFile(path, ""));
  EXPECT_EQ(LoadFile(path), "");
  DeleteLocalFile(path);
  try {
    LoadFile(path);
    ADD_FAILURE() << "a missing file loaded";
  } catch (const ProtocolException& error) {
    EXPECT_EQ(error.message(), u"Unable to load file");
    EXPECT_EQ(error.code(), 0);
  }
}

TEST(DataFolder, ScratchFilesAreNewEmptyAndInTheFolder) {
  const std::u16string first = MakeScratchFile();
  const std::u16string second = MakeScratchFile();
  EXPECT_NE(first, second);
  const std::u16string folder = GetAppDataPath(u"\\");
  EXPECT_EQ(first.substr(0, folder.size()), folder);
  EXPECT_EQ(LoadFile(first), "");
  DeleteLocalFile(first);
  DeleteLocalFile(second);
  EXPECT_EQ(GetFileAttributesW(AsWin(first)), INVALID_FILE_ATTRIBUTES);
}

TEST(WinHttpExchange, NothingListeningIsASendFailure) {
  ApiEndpoint endpoint;
  endpoint.host = u"localhost";
  endpoint.port = 1;  // nothing listens on tcpmux here
  HttpPost post{u"/api/login", u"Content-Type: application/x-www-form-urlencoded\r\n", "json=true"};
  const ExchangeOutcome outcome = PlatformHttpExchange().Post(endpoint, post);
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.error.rfind(exchange_messages::kSend, 0), 0u) << outcome.error;
  // The system's error number follows, in decimal.
  EXPECT_GT(outcome.error.size(), std::string(exchange_messages::kSend).size());
}

}  // namespace
}  // namespace veilmark::wine_tests
