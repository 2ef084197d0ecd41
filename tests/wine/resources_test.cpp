// The module's resources, read back from the built DLL.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "addin/com/com_ptr.h"
#include "wine_support.h"

namespace veilmark {
extern const char kModuleScriptText[];
extern const char kConnectScriptText[];
extern const char kRibbonXmlText[];
}  // namespace veilmark

namespace veilmark::wine_tests {
namespace {

class Resources : public ::testing::Test {
 protected:
  std::string_view Bytes(const wchar_t* type, int id) {
    HRSRC found = FindResourceW(module_.handle(), MAKEINTRESOURCEW(id), type);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(module_.handle(), found);
    return {static_cast<const char*>(LockResource(loaded)),
            SizeofResource(module_.handle(), found)};
  }

  void ExpectBitmap(int id, LONG width, LONG height) {
    SCOPED_TRACE(id);
    HANDLE image =
        LoadImageW(module_.handle(), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
    ASSERT_NE(image, nullptr);
    DIBSECTION section{};
    ASSERT_EQ(GetObjectW(image, sizeof section, &section), static_cast<int>(sizeof section));
    EXPECT_EQ(section.dsBm.bmWidth, width);
    EXPECT_EQ(section.dsBm.bmHeight, height);
    EXPECT_EQ(section.dsBm.bmBitsPixel, 24);
    DeleteObject(image);
  }

  AddinModule module_;
};

TEST_F(Resources, ScriptsRibbonAndTypeLibraries) {
  EXPECT_EQ(Bytes(L"REGISTRY", 101), kModuleScriptText);
  EXPECT_EQ(Bytes(L"REGISTRY", 106), kConnectScriptText);
  EXPECT_EQ(Bytes(L"XML", 201), kRibbonXmlText);
  // Type libraries start with their format's signature.
  EXPECT_EQ(Bytes(L"TYPELIB", 1).substr(0, 4), "MSFT");
  EXPECT_EQ(Bytes(L"TYPELIB", 2).substr(0, 4), "MSFT");
}

TEST_F(Resources, TheAddInTypeLibraryDescribesTheCallbacks) {
  com::ComPtr<ITypeLib> library;
  ASSERT_EQ(LoadTypeLibEx(AddinPath().c_str(), REGKIND_NONE, library.Put()), S_OK);
  TLIBATTR* attributes = nullptr;
  ASSERT_EQ(library->GetLibAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->wMajorVerNum, 1);
  EXPECT_EQ(attributes->wMinorVerNum, 0);
  EXPECT_EQ(attributes->lcid, 0x0409u);
  library->ReleaseTLibAttr(attributes);
  // The coclass and IRibbonCallback; IConnect is not described.
  EXPECT_EQ(library->GetTypeInfoCount(), 2u);
}

TEST_F(Resources, Bitmaps) {
  ExpectBitmap(222, 32, 32);
  ExpectBitmap(209, 200, 41);
  for (int id : {215, 216, 217, 218, 220, 224}) ExpectBitmap(id, 90, 24);
}

TEST_F(Resources, DialogTemplates) {
  struct Expected {
    int id;
    std::wstring caption;
    short width, height;
  };
  const Expected dialogs[] = {
      {107, L"Login Or Sign Up", 355, 143},
      {108, L"Provider Login", 455, 317},
      {109, L"Dialog", 320, 272},
      {110, L"Provider Login", 320, 200},
      {111, L"Additional Password", 280, 141},
      {112, L"Login using Veilmark Account", 320, 200},
      {113, L"Forgot Password", 320, 200},
  };
  for (const Expected& dialog : dialogs) {
    SCOPED_TRACE(dialog.id);
    const std::string_view bytes = Bytes(RT_DIALOG, dialog.id);
    ASSERT_GT(bytes.size(), 26u);
    // DLGTEMPLATEEX: version 1, signature 0xFFFF, then help id, styles,
    // item count, x, y, cx, cy, menu, class, caption.
    const auto* words = reinterpret_cast<const WORD*>(bytes.data());
    EXPECT_EQ(words[0], 1);
    EXPECT_EQ(words[1], 0xFFFF);
    const DWORD style = *reinterpret_cast<const DWORD*>(bytes.data() + 12);
    EXPECT_EQ(style & (DS_MODALFRAME | DS_CENTER | WS_CAPTION | WS_SYSMENU),
              static_cast<DWORD>(DS_MODALFRAME | DS_CENTER | WS_CAPTION | WS_SYSMENU));
    EXPECT_EQ(static_cast<short>(words[11]), dialog.width);
    EXPECT_EQ(static_cast<short>(words[12]), dialog.height);
    ASSERT_EQ(words[13], 0);  // no menu
    ASSERT_EQ(words[14], 0);  // the standard class
    EXPECT_EQ(std::wstring(reinterpret_cast<const wchar_t*>(&words[15])), dialog.caption);
  }
}

TEST_F(Resources, IconStringVersionAndManifest) {
  EXPECT_FALSE(Bytes(RT_GROUP_ICON, 225).empty());
  EXPECT_FALSE(Bytes(RT_ICON, 1).empty());
  wchar_t name[64] = {};
  ASSERT_GT(LoadStringW(module_.handle(), 100, name, 64), 0);
  EXPECT_EQ(std::wstring(name), L"VeilmarkAddIn");
  EXPECT_NE(Bytes(RT_MANIFEST, 2).find("level=\"asInvoker\" uiAccess=\"false\""),
            std::string_view::npos);

  const std::wstring path = AddinPath();
  std::vector<char> version(GetFileVersionInfoSizeW(path.c_str(), nullptr));
  ASSERT_FALSE(version.empty());
  ASSERT_TRUE(
      GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(version.size()), version.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(version.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
  for (const wchar_t* field : {L"InternalName", L"OriginalFilename"}) {
    wchar_t* text = nullptr;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + field;
    ASSERT_TRUE(
        VerQueryValueW(version.data(), query.c_str(), reinterpret_cast<void**>(&text), &length));
    EXPECT_EQ(std::wstring(text), L"VeilmarkAddIn.dll");
  }
}

}  // namespace
}  // namespace veilmark::wine_tests
