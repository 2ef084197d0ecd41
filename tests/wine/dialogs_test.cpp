// The login dialogs as real Win32 modal dialogs (under Xvfb): the module's
// templates, the controllers' validation, what closes them. The modal loop
// runs a thread timer that acts as the user, one step per tick; message
// boxes go to a recording UI, never a real box.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/com_object_win32.h"
#include "base/wchar_win32.h"
#include "fake_outlook.h"
#include "login/dialogs/extra_password_dialog.h"
#include "login/dialogs/forgot_password_dialog.h"
#include "login/dialogs/login_method_dialog.h"
#include "login/dialogs/openid_dialog.h"
#include "login/dialogs/provider_login_dialog.h"
#include "login/dialogs/register_dialog.h"
#include "login/dialogs/veilmark_login_dialog.h"
#include "scripted_user.h"
#include "ui/browser_document_win32.h"
#include "ui/ui.h"

namespace veilmark::wine_tests {
namespace {

// Records message boxes; dialogs are the platform's own.
class BoxRecorder final : public Ui {
 public:
  void ShowMessage(const std::u16string&, const std::u16string& text) override {
    messages.push_back(text);
  }
  WindowRef ForegroundWindow() override { return 0; }
  int ShowDialog(DialogController& dialog, WindowRef owner) override {
    return MakePlatformUi({})->ShowDialog(dialog, owner);
  }
  std::vector<std::u16string> messages;
};

class Win32Dialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(VM_TRY_HR(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override { CoUninitialize(); }

  BoxRecorder boxes_;
};

// Where the template put each control the controller names, against where
// the controller says it is; the differences, as text.
std::vector<std::string> Differences(HWND dialog, const DialogTemplate& layout) {
  std::vector<std::string> differences;
  const std::string name = std::to_string(layout.resourceId);
  if (WindowText(dialog) != std::wstring(layout.caption.begin(), layout.caption.end())) {
    differences.push_back(name + ": caption");
  }
  for (const DialogControl& control : layout.controls) {
    if (control.id == kNoControlId) continue;
    const std::string which = name + "/" + std::to_string(control.id);
    HWND item = GetDlgItem(dialog, control.id);
    if (!item) {
      differences.push_back(which + ": missing");
      continue;
    }
    // The dialog manager converts position and size each on its own.
    RECT units{control.x, control.y, control.width, control.height};
    MapDialogRect(dialog, &units);
    RECT actual{};
    GetWindowRect(item, &actual);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
    const RECT expected{units.left, units.top, units.left + units.right, units.top + units.bottom};
    if (!EqualRect(&expected, &actual)) {
      differences.push_back(which + ": at " + std::to_string(actual.left) + "," +
                            std::to_string(actual.top) + " " +
                            std::to_string(actual.right - actual.left) + "x" +
                            std::to_string(actual.bottom - actual.top));
    }
  }
  return differences;
}

TEST_F(Win32Dialogs, EveryTemplateHoldsItsControllersControlsInPlace) {
  LoginMethodDialog form;
  OpenIdDialog openid(u"about:blank");
  RegisterDialog registration(u"", u"about:blank");
  ProviderLoginDialog live;
  ExtraPasswordDialog extra;
  VeilmarkLoginDialog login(u"");
  ForgotPasswordDialog forgot(u"", u"");
  DialogController* dialogs[] = {&form, &openid, &registration, &live, &extra, &login, &forgot};
  std::vector<int> shown;
  for (DialogController* dialog : dialogs) {
    std::vector<std::string> differences{"not shown"};
    ScriptedUser user({CloseWindow()});
    user.look = [&](HWND window) { differences = Differences(window, dialog->Template()); };
    EXPECT_EQ(MakePlatformUi({})->ShowDialog(*dialog, 0), kIdCancel);
    EXPECT_EQ(differences, std::vector<std::string>{}) << dialog->Template().resourceId;
    shown.push_back(dialog->Template().resourceId);
  }
  EXPECT_EQ(shown, (std::vector<int>{107, 108, 109, 110, 111, 112, 113}));
}

TEST_F(Win32Dialogs, LoginFormShowsItsHeadingBoldAndFiveImageButtons) {
  LoginMethodDialog form;
  ScriptedUser user({Click(LoginMethodDialog::kYahoo)});
  std::wstring caption;
  LONG headingWeight = 0, textWeight = 0;
  int images = 0;
  HGDIOBJ heading = nullptr, image = nullptr;
  user.look = [&](HWND dialog) {
    caption = WindowText(dialog);
    LOGFONTW font{};
    heading = reinterpret_cast<HGDIOBJ>(SendDlgItemMessageW(dialog, 209, WM_GETFONT, 0, 0));
    GetObjectW(heading, sizeof font, &font);
    headingWeight = font.lfWeight;
    image = reinterpret_cast<HGDIOBJ>(
        SendDlgItemMessageW(dialog, LoginMethodDialog::kGmail, BM_GETIMAGE, IMAGE_BITMAP, 0));
    GetObjectW(reinterpret_cast<HFONT>(SendDlgItemMessageW(dialog, kIdCancel, WM_GETFONT, 0, 0)),
               sizeof font, &font);
    textWeight = font.lfWeight;
    for (int id :
         {LoginMethodDialog::kGmail, LoginMethodDialog::kYahoo, LoginMethodDialog::kHotmail,
          LoginMethodDialog::kAol, LoginMethodDialog::kOther}) {
      if (SendDlgItemMessageW(dialog, id, BM_GETIMAGE, IMAGE_BITMAP, 0) != 0) ++images;
    }
  };
  EXPECT_EQ(form.Show(boxes_, 0), LoginMethodDialog::kYahoo);
  EXPECT_EQ(caption, L"Login Or Sign Up");
  EXPECT_EQ(headingWeight, FW_BOLD);
  EXPECT_LT(textWeight, FW_BOLD);
  EXPECT_EQ(images, 5);
  // The dialog's own font and images went with it.
  LOGFONTW gone{};
  EXPECT_EQ(GetObjectW(heading, sizeof gone, &gone), 0);
  BITMAP goneImage{};
  EXPECT_EQ(GetObjectW(image, sizeof goneImage, &goneImage), 0);
  EXPECT_TRUE(form.yahoo);
  EXPECT_FALSE(form.gmail || form.hotmail || form.aol || form.cancelled);
  EXPECT_TRUE(boxes_.messages.empty());
}

TEST_F(Win32Dialogs, ClosingTheWindowIsCancel) {
  LoginMethodDialog form;
  ScriptedUser user({CloseWindow()});
  EXPECT_EQ(form.Show(boxes_, 0), kIdCancel);
  EXPECT_TRUE(form.cancelled);

  ExtraPasswordDialog extra;
  ScriptedUser escape({[](HWND dialog) {
    SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    return true;
  }});
  EXPECT_EQ(extra.Show(boxes_, 0), kIdCancel);
  EXPECT_TRUE(extra.cancelled);
}

TEST_F(Win32Dialogs, VeilmarkLoginValidatesThenClosesWithItsFields) {
  VeilmarkLoginDialog login(u"ann@example.org");
  std::wstring prefilled;
  ScriptedUser user({Type(VeilmarkLoginDialog::kEmail, L""), Click(kIdOk),
                     Type(VeilmarkLoginDialog::kEmail, L"bob@example.org"),
                     Type(VeilmarkLoginDialog::kPassword, L"p\u00e4ss word"), Click(kIdOk)});
  user.look = [&](HWND dialog) {
    prefilled = WindowText(GetDlgItem(dialog, VeilmarkLoginDialog::kEmail));
  };
  EXPECT_EQ(login.Show(boxes_, 0), kIdOk);
  EXPECT_EQ(prefilled, L"ann@example.org");
  // The empty form stayed open with a message; the filled one closed.
  ASSERT_EQ(boxes_.messages.size(), 1u);
  EXPECT_EQ(user.done(), 5u);
  EXPECT_EQ(login.email, u"bob@example.org");
  EXPECT_EQ(login.password, u"p\u00e4ss word");
  EXPECT_FALSE(login.cancelled);
}

TEST_F(Win32Dialogs, VeilmarkLoginOtherWaysOut) {
  VeilmarkLoginDialog forgot(u"a@example.org");
  ScriptedUser first({Click(VeilmarkLoginDialog::kForgot)});
  EXPECT_EQ(forgot.Show(boxes_, 0), VeilmarkLoginDialog::kForgot);
  EXPECT_TRUE(forgot.forgot);

  VeilmarkLoginDialog signup(u"a@example.org");
  ScriptedUser second({Click(VeilmarkLoginDialog::kSignup)});
  EXPECT_EQ(signup.Show(boxes_, 0), VeilmarkLoginDialog::kSignup);
  EXPECT_TRUE(signup.signup);
}

TEST_F(Win32Dialogs, LiveAndExtraPasswordAskUntilFilled) {
  ProviderLoginDialog live;
  ScriptedUser user({Click(kIdOk), Type(ProviderLoginDialog::kEmail, L"c@example.org"),
                     Click(kIdOk), Type(ProviderLoginDialog::kPassword, L"pw"), Click(kIdOk)});
  EXPECT_EQ(live.Show(boxes_, 0), kIdOk);
  EXPECT_EQ(boxes_.messages.size(), 2u);  // nothing filled, then no password
  EXPECT_EQ(live.email, u"c@example.org");
  EXPECT_EQ(live.password, u"pw");

  boxes_.messages.clear();
  ExtraPasswordDialog extra;
  ScriptedUser again({Click(kIdOk), Type(ExtraPasswordDialog::kPassword, L"second"), Click(kIdOk)});
  EXPECT_EQ(extra.Show(boxes_, 0), kIdOk);
  ASSERT_EQ(boxes_.messages.size(), 1u);
  EXPECT_EQ(boxes_.messages[0], u"Please specify the additional password for the login");
  EXPECT_EQ(extra.password, u"second");
}

TEST_F(Win32Dialogs, ForgotShowsTheQuestionAndTakesTheAnswer) {
  ForgotPasswordDialog forgot(u"d@example.org", u"First pet?");
  std::wstring question;
  ScriptedUser user(
      {Click(kIdOk), Type(ForgotPasswordDialog::kSecurityAnswer, L"Rex"), Click(kIdOk)});
  user.look = [&](HWND dialog) {
    question = WindowText(GetDlgItem(dialog, ForgotPasswordDialog::kSecurityQuestion));
  };
  EXPECT_EQ(forgot.Show(boxes_, 0), kIdOk);
  EXPECT_EQ(question, L"First pet?");
  EXPECT_EQ(boxes_.messages.size(), 1u);
  EXPECT_EQ(forgot.securityAnswer, u"Rex");
}

TEST_F(Win32Dialogs, BrowserDialogsLoadWithTheirControl) {
  OpenIdDialog openid(u"about:blank");
  std::wstring caption, hostClass;
  ScriptedUser user({CloseWindow()});
  user.look = [&](HWND dialog) {
    caption = WindowText(dialog);
    wchar_t name[32] = {};
    GetClassNameW(GetDlgItem(dialog, OpenIdDialog::kBrowser), name, 32);
    hostClass = name;
  };
  EXPECT_EQ(openid.Show(boxes_, 0), kIdCancel);
  EXPECT_EQ(caption, L"Provider Login");
  EXPECT_EQ(hostClass, L"AtlAxWin");
  EXPECT_FALSE(openid.reply);  // abandoned: no reply

  RegisterDialog registration(u"e@example.org", u"about:blank");
  ScriptedUser second({Click(kIdOk), CloseWindow()});
  EXPECT_EQ(registration.Show(boxes_, 0), kIdCancel);
  EXPECT_EQ(boxes_.messages.size(), 1u);  // the empty form was refused
  EXPECT_TRUE(registration.cancelled);
}

// A loaded document as MSHTML's persists itself: its source into a stream.
class FakeDocument : public IPersistStreamInit {
 public:
  static const com::InterfaceEntry<FakeDocument>* Interfaces() {
    static const com::InterfaceEntry<FakeDocument> table[] = {
        com::Entry<FakeDocument, IPersistStreamInit>(IID_IPersistStreamInit),
        {nullptr, nullptr},
    };
    return table;
  }
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE Load(IStream*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Save(IStream* stream, BOOL) override {
    if (!VM_TRY_HR(failure_)) return failure_;
    ULONG written = 0;
    return stream->Write(source_.data(), static_cast<ULONG>(source_.size()), &written);
  }
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InitNew() override { return S_OK; }

 protected:
  FakeDocument(std::string source, HRESULT failure)
      : source_(std::move(source)), failure_(failure) {}
  virtual ~FakeDocument() = default;

 private:
  std::string source_;
  HRESULT failure_;
};

com::ComPtr<IUnknown> MakeDocument(std::string source, HRESULT failure = S_OK) {
  com::ComPtr<IUnknown> document;
  EXPECT_EQ(com::ComObject<FakeDocument>::Create(nullptr, IID_IUnknown, document.PutVoid(),
                                                 std::move(source), failure),
            S_OK);
  return document;
}

TEST_F(Win32Dialogs, DocumentSourceIsWhatTheDocumentSaves) {
  const std::string json = "{\"statusCode\":\"OK\",\"sessionId\":\"s\u00e9\"}";
  EXPECT_EQ(SaveDocumentSource(MakeDocument(json).Get()), json);
  // Larger than the stream's first block, with NULs kept.
  const std::string big = std::string(100000, 'x') + std::string(3, '\0') + "end";
  EXPECT_EQ(SaveDocumentSource(MakeDocument(big).Get()), big);
  EXPECT_EQ(SaveDocumentSource(MakeDocument("").Get()), std::string());
  EXPECT_EQ(SaveDocumentSource(MakeDocument("x", E_ACCESSDENIED).Get()), std::nullopt);
  EXPECT_EQ(SaveDocumentSource(nullptr), std::nullopt);
  // Not a document that can save itself.
  FakePtr plain = FakeDispatch::Make();
  EXPECT_EQ(SaveDocumentSource(Disp(plain)), std::nullopt);
}

}  // namespace
}  // namespace veilmark::wine_tests
