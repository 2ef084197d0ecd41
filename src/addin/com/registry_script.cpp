#include "addin/com/registry_script.h"

#include <cwctype>

#include "util/text.h"
#include "util/wchar_win32.h"

namespace veilmark::com {
namespace {

bool SameWord(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  }
  return true;
}

struct Token {
  enum class Kind { kEnd, kWord, kQuoted, kOpen, kClose, kEquals };
  Kind kind = Kind::kEnd;
  std::u16string text;
};

class Parser {
 public:
  Parser(std::u16string_view text, const Replacements& replacements)
      : text_(text), replacements_(replacements) {}

  bool Script(std::vector<ScriptRoot>& roots) {
    for (;;) {
      Token token = Next();
      if (token.kind == Token::Kind::kEnd) return ok_;
      if (token.kind != Token::Kind::kWord) return Fail("a root key");
      ScriptRoot root;
      root.name = token.text;
      if (Next().kind != Token::Kind::kOpen) return Fail("'{' after a root key");
      if (!Keys(root.keys)) return false;
      roots.push_back(std::move(root));
    }
  }

  const std::string& error() const { return error_; }

 private:
  // The keys up to and including the closing brace.
  bool Keys(std::vector<ScriptKey>& keys) {
    for (;;) {
      Token token = Next();
      if (!ok_) return false;
      if (token.kind == Token::Kind::kClose) return true;
      if (token.kind == Token::Kind::kEnd) return Fail("'}'");
      if (token.kind == Token::Kind::kWord && SameWord(token.text, u"val")) {
        Token name = Next();
        if (name.kind != Token::Kind::kWord && name.kind != Token::Kind::kQuoted) {
          return Fail("a value name");
        }
        if (Next().kind != Token::Kind::kEquals) return Fail("'=' after a value name");
        ScriptValue value;
        if (!Value(value)) return false;
        if (!current_) return Fail("a key before a value");
        current_->values.emplace_back(name.text, std::move(value));
        continue;
      }
      ScriptKey key;
      if (token.kind == Token::Kind::kWord) {
        if (SameWord(token.text, u"NoRemove")) {
          key.mark = ScriptKey::Mark::kNoRemove;
        } else if (SameWord(token.text, u"ForceRemove")) {
          key.mark = ScriptKey::Mark::kForceRemove;
        } else if (SameWord(token.text, u"Delete")) {
          key.mark = ScriptKey::Mark::kDelete;
        }
        if (key.mark != ScriptKey::Mark::kNone) token = Next();
      }
      if (token.kind != Token::Kind::kWord && token.kind != Token::Kind::kQuoted) {
        return Fail("a key name");
      }
      key.name = token.text;
      Token after = Peek();
      if (after.kind == Token::Kind::kEquals) {
        Next();
        ScriptValue value;
        if (!Value(value)) return false;
        key.value = std::move(value);
        after = Peek();
      }
      if (after.kind == Token::Kind::kOpen) {
        Next();
        ScriptKey* outer = current_;
        current_ = &key;
        const bool done = Keys(key.keys);
        current_ = outer;
        if (!done) return false;
      }
      keys.push_back(std::move(key));
    }
  }

  bool Value(ScriptValue& value) {
    Token type = Next();
    Token content = Next();
    if (type.kind != Token::Kind::kWord ||
        (content.kind != Token::Kind::kQuoted && content.kind != Token::Kind::kWord)) {
      return Fail("a value: s 'text' or d number");
    }
    if (SameWord(type.text, u"s")) {
      value.text = content.text;
      return true;
    }
    if (SameWord(type.text, u"d")) {
      const std::string digits = WideToUtf8(content.text);
      char* end = nullptr;
      const unsigned long number = std::strtoul(digits.c_str(), &end, 0);
      if (digits.empty() || *end != '\0') return Fail("a number after d");
      value.isNumber = true;
      value.number = static_cast<std::uint32_t>(number);
      return true;
    }
    return Fail("a value type s or d");
  }

  Token Peek() {
    const std::size_t at = at_;
    Token token = Next();
    at_ = at;
    return token;
  }

  Token Next() {
    Token token;
    while (at_ < text_.size() && (text_[at_] == u' ' || text_[at_] == u'\t' ||
                                  text_[at_] == u'\r' || text_[at_] == u'\n')) {
      ++at_;
    }
    if (at_ >= text_.size()) return token;
    // Tokens are separated by white space, so a braced GUID is one word.
    const char16_t c = text_[at_];
    std::u16string raw;
    if (c == u'\'') {
      token.kind = Token::Kind::kQuoted;
      ++at_;
      for (;;) {
        if (at_ >= text_.size()) {
          Fail("a closing quote");
          return Token{};
        }
        if (text_[at_] == u'\'') {
          if (at_ + 1 < text_.size() && text_[at_ + 1] == u'\'') {  // '' is a quote
            raw += u'\'';
            at_ += 2;
            continue;
          }
          ++at_;
          break;
        }
        raw += text_[at_++];
      }
    } else {
      token.kind = Token::Kind::kWord;
      while (at_ < text_.size()) {
        const char16_t d = text_[at_];
        if (d == u' ' || d == u'\t' || d == u'\r' || d == u'\n') break;
        raw += d;
        ++at_;
      }
      if (raw == u"{" || raw == u"}" || raw == u"=") {
        token.kind = raw == u"{" ? Token::Kind::kOpen
                                 : (raw == u"}" ? Token::Kind::kClose : Token::Kind::kEquals);
        return token;
      }
    }
    token.text = Replace(raw);
    return token;
  }

