#include "login/login_flow.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "api/api_client.h"
#include "base/text.h"
#include "login/dialogs/extra_password_dialog.h"
#include "login/dialogs/forgot_password_dialog.h"
#include "login/dialogs/login_method_dialog.h"
#include "login/dialogs/openid_dialog.h"
#include "login/dialogs/provider_login_dialog.h"
#include "login/dialogs/register_dialog.h"
#include "login/dialogs/veilmark_login_dialog.h"
#include "ui/error_box.h"
#include "ui/ui.h"
#include "ui/wait.h"

namespace veilmark {
namespace {

constexpr char16_t kSignupDone[] =
    u"Signup was successful.\nYou will receive a confirmation email shortly which includes a "
    u"verification link.\nPlease follow the link to complete your registration and try to login "
    u"again.";
constexpr char16_t kResetDone[] =
    u"Password reset was successful.\nYou will receive a reset password email shortly.";
constexpr char16_t kNoUserDetails[] =
    u"Could not get user details.\nPlease contact veilmark support at ";
constexpr char16_t kAccountMismatch[] =
    u"Please make sure you login with the same account as the email you are trying to "
    u"decrypt.\nYou might have aliases to your account which you can configure by:\n1. Browsing "
    u"to Veilmark Online\n2. Logging in with your primary account\n3. Clicking on the Settings "
    u"icon\n4. Adding your alias - you will receive a verification link in your email";
constexpr char16_t kLoggingInNotice[] = u"Logging in\u2026";

enum class Method { kGmail, kYahoo, kHotmail, kAol, kOther };

// How one attempt ended: with a result, or with the chooser shown again.
struct Attempt {
  bool startOver = false;
  std::string result;
};

Attempt Finish(std::string result = {}) {
  return {false, std::move(result)};
}
Attempt StartOver() {
  return {true, {}};
}

class LoginAttempt {
 public:
  LoginAttempt(const std::u16string& account, Ui& ui, ApiClient& api, Waiter& waiter)
      : account_(account), ui_(ui), owner_(ui.ForegroundWindow()), client_(api), waiter_(waiter) {}

  // The user cancelled a call's wait, or the add-in is going.
  bool gaveUp() const { return gaveUp_; }

  Attempt Run() {
    LoginMethodDialog chooser;
    if (chooser.Show(ui_, owner_) == kDialogCannotShow) return Finish();
    if (chooser.cancelled) return Finish();
    if (chooser.gmail) {
      method_ = Method::kGmail;
    } else if (chooser.yahoo) {
      method_ = Method::kYahoo;
    } else if (chooser.hotmail) {
      method_ = Method::kHotmail;
    } else if (chooser.aol) {
      method_ = Method::kAol;
    }

    std::optional<Reply> reply;
    switch (method_) {
      case Method::kGmail:
      case Method::kYahoo:
        reply = OpenIdLogin();
        break;
      case Method::kHotmail:
      case Method::kAol:
        reply = ProviderLogin();
        break;
      case Method::kOther:
        reply = ServiceAccountLogin();
        break;
    }
    // No value: a dialog was cancelled. A null reply: nothing came back.
    if (!reply || !*reply) return Finish();
    return HandleReply(std::move(*reply));
  }

 private:
  std::optional<Reply> OpenIdLogin() {
    const bool yahoo = method_ == Method::kYahoo;
    Reply start = Call([&](ApiClient& api) {
      return api.LoginWithOpenId(yahoo ? u"Yahoo" : u"Google", u"",
                                 yahoo ? account_ : std::u16string());
    });
    if (!start || !start->status().isOk()) return start;  // shown as a refusal below
    OpenIdDialog dialog(start->openIdUrl());
    start.reset();
    if (dialog.Show(ui_, owner_) == kDialogCannotShow) return Reply();
    return std::move(dialog.reply);
  }

  std::optional<Reply> ProviderLogin() {
    ProviderLoginDialog dialog;
    if (dialog.Show(ui_, owner_) == kDialogCannotShow) {
      ShowError(ui_, u"Unable to display Hotmail dialog");
      return Reply();
    }
    if (dialog.cancelled) return std::nullopt;
    return Call([&](ApiClient& api) {
      return method_ == Method::kHotmail ? api.LoginWithLive(dialog.email, dialog.password)
                                         : api.LoginWithAol(dialog.email, dialog.password);
    });
  }

  std::optional<Reply> ServiceAccountLogin() {
    VeilmarkLoginDialog dialog(account_);
    if (dialog.Show(ui_, owner_) == kDialogCannotShow) {
      ShowError(ui_, u"Unable to display Veilmark Login dialog");
      return Reply();
    }
    if (dialog.signup) return Signup(dialog.email);
    if (dialog.forgot) return ResetPassword();
    if (dialog.cancelled) return std::nullopt;
    return Call([&](ApiClient& api) { return api.Login(dialog.email, dialog.password); });
  }

  std::optional<Reply> Signup(const std::u16string& email) {
    std::string tempSessionId;
    std::u16string captchaUrl;
    Reply temp = Call([](ApiClient& api) { return api.GetTempSession(); });
    if (!temp) return Reply();
    if (temp->status().isOk()) {
      tempSessionId = temp->sessionId();
      captchaUrl = u"http://" + client_.endpoint().authority() + u"/captcha?sessionId=" +
                   Utf8ToWide(tempSessionId);
    }
    temp.reset();
    if (captchaUrl.empty()) {
      ShowError(ui_, u"Unable to retrieve CAPTCHA image from server");
      return Reply();
    }
    RegisterDialog dialog(email, captchaUrl);
    if (dialog.Show(ui_, owner_) == kDialogCannotShow) {
      ShowError(ui_, u"Unable to display Register dialog");
      return Reply();
    }
    if (dialog.cancelled) return std::nullopt;
    signup_ = true;
    return Call([&](ApiClient& api) {
      return api.RegisterUser(tempSessionId, dialog.email, dialog.password, dialog.securityQuestion,
                              dialog.securityAnswer, dialog.captcha);
    });
  }

