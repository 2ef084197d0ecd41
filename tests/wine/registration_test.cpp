// Registration through regsvr32 and the exports, read back from the real
// registry of the Wine prefix; the order of its system calls through the
// registration seam.
#include "com/registration.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "com/module.h"
#include "resource_ids.h"
#include "wine_support.h"

namespace veilmark::wine_tests {
namespace {

const std::wstring kClasses = L"Software\\Classes\\";
const std::wstring kClsid = L"{1A23B247-C9CF-43F5-A7AE-6B1FF4BDB52A}";
const std::wstring kClassKey = kClasses + L"CLSID\\" + kClsid;
const std::wstring kTypeLibKey = kClasses + L"TypeLib\\{24919A8D-2502-49CA-B37B-C348EE6E708C}";
const std::wstring kInterfaceKey = kClasses + L"Interface\\{4CA564D7-4F81-4C2C-9429-6609A57D26A5}";
// This build's entry under the type library key and the other build's: each
// DLL registers its own platform, and its class in its own registry view.
#ifdef _WIN64
const wchar_t kOwnSysKind[] = L"win64";
const wchar_t kOtherSysKind[] = L"win32";
#else
const wchar_t kOwnSysKind[] = L"win32";
const wchar_t kOtherSysKind[] = L"win64";
#endif
const std::wstring kAddinsKey = L"Software\\Microsoft\\Office\\Outlook\\Addins";
const std::wstring kAddinKey = kAddinsKey + L"\\VeilmarkAddIn.Connect";
// What registration never writes under HKEY_LOCAL_MACHINE.
const std::wstring kMachinePaths[] = {
    kClassKey,
    kClasses + L"VeilmarkAddIn.Connect",
    kClasses + L"VeilmarkAddIn.Connect.1",
    kTypeLibKey,
    kInterfaceKey,
    kAddinKey,
};

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

    // The type library is the user's too, and nothing went to the machine:
    // in the other view, Wine's copy of the interface at most.
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kTypeLibKey + L"\\1.0"));
    for (const std::wstring& path : kMachinePaths) {
      EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path, kOwnView)) << path;
      if (IsWinesInterfaceCopy(path, kOtherView)) continue;
      EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path, kOtherView)) << path << " (other view)";
    }
  }

  void ExpectUnregistered() {
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClasses + L"VeilmarkAddIn.Connect.1"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClasses + L"VeilmarkAddIn.Connect"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClassKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kAddinKey));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTypeLibKey + L"\\1.0"));
    for (const REGSAM view : {kOwnView, kOtherView}) {
      for (const std::wstring& path : kMachinePaths) {
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path, view)) << path << " in view " << view;
      }
    }
  }

  AddinModule module_;
};

TEST_F(Registration, Regsvr32RegistersForTheUser) {
  ASSERT_EQ(RunProgram(L"regsvr32.exe /s " + Quoted(AddinPath())), 0u);
  ExpectRegisteredForUser();
}

TEST_F(Registration, RegisteringTwiceReplacesTheClassKeyWhole) {
  ASSERT_EQ(module_.RegisterServer(), S_OK);
  RegistryKey stale;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (kClassKey + L"\\Stale").c_str(), 0, nullptr, 0,
                            KEY_WRITE, nullptr, stale.Put(), nullptr),
            ERROR_SUCCESS);
  stale.Reset();

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
  // Wine keeps the views' classes apart only while Wow6432Node is there
  // (run-wine makes it with the prefix): back for the tests after this one,
  // once this registration made without it is removed.
  struct ViewsApartAgain {
    const AddinModule& module;
    ~ViewsApartAgain() {
      module.UnregisterServer();
      RegistryKey key;
      RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes\\Wow6432Node", 0, nullptr, 0,
                      KEY_WRITE | KEY_WOW64_64KEY, nullptr, key.Put(), nullptr);
    }
  } restore{module_};
  ASSERT_EQ(module_.RegisterServer(), S_OK);
  ExpectRegisteredForUser();
}

TEST_F(Registration, UnregisteringLeavesTheOtherBitnessAlone) {
  // What the other DLL registers: its class in its registry view, its entry
  // beside ours under the type library key.
  const std::wstring otherServer = kClassKey + L"\\InprocServer32";
  const std::wstring otherLibrary = kTypeLibKey + L"\\1.0\\409\\" + kOtherSysKind;
  ASSERT_EQ(module_.RegisterServer(), S_OK);
  ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, kClassKey, kOtherView)) << "the views are not apart";
  for (const auto& [path, view] :
       {std::pair{otherServer, kOtherView}, std::pair{otherLibrary, kOwnView}}) {
    RegistryKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_WRITE | view,
                              nullptr, key.Put(), nullptr),
              ERROR_SUCCESS);
  }

  EXPECT_EQ(module_.UnregisterServer(), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClassKey, kOwnView));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTypeLibKey + L"\\1.0\\409\\" + kOwnSysKind));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, otherServer, kOtherView));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, otherLibrary));
  DeleteTree(HKEY_CURRENT_USER, kClassKey, kOtherView);
  DeleteTree(HKEY_CURRENT_USER, kTypeLibKey);
  RegDeleteKeyW(HKEY_CURRENT_USER, kTypeLibKey.c_str());
}

