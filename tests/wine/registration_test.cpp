// Registration through regsvr32 and the exports, read back from the real
// registry of the Wine prefix.
#include <gtest/gtest.h>

#include "wine_support.h"

namespace veilmark::wine_tests {
namespace {

const std::wstring kClasses = L"Software\\Classes\\";
const std::wstring kClsid = L"{1A23B247-C9CF-43F5-A7AE-6B1FF4BDB52A}";
const std::wstring kClassKey = kClasses + L"CLSID\\" + kClsid;
const std::wstring kTypeLibKey = kClasses + L"TypeLib\\{24919A8D-2502-49CA-B37B-C348EE6E708C}";
const std::wstring kAddinsKey = L"Software\\Microsoft\\Office\\Outlook\\Addins";
const std::wstring kAddinKey = kAddinsKey + L"\\VeilmarkAddIn.Connect";

std::wstring Quoted(const std::wstring& path) {
  return L"\"" + path + L"\"";
}

class Registration : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(module_.UnregisterServer(), S_OK); }
  void TearDown() override { module_.UnregisterServer(); }

  void ExpectRegisteredForUser() {
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kClasses + L"VeilmarkAddIn.Connect.1"), L"Connect Class");
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kClasses + L"VeilmarkAddIn.Connect.1\\CLSID"), kClsid);
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kClasses + L"VeilmarkAddIn.Connect"), L"Connect Class");
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kClasses + L"VeilmarkAddIn.Connect\\CurVer"),
              L"VeilmarkAddIn.Connect.1");

    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kClassKey), L"Connect Class");
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kClassKey + L"\\ProgID"), L"VeilmarkAddIn.Connect.1");
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kClassKey + L"\\VersionIndependentProgID"),
              L"VeilmarkAddIn.Connect");
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kClassKey + L"\\Programmable"));
    const auto server = ReadText(HKEY_CURRENT_USER, kClassKey + L"\\InprocServer32");
    ASSERT_TRUE(server);
    EXPECT_EQ(_wcsicmp(server->c_str(), AddinPath().c_str()), 0) << *server;
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kClassKey + L"\\InprocServer32", L"ThreadingModel"),
              L"Apartment");
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kClassKey + L"\\TypeLib"),
              L"{24919A8D-2502-49CA-B37B-C348EE6E708C}");
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kClassKey + L"\\Version"), L"1.0");

    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kAddinKey, L"Description"), L"Veilmark AddIn");
    EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kAddinKey, L"FriendlyName"), L"Veilmark AddIn");
    EXPECT_EQ(ReadNumber(HKEY_CURRENT_USER, kAddinKey, L"LoadBehavior"), 3u);

    // The type library is the user's too, and nothing went to the machine.
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kTypeLibKey + L"\\1.0"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kTypeLibKey));
  }

  void ExpectUnregistered() {
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClasses + L"VeilmarkAddIn.Connect.1"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClasses + L"VeilmarkAddIn.Connect"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kAddinKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTypeLibKey + L"\\1.0"));
  }

  AddinModule module_;
};

TEST_F(Registration, Regsvr32RegistersForTheUser) {
  ASSERT_EQ(RunProgram(L"regsvr32.exe /s " + Quoted(AddinPath())), 0u);
  ExpectRegisteredForUser();
}

TEST_F(Registration, RegisteringTwiceReplacesTheClassKeyWhole) {
  ASSERT_EQ(module_.RegisterServer(), S_OK);
  HKEY stale = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (kClassKey + L"\\Stale").c_str(), 0, nullptr, 0,
                            KEY_WRITE, nullptr, &stale, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(stale);

  ASSERT_EQ(RunProgram(L"regsvr32.exe /s " + Quoted(AddinPath())), 0u);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClassKey + L"\\Stale"));
  ExpectRegisteredForUser();
}

TEST_F(Registration, UnregisteringKeepsTheSharedKeys) {
  ASSERT_EQ(module_.RegisterServer(), S_OK);
  ASSERT_EQ(RunProgram(L"regsvr32.exe /s /u " + Quoted(AddinPath())), 0u);
  ExpectUnregistered();
  // Marked NoRemove: they belong to everyone.
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kClasses + L"CLSID"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kAddinsKey));
  // Unregistering what is not registered is no failure.
  EXPECT_EQ(module_.UnregisterServer(), S_OK);
}

TEST_F(Registration, Regsvr32InstallForUser) {
  ASSERT_EQ(RunProgram(L"regsvr32.exe /s /n /i:user " + Quoted(AddinPath())), 0u);
  ExpectRegisteredForUser();
  ASSERT_EQ(RunProgram(L"regsvr32.exe /s /u /n /i:user " + Quoted(AddinPath())), 0u);
  ExpectUnregistered();
}

TEST_F(Registration, DllInstallIsPerUserWhateverTheCommandLine) {
  ASSERT_EQ(module_.Install(true, L"USER"), S_OK);
  ExpectRegisteredForUser();
  ASSERT_EQ(module_.Install(false, L"user"), S_OK);
  ExpectUnregistered();
  ASSERT_EQ(module_.Install(true, L"user2"), S_OK);
  ExpectRegisteredForUser();
  ASSERT_EQ(module_.Install(false, L""), S_OK);
  ExpectUnregistered();
}

TEST_F(Registration, AFreshProfileWithoutUserClassesStillRegisters) {
  // A new user's hive may lack Software\Classes: registration makes it.
  DeleteTree(HKEY_CURRENT_USER, L"Software\\Classes");
  RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Classes");
  ASSERT_EQ(module_.RegisterServer(), S_OK);
  ExpectRegisteredForUser();
}

}  // namespace
}  // namespace veilmark::wine_tests
