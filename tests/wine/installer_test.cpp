// The installer, run silently as a deployment script would, in a Wine prefix
// of its own for each test (tests/wine/in-fresh-prefix): what it installs,
// registers and removes, read back from the files and the registry. The
// installers are in the folder VEILMARK_INSTALLERS names: "current" holds
// this build's, "older" one of the same code with an older version resource.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "VeilmarkAddIn.h"
#include "base/com_ptr_win32.h"
#include "wine_support.h"

namespace veilmark::wine_tests {
namespace {

const std::wstring kClasses = L"Software\\Classes\\";
const std::wstring kClsid = L"{1A23B247-C9CF-43F5-A7AE-6B1FF4BDB52A}";
const std::wstring kTypeLib = L"TypeLib\\{24919A8D-2502-49CA-B37B-C348EE6E708C}";
const std::wstring kInterface = L"Interface\\{4CA564D7-4F81-4C2C-9429-6609A57D26A5}";
const std::wstring kAddinKey =
    L"Software\\Microsoft\\Office\\Outlook\\Addins\\VeilmarkAddIn.Connect";
const std::wstring kUninstallKey =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Veilmark";
// What the installer may never write under HKEY_LOCAL_MACHINE, in either
// registry view.
const std::wstring kMachinePaths[] = {
    kClasses + L"CLSID\\" + kClsid,
    kClasses + L"VeilmarkAddIn.Connect",
    kClasses + L"VeilmarkAddIn.Connect.1",
    kClasses + kTypeLib,
    kClasses + kInterface,
    kAddinKey,
    kUninstallKey,
};
constexpr REGSAM kViews[] = {kOwnView, kOtherView};

// This test program is the client: its DLL is the one of its own bitness,
// registered in its own registry view; the other one in the other view.
struct Side {
  const wchar_t* folder;   // under the installation folder
  const wchar_t* sysKind;  // the type library's entry
  REGSAM view;
};
#ifdef _WIN64
constexpr Side kOwn = {L"x64", L"win64", kOwnView};
constexpr Side kOther = {L"x86", L"win32", kOtherView};
#else
constexpr Side kOwn = {L"x86", L"win32", kOwnView};
constexpr Side kOther = {L"x64", L"win64", kOtherView};
#endif

std::wstring Folder(int csidl) {
  wchar_t path[MAX_PATH] = {};
  if (SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK) {
    throw std::runtime_error("no such folder");
  }
  return path;
}

std::wstring InstallFolder() {
  return Folder(CSIDL_LOCAL_APPDATA) + L"\\Programs\\Veilmark";
}

std::wstring DataFolder() {
  return Folder(CSIDL_APPDATA) + L"\\Veilmark";
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The one VeilmarkSetup-<version>.exe in VEILMARK_INSTALLERS\<build>.
std::wstring Installer(const wchar_t* build) {
  const wchar_t* folder = _wgetenv(L"VEILMARK_INSTALLERS");
  if (!folder) throw std::runtime_error("VEILMARK_INSTALLERS is not set");
  std::wstring dir = folder;
  if (dir.front() == L'/') dir = L"Z:" + dir;  // a Linux path: Wine's Z: is the root
  for (wchar_t& c : dir) {
    if (c == L'/') c = L'\\';
  }
  dir += std::wstring(L"\\") + build + L"\\";
  WIN32_FIND_DATAW found{};
  const FindHandle search(FindFirstFileW((dir + L"VeilmarkSetup-*.exe").c_str(), &found));
  if (!search) throw std::runtime_error("no installer");
  const std::wstring path = dir + found.cFileName;
  if (FindNextFileW(search.Get(), &found)) throw std::runtime_error("more than one installer");
  return path;
}

// "1.0.0.1" from the name VeilmarkSetup-1.0.0.1.exe.
std::wstring VersionInName(const std::wstring& installer) {
  const std::size_t dash = installer.rfind(L'-');
  return installer.substr(dash + 1, installer.size() - dash - 1 - 4);
}

std::wstring FileVersion(const std::wstring& path) {
  std::vector<char> info(GetFileVersionInfoSizeW(path.c_str(), nullptr));
  if (info.empty() ||
      !GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data())) {
    return L"";
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  if (!VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &size)) return L"";
  return std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." +
         std::to_wstring(LOWORD(fixed->dwFileVersionMS)) + L"." +
         std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
         std::to_wstring(LOWORD(fixed->dwFileVersionLS));
}

// Runs a command line to its end, and the processes it started too: the
// uninstaller runs from a copy of itself, started as it exits.
DWORD RunWithChildren(const std::wstring& commandLine) {
  std::wstring line = commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    throw std::runtime_error("program does not start");
  }
  const KernelHandle thread(process.hThread);
  const KernelHandle program(process.hProcess);
  if (WaitForSingleObject(program.Get(), 120000) != WAIT_OBJECT_0) {
    throw std::runtime_error("program does not end");
  }
  DWORD code = 0;
  GetExitCodeProcess(program.Get(), &code);