// The system's calls, passed through, with the type library's registration
// failing after it wrote its keys.
class FailingTypeLibrary final : public com::RegistrationCalls {
 public:
  HRESULT OverrideClassesRoot(HKEY& classes) override { return real_.OverrideClassesRoot(classes); }
  void RestoreClassesRoot() override { real_.RestoreClassesRoot(); }
  HRESULT EnablePerUserTypeLibraries() override { return real_.EnablePerUserTypeLibraries(); }
  HRESULT RunScript(int id, bool install, HKEY classes) override {
    return real_.RunScript(id, install, classes);
  }
  HRESULT RegisterTypeLibrary() override {
    const HRESULT registered = real_.RegisterTypeLibrary();
    return VM_TRY_HR(registered) ? TYPE_E_REGISTRYACCESS : registered;
  }
  HRESULT UnregisterTypeLibrary(HKEY classes) override {
    return real_.UnregisterTypeLibrary(classes);
  }

 private:
  com::RegistrationCalls& real_ = com::SystemRegistrationCalls();
};

// The registration code linked into this program, with this program as the
// module: its resources hold the same scripts and type library.
class ThisModuleAsServer : public ::testing::Test {
 protected:
  void SetUp() override { com::SetModuleInstance(GetModuleHandleW(nullptr)); }
  void TearDown() override {
    com::UnregisterServer();
    com::SetModuleInstance(nullptr);
  }
};

TEST_F(ThisModuleAsServer, AFailureOnTheWayRemovesWhatWasWritten) {
  FailingTypeLibrary calls;
  EXPECT_EQ(com::RegisterServer(calls), TYPE_E_REGISTRYACCESS);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClassKey));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClasses + L"VeilmarkAddIn.Connect"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kClasses + L"VeilmarkAddIn.Connect.1"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kAddinKey));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTypeLibKey + L"\\1.0"));

  // The same calls with nothing failing register as the exports do.
  ASSERT_EQ(com::RegisterServer(), S_OK);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kClassKey + L"\\InprocServer32"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kTypeLibKey + L"\\1.0\\409\\" + kOwnSysKind));
}

// Records the calls in order, and fails the one named.
class RecordedCalls final : public com::RegistrationCalls {
 public:
  explicit RecordedCalls(std::string failing = "") : failing_(std::move(failing)) {}

  HRESULT OverrideClassesRoot(HKEY& classes) override {
    classes = kClassesKey;
    return Record("override");
  }
  void RestoreClassesRoot() override { journal_.push_back("restore"); }
  HRESULT EnablePerUserTypeLibraries() override { return Record("per-user type libraries"); }
  HRESULT RunScript(int id, bool install, HKEY classes) override {
    EXPECT_EQ(classes, kClassesKey);
    const char* script = id == IDR_MODULE_SCRIPT    ? "module script"
                         : id == IDR_CONNECT_SCRIPT ? "class script"
                                                    : "other script";
    return Record(std::string(install ? "install " : "remove ") + script);
  }
  HRESULT RegisterTypeLibrary() override { return Record("register type library"); }
  HRESULT UnregisterTypeLibrary(HKEY classes) override {
    EXPECT_EQ(classes, kClassesKey);
    return Record("unregister type library");
  }

  const std::vector<std::string>& journal() const { return journal_; }

  static constexpr HRESULT kFailure = TYPE_E_REGISTRYACCESS;

 private:
  HRESULT Record(const std::string& call) {
    journal_.push_back(call);
    return call == failing_ ? kFailure : S_OK;
  }

  inline static const HKEY kClassesKey = reinterpret_cast<HKEY>(0x1234);
  std::string failing_;
  std::vector<std::string> journal_;
};

using Journal = std::vector<std::string>;

TEST(RegistrationOrder, TypeLibrariesFollowTheOverrideBeforeAnyIsRegistered) {
  RecordedCalls calls;
  ASSERT_EQ(com::RegisterServer(calls), S_OK);
  EXPECT_EQ(calls.journal(),
            (Journal{"override", "per-user type libraries", "install module script",
                     "install class script", "register type library", "restore"}));

  RecordedCalls removal;
  ASSERT_EQ(com::UnregisterServer(removal), S_OK);
  EXPECT_EQ(removal.journal(),
            (Journal{"override", "per-user type libraries", "unregister type library",
                     "remove class script", "remove module script", "restore"}));
}

TEST(RegistrationOrder, AFailedStepIsUndoneWithEveryStepBeforeIt) {
  const struct {
    const char* failing;
    Journal expected;
  } cases[] = {
      {"override", {"override", "restore"}},
      {"per-user type libraries", {"override", "per-user type libraries", "restore"}},
      {"install module script",
       {"override", "per-user type libraries", "install module script", "remove module script",
        "restore"}},
      {"install class script",
       {"override", "per-user type libraries", "install module script", "install class script",
        "remove class script", "remove module script", "restore"}},
      {"register type library",
       {"override", "per-user type libraries", "install module script", "install class script",
        "register type library", "unregister type library", "remove class script",
        "remove module script", "restore"}},
  };
  for (const auto& c : cases) {
    RecordedCalls calls(c.failing);
    EXPECT_EQ(com::RegisterServer(calls), RecordedCalls::kFailure) << c.failing;
    EXPECT_EQ(calls.journal(), c.expected) << c.failing;
  }
}

TEST(RegistrationOrder, UnregisteringStopsAtTheFirstFailure) {
  RecordedCalls calls("remove class script");
  EXPECT_EQ(com::UnregisterServer(calls), RecordedCalls::kFailure);
  EXPECT_EQ(calls.journal(),
            (Journal{"override", "per-user type libraries", "unregister type library",
                     "remove class script", "restore"}));
}

}  // namespace
}  // namespace veilmark::wine_tests