  std::optional<Reply> ResetPassword() {
    Reply question = Call([&](ApiClient& api) { return api.RetrieveSecurityQuestion(account_); });
    if (!question) return Reply();
    if (!question->status().isOk()) {
      ShowError(ui_, u"Unable to retrieve the security question");
      return Reply();
    }
    ForgotPasswordDialog dialog(account_, question->securityQuestion());
    if (dialog.Show(ui_, owner_) == kDialogCannotShow) {
      ShowError(ui_, u"Unable to display Forgot Password dialog");
      return Reply();
    }
    if (dialog.cancelled) return std::nullopt;
    reset_ = true;
    return Call([&](ApiClient& api) {
      return api.ResetPassword(dialog.email, dialog.securityQuestion, dialog.securityAnswer);
    });
  }

  Attempt HandleReply(Reply reply) {
    if (reply->status().isExtraPass()) {
      std::string sessionId = reply->sessionId();
      reply.reset();
      // The service appends the marker to the id it wants back; an id that
      // is nothing but the marker goes back whole.
      const std::size_t marker = sessionId.find("-extPas");
      if (marker != std::string::npos && marker > 0) sessionId.resize(marker);
      ExtraPasswordDialog dialog;
      if (dialog.Show(ui_, owner_) == kDialogCannotShow) {
        ShowError(ui_, u"Unable to display additional password dialog");
        return Finish();
      }
      if (dialog.cancelled) return Finish();
      reply = Call([&](ApiClient& api) { return api.ExtraPassword(sessionId, dialog.password); });
      if (!reply) return Finish();
    }

    if (!reply->status().isOk()) {
      ShowError(ui_, reply->status().describe());
      return StartOver();
    }
    if (signup_) {
      ShowError(ui_, kSignupDone);
      return Finish();
    }
    if (reset_) {
      ShowError(ui_, kResetDone);
      return Finish();
    }
    if (reply->users().size() != 1) {
      ShowError(ui_, std::u16string(kNoUserDetails) + kSupportAddress);
      return Finish();
    }
    const VeilmarkUser& user = reply->users().front();
    if (method_ == Method::kHotmail || AccountMatches(user, reply->sessionId())) {
      return Finish(reply->sessionId());
    }
    if (gaveUp_) return Finish();
    ShowError(ui_, kAccountMismatch, 0,
              u"Logged in user is: " + user.email + u", Email user is: " + account_);
    return StartOver();  // that login's session is dropped without logging out
  }

  bool AccountMatches(const VeilmarkUser& user, const std::string& sessionId) {
    const bool google = IsGoogleUser(user);
    const std::u16string cleanAccount = google ? CleanAccount(account_) : account_;
    const std::u16string userCleanAccount = google ? CleanAccount(user.email) : user.email;
    if (cleanAccount == userCleanAccount) return true;
    Reply aliases = Call([&](ApiClient& api) { return api.CurrentUserAliases(sessionId); });
    if (!aliases || !aliases->status().isOk()) return false;
    for (const std::u16string& alias : aliases->aliases()) {
      if (alias == cleanAccount || alias == account_) return true;
    }
    return false;
  }

  // Runs one service call on a worker while the UI thread keeps handling its
  // events; the modal dialogs stay as they are. Null when the user
  // cancelled the wait or the add-in is going: the login is given up.
  Reply Call(const std::function<Reply(ApiClient&)>& call) {
    Reply reply;
    const WaitEnd end = waiter_.Run({kLoggingInNotice, 0}, [&](Cancellation& cancel) {
      ApiClient api = client_.Cancellable(cancel);
      reply = call(api);
    });
    if (end == WaitEnd::kDone && reply) return reply;
    gaveUp_ = true;
    return nullptr;
  }

  const std::u16string& account_;
  Ui& ui_;
  WindowRef owner_;
  ApiClient& client_;
  Waiter& waiter_;
  bool gaveUp_ = false;
  Method method_ = Method::kOther;
  bool signup_ = false;
  bool reset_ = false;
};

}  // namespace

std::u16string CleanAccount(const std::u16string& address) {
  const std::size_t at = address.find(u'@');
  if (at == std::u16string::npos) return address;
  std::u16string clean;
  for (std::size_t i = 0; i < at; ++i) {
    if (address[i] != u'.') clean += address[i];
  }
  return clean + address.substr(at);
}

bool IsGoogleUser(const VeilmarkUser& user) {
  return user.registeredFrom == u"GMAIL" || user.registeredFrom == u"GOOGLE_APP";
}

std::string RunLoginFlow(const std::u16string& account, Ui& ui, ApiClient& api, Waiter& waiter) {
  // Each failed attempt shows the chooser again, until the user succeeds or
  // gives up; a loop, so the stack does not grow with every attempt.
  for (;;) {
    LoginAttempt login(account, ui, api, waiter);
    Attempt attempt = login.Run();
    if (login.gaveUp()) return {};
    if (!attempt.startOver) return attempt.result;
  }
}

}  // namespace veilmark