  // %NAME% becomes its replacement; %% is a percent sign.
  std::u16string Replace(const std::u16string& raw) {
    std::u16string result;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != u'%') {
        result += raw[i];
        continue;
      }
      const std::size_t close = raw.find(u'%', i + 1);
      if (close == std::u16string::npos) {
        Fail("a closing % of a replacement");
        return result;
      }
      const std::u16string name = raw.substr(i + 1, close - i - 1);
      if (name.empty()) {
        result += u'%';
      } else if (auto found = replacements_.find(name); found != replacements_.end()) {
        result += found->second;
      } else {
        Fail("a known replacement instead of %" + WideToUtf8(name) + "%");
        return result;
      }
      i = close;
    }
    return result;
  }

  bool Fail(const std::string& expected) {
    if (ok_) error_ = "expected " + expected + " at character " + std::to_string(at_);
    ok_ = false;
    return false;
  }

  std::u16string_view text_;
  const Replacements& replacements_;
  std::size_t at_ = 0;
  bool ok_ = true;
  std::string error_;
  ScriptKey* current_ = nullptr;  // the key whose body is being read
};

// The key with everything below it; removing what is not there is no failure.
HRESULT DeleteTree(HKEY parent, const std::u16string& name) {
  const LONG result = RegDeleteTreeW(parent, AsWin(name));
  return result == ERROR_FILE_NOT_FOUND ? S_OK : FromRegistry(result);
}

HRESULT SetValue(HKEY key, const std::u16string* name, const ScriptValue& value) {
  const wchar_t* valueName = name ? AsWin(*name) : nullptr;
  if (value.isNumber) {
    const DWORD number = value.number;
    return FromRegistry(RegSetValueExW(key, valueName, 0, REG_DWORD,
                                       reinterpret_cast<const BYTE*>(&number), sizeof number));
  }
  const DWORD bytes = static_cast<DWORD>((value.text.size() + 1) * sizeof(char16_t));
  return FromRegistry(RegSetValueExW(key, valueName, 0, REG_SZ,
                                     reinterpret_cast<const BYTE*>(value.text.c_str()), bytes));
}

HRESULT Install(HKEY parent, const std::vector<ScriptKey>& keys) {
  for (const ScriptKey& key : keys) {
    if (key.mark == ScriptKey::Mark::kDelete) {
      VM_CHECK_HR(DeleteTree(parent, key.name));
      continue;
    }
    // ForceRemove replaces the key whole, so registering twice leaves one set.
    if (key.mark == ScriptKey::Mark::kForceRemove) VM_CHECK_HR(DeleteTree(parent, key.name));
    RegKey opened;
    VM_CHECK_HR(
        FromRegistry(RegCreateKeyExW(parent, AsWin(key.name), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                                     nullptr, opened.Put(), nullptr)));
    if (key.value) VM_CHECK_HR(SetValue(opened.Get(), nullptr, *key.value));
    for (const auto& [name, value] : key.values) VM_CHECK_HR(SetValue(opened.Get(), &name, value));
    VM_CHECK_HR(Install(opened.Get(), key.keys));
  }
  return S_OK;
}

HRESULT Uninstall(HKEY parent, const std::vector<ScriptKey>& keys) {
  for (const ScriptKey& key : keys) {
    if (key.mark == ScriptKey::Mark::kDelete) continue;  // only acts on install
    if (key.mark != ScriptKey::Mark::kNoRemove) {
      VM_CHECK_HR(DeleteTree(parent, key.name));
      continue;
    }
    // Kept itself; what the script put inside goes.
    RegKey opened;
    const LONG result =
        RegOpenKeyExW(parent, AsWin(key.name), 0, KEY_READ | KEY_WRITE, opened.Put());
    if (result == ERROR_FILE_NOT_FOUND) continue;
    VM_CHECK_HR(FromRegistry(result));
    for (const auto& entry : key.values) {
      const LONG deleted = RegDeleteValueW(opened.Get(), AsWin(entry.first));
      if (deleted != ERROR_FILE_NOT_FOUND) VM_CHECK_HR(FromRegistry(deleted));
    }
    VM_CHECK_HR(Uninstall(opened.Get(), key.keys));
  }
  return S_OK;
}

HRESULT RootKey(const std::u16string& name, HKEY classesRoot, HKEY& out) {
  if (SameWord(name, u"HKCR") || SameWord(name, u"HKEY_CLASSES_ROOT")) {
    out = classesRoot;
  } else if (SameWord(name, u"HKCU") || SameWord(name, u"HKEY_CURRENT_USER")) {
    out = HKEY_CURRENT_USER;
  } else if (SameWord(name, u"HKLM") || SameWord(name, u"HKEY_LOCAL_MACHINE")) {
    out = HKEY_LOCAL_MACHINE;
  } else if (SameWord(name, u"HKU") || SameWord(name, u"HKEY_USERS")) {
    out = HKEY_USERS;
  } else {
    return E_INVALIDARG;
  }
  return S_OK;
}

}  // namespace

HRESULT ParseRegistryScript(std::u16string_view text, const Replacements& replacements,
                            std::vector<ScriptRoot>& out, std::string& error) {
  Parser parser(text, replacements);
  std::vector<ScriptRoot> roots;
  if (!parser.Script(roots)) {
    error = parser.error();
    return E_INVALIDARG;
  }
  out = std::move(roots);
  return S_OK;
}

HRESULT ApplyRegistryScript(const std::vector<ScriptRoot>& script, bool install, HKEY classesRoot) {
  for (const ScriptRoot& root : script) {
    HKEY key = nullptr;
    VM_CHECK_HR(RootKey(root.name, classesRoot, key));
    VM_CHECK_HR(install ? Install(key, root.keys) : Uninstall(key, root.keys));
  }
  return S_OK;
}

}  // namespace veilmark::com