  wchar_t windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  const KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
       more = Process32NextW(snapshot.Get(), &entry)) {
    if (entry.th32ParentProcessID != process.dwProcessId) continue;
    const KernelHandle child(
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    if (!child) continue;
    // Not the services the system starts on a program's first call, which
    // stay.
    wchar_t image[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    if (!QueryFullProcessImageNameW(child.Get(), 0, image, &length)) continue;
    if (_wcsnicmp(image, windows, wcslen(windows)) == 0) continue;
    if (WaitForSingleObject(child.Get(), 120000) != WAIT_OBJECT_0) {
      throw std::runtime_error("the uninstaller's copy does not end");
    }
  }
  return code;
}

DWORD Install(const std::wstring& installer) {
  return RunWithChildren(L"\"" + installer + L"\" /S");
}

// Through the entry Add/Remove Programs shows, as a deployment script would.
DWORD Uninstall(const std::wstring& options = L"") {
  const auto quiet = ReadText(HKEY_CURRENT_USER, kUninstallKey, L"QuietUninstallString");
  if (!quiet) throw std::runtime_error("no QuietUninstallString");
  return RunWithChildren(*quiet + options);
}

void WriteSessionFile() {
  CreateDirectoryW(DataFolder().c_str(), nullptr);
  const KernelHandle file(CreateFileW((DataFolder() + L"\\alice@example.com").c_str(),
                                      GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file);
}

// While both DLLs are registered, each registration's copy of the interface
// for the other view may be there under Wine; once they are removed, nothing.
void ExpectNothingOnTheMachine(bool registered) {
  for (const REGSAM view : kViews) {
    for (const std::wstring& path : kMachinePaths) {
      if (registered && IsWinesInterfaceCopy(path, view)) continue;
      EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path, view))
          << "HKLM\\" << path << " in view " << std::hex << view;
    }
  }
}

std::wstring DllPath(const Side& side) {
  return InstallFolder() + L"\\" + side.folder + L"\\VeilmarkAddIn.dll";
}

// The DLL's class and type library entry name it, in its own view. (The
// type library key is one for both views on Windows, one for each on Wine:
// read in the DLL's own view, it says the same on both.)
void ExpectRegistered(const Side& side) {
  const std::wstring dll = DllPath(side);
  const auto server = ReadText(
      HKEY_CURRENT_USER, kClasses + L"CLSID\\" + kClsid + L"\\InprocServer32", nullptr, side.view);
  ASSERT_TRUE(server) << dll;
  EXPECT_EQ(_wcsicmp(server->c_str(), dll.c_str()), 0) << *server << " for " << dll;
  EXPECT_EQ(
      ReadText(HKEY_CURRENT_USER, kClasses + L"VeilmarkAddIn.Connect\\CurVer", nullptr, side.view),
      L"VeilmarkAddIn.Connect.1");
  const auto library = ReadText(
      HKEY_CURRENT_USER, kClasses + kTypeLib + L"\\1.0\\409\\" + side.sysKind, nullptr, side.view);
  ASSERT_TRUE(library) << dll;
  EXPECT_EQ(_wcsicmp(library->c_str(), dll.c_str()), 0) << dll;
}

void ExpectInstalled(const std::wstring& version) {
  const std::wstring folder = InstallFolder();
  EXPECT_EQ(FileVersion(DllPath(kOwn)), version);
  EXPECT_EQ(FileVersion(DllPath(kOther)), version);
  EXPECT_TRUE(FileExists(folder + L"\\Uninstall.exe"));

  // Both DLLs, for the user.
  ExpectRegistered(kOwn);
  ExpectRegistered(kOther);
  EXPECT_EQ(ReadNumber(HKEY_CURRENT_USER, kAddinKey, L"LoadBehavior"), 3u);

  // The Add/Remove Programs entry.
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kUninstallKey, L"DisplayName"), L"Veilmark");
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kUninstallKey, L"DisplayVersion"), version);
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kUninstallKey, L"Publisher"), L"Veilmark");
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kUninstallKey, L"InstallLocation"), folder);
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kUninstallKey, L"DisplayIcon"),
            folder + L"\\Uninstall.exe,0");
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kUninstallKey, L"UninstallString"),
            L"\"" + folder + L"\\Uninstall.exe\"");
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, kUninstallKey, L"QuietUninstallString"),
            L"\"" + folder + L"\\Uninstall.exe\" /S");
  EXPECT_EQ(ReadNumber(HKEY_CURRENT_USER, kUninstallKey, L"NoModify"), 1u);
  EXPECT_EQ(ReadNumber(HKEY_CURRENT_USER, kUninstallKey, L"NoRepair"), 1u);
  // Two DLLs of some megabytes each, in kilobytes.
  EXPECT_GT(ReadNumber(HKEY_CURRENT_USER, kUninstallKey, L"EstimatedSize").value_or(0), 1000u);

  ExpectNothingOnTheMachine(true);
}

