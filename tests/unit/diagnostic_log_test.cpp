// The opt-in diagnostic log: off until asked for, codes and names only,
// private to the user, and bounded.
#include "base/diagnostic_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "api/api_client.h"
#include "base/hresult.h"
#include "base/text.h"
#include "support/hr_assert_recorder.h"
#include "support/scripted_service.h"
#include "support/temp_data_home.h"

namespace veilmark {
namespace {

namespace fs = std::filesystem;

constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005u);

std::string Read(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

HRESULT Fails() {
  return kAccessDenied;
}

HRESULT ChecksAFailingCall() {
  VM_CHECK_HR(Fails());
  return S_OK;
}

class DiagnosticLogTest : public ::testing::Test {
 protected:
  ~DiagnosticLogTest() override {
    diagnostics::Start({});
    unsetenv("VEILMARK_DIAGNOSTIC_LOG");
  }
  fs::path LogFile() const { return home_.folder() / "diagnostic.log"; }
  void StartHere() {
    fs::create_directories(home_.folder());
    diagnostics::Start(Utf8ToWide(LogFile().string()));
  }

  testing::TempDataHome home_;
  testing::HrAssertRecorder asserts_;
};

TEST_F(DiagnosticLogTest, OffUnlessAskedFor) {
  EXPECT_TRUE(diagnostics::RequestedLogPath().empty());
  setenv("VEILMARK_DIAGNOSTIC_LOG", "0", 1);
  EXPECT_TRUE(diagnostics::RequestedLogPath().empty());
  setenv("VEILMARK_DIAGNOSTIC_LOG", "1", 1);
  EXPECT_EQ(WideToUtf8(diagnostics::RequestedLogPath()), LogFile().string());

  // Not started: a failed call leaves no file behind.
  EXPECT_EQ(ChecksAFailingCall(), kAccessDenied);
  EXPECT_FALSE(fs::exists(LogFile()));
}

TEST_F(DiagnosticLogTest, RecordsTheFailedCallByExpressionAndCode) {
  StartHere();
  EXPECT_EQ(ChecksAFailingCall(), kAccessDenied);
  EXPECT_FALSE(VM_LOG_HR(Fails()));
  EXPECT_FALSE(VM_TRY_HR(Fails()));  // an expected answer is not a fault
  EXPECT_TRUE(VM_LOG_HR(S_FALSE));
  diagnostics::RecordServiceStatus("decrypt-mime", "INVALID_SESSION");

  const std::string log = Read(LogFile());
  std::istringstream lines(log);
  std::string line;
  std::vector<std::string> entries;
  while (std::getline(lines, line)) entries.push_back(line.substr(line.find(' ') + 1));
  EXPECT_EQ(entries, (std::vector<std::string>{"Outlook call failed: Fails() 0x80070005",
                                               "Outlook call failed: Fails() 0x80070005",
                                               "service answered decrypt-mime: INVALID_SESSION"}));
  struct stat info {};
  ASSERT_EQ(stat(LogFile().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(DiagnosticLogTest, AFullLogIsMovedAsideOnce) {
  StartHere();
  const std::string filler(diagnostics::kRotateBytes, 'x');
  { std::ofstream(LogFile()) << filler; }
  diagnostics::RecordHostFailure("First", E_FAIL);
  EXPECT_EQ(fs::file_size(home_.folder() / "diagnostic.log.1"), filler.size());
  EXPECT_NE(Read(LogFile()).find("First 0x80004005"), std::string::npos);

  // Below the bound the file grows; the older one is not touched again.
  diagnostics::RecordHostFailure("Second", E_FAIL);
  EXPECT_NE(Read(LogFile()).find("Second"), std::string::npos);
  EXPECT_EQ(fs::file_size(home_.folder() / "diagnostic.log.1"), filler.size());
}

TEST_F(DiagnosticLogTest, StoppingEndsTheRecords) {
  StartHere();
  diagnostics::RecordHostFailure("Before", E_FAIL);
  diagnostics::Start({});
  EXPECT_FALSE(diagnostics::Recording());
  diagnostics::RecordHostFailure("After", E_FAIL);
  EXPECT_EQ(Read(LogFile()).find("After"), std::string::npos);
}

TEST_F(DiagnosticLogTest, ARefusalOfTheServiceIsRecordedByCommandAndCode) {
  StartHere();
  testing::ScriptedService service;
  service.Answer("decrypt-mime",
                 R"({"status":{"statusCode":"NOT_A_RECIPIENT","message":["bob@x.org"]}})");
  ApiClient client(service.InProcess(), service.endpoint());
  client.DecryptMime("secret-session", "armored text");
  const std::string log = Read(LogFile());
  EXPECT_NE(log.find("service answered decrypt-mime: NOT_A_RECIPIENT"), std::string::npos) << log;
  for (const char* never : {"secret-session", "armored", "bob@x.org"}) {
    EXPECT_EQ(log.find(never), std::string::npos) << never;
  }
}

}  // namespace
}  // namespace veilmark
