// The registrar's script language, parsed and applied to a scratch key of
// the real registry.
#include "com/registry_script.h"

#include <gtest/gtest.h>

#include "wine_support.h"

namespace veilmark::wine_tests {
namespace {

using com::ApplyRegistryScript;
using com::ParseRegistryScript;
using com::ScriptKey;
using com::ScriptRoot;

const com::Replacements kReplacements = {{u"MODULE", u"C:\\addin.dll"}, {u"APPID", u"{app}"}};

HRESULT Parse(const std::u16string& text, std::vector<ScriptRoot>& roots, std::string& error) {
  return ParseRegistryScript(text, kReplacements, roots, error);
}

TEST(RegistryScript, ReadsKeysMarksValuesAndReplacements) {
  std::vector<ScriptRoot> roots;
  std::string error;
  ASSERT_EQ(Parse(u"HKCR\n{\n\tNoRemove CLSID\n\t{\n"
                  u"\t\tForceRemove {1A23B247-C9CF-43F5-A7AE-6B1FF4BDB52A} = s 'It''s 100%%'\n"
                  u"\t\t{\n\t\t\tInprocServer32 = s '%MODULE%'\n"
                  u"\t\t\t{ val ThreadingModel = s 'Apartment' }\n"
                  u"\t\t\tval Count = d 0x10\n\t\t\tDelete Old\n\t\t}\n\t}\n}\n"
                  u"HKCU { 'Quoted Key' { val N = d '3' } }",
                  roots, error),
            S_OK)
      << error;
  ASSERT_EQ(roots.size(), 2u);
  EXPECT_EQ(roots[0].name, u"HKCR");
  const ScriptKey& clsid = roots[0].keys.at(0);
  EXPECT_EQ(clsid.mark, ScriptKey::Mark::kNoRemove);
  const ScriptKey& object = clsid.keys.at(0);
  // A braced GUID is a name: tokens are separated by white space.
  EXPECT_EQ(object.name, u"{1A23B247-C9CF-43F5-A7AE-6B1FF4BDB52A}");
  EXPECT_EQ(object.mark, ScriptKey::Mark::kForceRemove);
  ASSERT_TRUE(object.value);
  EXPECT_EQ(object.value->text, u"It's 100%");
  ASSERT_EQ(object.keys.size(), 2u);
  EXPECT_EQ(object.keys[0].value->text, u"C:\\addin.dll");
  EXPECT_EQ(object.keys[0].values.at(0).first, u"ThreadingModel");
  EXPECT_EQ(object.keys[1].mark, ScriptKey::Mark::kDelete);
  ASSERT_EQ(object.values.size(), 1u);
  EXPECT_TRUE(object.values[0].second.isNumber);
  EXPECT_EQ(object.values[0].second.number, 16u);
  EXPECT_EQ(roots[1].keys.at(0).name, u"Quoted Key");
  EXPECT_EQ(roots[1].keys[0].values.at(0).second.number, 3u);
}

TEST(RegistryScript, RefusesWhatIsNotAScript) {
  const std::u16string broken[] = {
      u"HKCR { Key = s 'unterminated }",
      u"HKCR { Key { }",                    // a brace left open
      u"HKCR { Key = s '%UNKNOWN%' }",      // a replacement not given
      u"HKCR { val Loose = s 'x' }",        // a value outside any key
      u"HKCR { Key = x 'what' }",           // no such value type
      u"HKCR { Key { val N = d three } }",  // not a number
      u"{ }",
  };
  for (const std::u16string& text : broken) {
    std::vector<ScriptRoot> roots;
    std::string error;
    EXPECT_EQ(Parse(text, roots, error), E_INVALIDARG) << std::string(text.begin(), text.end());
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(roots.empty());
  }
}

class AppliedRegistryScript : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTree(HKEY_CURRENT_USER, kPath);
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, root_.Put(), nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    root_.Reset();
    DeleteTree(HKEY_CURRENT_USER, kPath);
  }
  void MakeKey(const std::wstring& path) {
    RegistryKey key;
    ASSERT_EQ(RegCreateKeyExW(root_.Get(), path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              key.Put(), nullptr),
              ERROR_SUCCESS);
  }
  HRESULT Apply(const std::u16string& text, bool install) {
    std::vector<ScriptRoot> roots;
    std::string error;
    const HRESULT parsed = Parse(text, roots, error);
    if (!VM_TRY_HR(parsed)) return parsed;
    return ApplyRegistryScript(roots, install, root_.Get());
  }
  std::wstring At(const std::wstring& path) const { return kPath + L"\\" + path; }

  const std::wstring kPath = L"Software\\VeilmarkScriptTest";
  RegistryKey root_;
};

TEST_F(AppliedRegistryScript, InstallAndUninstallFollowTheMarks) {
  const std::u16string script =
      u"HKCR { NoRemove Keep { Own = s 'mine' { val N = d 7 } "
      u"ForceRemove Fresh { Inner } Delete Gone } }";
  MakeKey(L"Keep\\Fresh\\Stale");
  MakeKey(L"Keep\\Gone\\Deep");
  MakeKey(L"Keep\\Foreign");

  ASSERT_EQ(Apply(script, true), S_OK);
  EXPECT_EQ(ReadText(HKEY_CURRENT_USER, At(L"Keep\\Own")), L"mine");
  EXPECT_EQ(ReadNumber(HKEY_CURRENT_USER, At(L"Keep\\Own"), L"N"), 7u);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, At(L"Keep\\Fresh\\Inner")));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, At(L"Keep\\Fresh\\Stale")));  // replaced whole
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, At(L"Keep\\Gone")));

  ASSERT_EQ(Apply(script, false), S_OK);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, At(L"Keep")));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, At(L"Keep\\Foreign")));  // not the script's
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, At(L"Keep\\Own")));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, At(L"Keep\\Fresh")));
  // Removing again finds nothing to remove, and that is no failure.
  EXPECT_EQ(Apply(script, false), S_OK);
}

TEST_F(AppliedRegistryScript, UnknownRootKeyIsRefused) {
  EXPECT_EQ(Apply(u"HKXX { Key }", true), E_INVALIDARG);
}

}  // namespace
}  // namespace veilmark::wine_tests