void ExpectRemoved() {
  EXPECT_FALSE(FileExists(InstallFolder()));
  for (const REGSAM view : kViews) {
    for (const std::wstring& path :
         {kClasses + L"CLSID\\" + kClsid, kClasses + L"VeilmarkAddIn.Connect",
          kClasses + L"VeilmarkAddIn.Connect.1", kClasses + kTypeLib, kClasses + kInterface,
          kAddinKey, kUninstallKey}) {
      EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, path, view))
          << path << " in view " << std::hex << view;
    }
  }
  ExpectNothingOnTheMachine(false);
}

TEST(Installer, InstallsForTheUserAndTheDllLoadsByProgId) {
  const std::wstring installer = Installer(L"current");
  ASSERT_EQ(Install(installer), 0u);
  ExpectInstalled(VersionInName(installer));

  // COM, as Outlook uses it: the ProgID of the Addins key, on through CurVer
  // (which Windows follows by itself and Wine's CLSIDFromProgID does not).
  const UserClassesSeenByCom seen;
  const Apartment apartment;
  ASSERT_EQ(apartment.status(), S_OK);
  const auto current = ReadText(HKEY_CLASSES_ROOT, L"VeilmarkAddIn.Connect\\CurVer");
  ASSERT_TRUE(current);
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(current->c_str(), &clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Connect));
  com::ComPtr<IDispatch> connect;
  ASSERT_EQ(
      CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, connect.PutVoid()),
      S_OK);
  // The object's code is the installed DLL of this program's bitness.
  HMODULE module = nullptr;
  ASSERT_TRUE(GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      *reinterpret_cast<LPCWSTR*>(connect.Get()), &module));
  wchar_t loaded[MAX_PATH] = {};
  GetModuleFileNameW(module, loaded, MAX_PATH);
  EXPECT_EQ(_wcsicmp(loaded, DllPath(kOwn).c_str()), 0);
}

TEST(Installer, UninstallRemovesEverythingButTheUsersData) {
  ASSERT_EQ(Install(Installer(L"current")), 0u);
  WriteSessionFile();
  ASSERT_EQ(Uninstall(), 0u);
  ExpectRemoved();
  EXPECT_TRUE(FileExists(DataFolder() + L"\\alice@example.com"));
}

TEST(Installer, UninstallWithRemoveDataRemovesTheUsersDataToo) {
  ASSERT_EQ(Install(Installer(L"current")), 0u);
  WriteSessionFile();
  ASSERT_EQ(Uninstall(L" /REMOVEDATA"), 0u);
  ExpectRemoved();
  EXPECT_FALSE(FileExists(DataFolder()));
}

TEST(Installer, UpgradesAnOlderBuildInPlace) {
  const std::wstring older = Installer(L"older");
  const std::wstring current = Installer(L"current");
  ASSERT_NE(VersionInName(older), VersionInName(current));
  ASSERT_EQ(Install(older), 0u);
  ExpectInstalled(VersionInName(older));
  WriteSessionFile();

  ASSERT_EQ(Install(current), 0u);
  ExpectInstalled(VersionInName(current));
  EXPECT_TRUE(FileExists(DataFolder() + L"\\alice@example.com"));
}

TEST(Installer, WaitsForOutlookToLetGoOfTheDll) {
  const std::wstring older = Installer(L"older");
  ASSERT_EQ(Install(older), 0u);
  // This process holds the DLL as Outlook would.
  LibraryHandle held(LoadLibraryW(DllPath(kOwn).c_str()));
  ASSERT_TRUE(held);
  // Silent, it cannot ask to close Outlook: it gives up with 2, changing
  // nothing; so does the uninstaller.
  EXPECT_EQ(Install(Installer(L"current")), 2u);
  Uninstall();
  held.Reset();
  ExpectInstalled(VersionInName(older));

  ASSERT_EQ(Install(Installer(L"current")), 0u);
  ExpectInstalled(VersionInName(Installer(L"current")));
}

}  // namespace
}  // namespace veilmark::wine_tests
