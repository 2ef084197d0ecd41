// The interactive login against a scripted service on loopback HTTPS, with
// every dialog answered by a script.
#include "login/login_flow.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "api/api_endpoint.h"
#include "base/text.h"
#include "login/dialogs/extra_password_dialog.h"
#include "login/dialogs/forgot_password_dialog.h"
#include "login/dialogs/login_method_dialog.h"
#include "login/dialogs/openid_dialog.h"
#include "login/dialogs/provider_login_dialog.h"
#include "login/dialogs/register_dialog.h"
#include "login/dialogs/veilmark_login_dialog.h"
#include "login/session_call.h"
#include "support/recording_ui.h"
#include "support/scripted_service.h"
#include "support/temp_data_home.h"

namespace veilmark {
namespace {

using testing::Click;
using testing::DialogScript;
using testing::Document;
using testing::Type;

using testing::DescribeStatus;
using testing::OkLoginReply;
using testing::StatusReply;

const char kAccount[] = "joe@example.org";
const char16_t kWideAccount[] = u"joe@example.org";

class LoginFlowTest : public ::testing::Test {
 protected:
  LoginFlowTest() = default;

  void Answer(const std::string& command, const std::string& json) {
    service_.Answer(command, json);
  }
  void Dialog(int resourceId, std::vector<testing::DialogStep> steps) {
    ui_.scripts.push_back(DialogScript{resourceId, std::move(steps)});
  }
  void CannotShow(int resourceId) { ui_.scripts.push_back(DialogScript{resourceId, {}, true}); }
  void Choose(int button) { Dialog(LoginMethodDialog::kResourceId, {Click(button)}); }
  void ChooseCancel() { Choose(kIdCancel); }

  std::vector<std::string> Commands() const { return service_.Commands(); }
  std::map<std::string, std::string> Params(std::size_t index) const {
    return service_.Params(index);
  }
  std::vector<std::u16string> Messages() const { return ui_.messages(); }
  std::u16string Describe(const std::string& code) const { return DescribeStatus(code); }

  testing::TempDataHome home_;
  testing::ScriptedService service_;
  testing::RecordingUi ui_;
  SessionStore sessions_;
  testing::ServicesOver services_{service_, ui_, sessions_};
};

// ---- the chooser ----

TEST_F(LoginFlowTest, ChooserThatCannotBeShownEndsSilently) {
  CannotShow(LoginMethodDialog::kResourceId);
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");
  EXPECT_TRUE(Commands().empty());
  EXPECT_TRUE(Messages().empty());
}

TEST_F(LoginFlowTest, ChooserCancelledEndsSilently) {
  ChooseCancel();
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");
  EXPECT_TRUE(Commands().empty());
  EXPECT_TRUE(Messages().empty());
  EXPECT_EQ(ui_.owners, std::vector<WindowRef>{0x1234});
}

// ---- OpenID ----

TEST_F(LoginFlowTest, GmailFollowsTheProviderToTheFinalPage) {
  Choose(LoginMethodDialog::kGmail);
  Answer("login-with-open-id",
         R"({"status":{"statusCode":"OK"},"openIdUrl":"https://id.example/start?x=1"})");
  Dialog(OpenIdDialog::kResourceId,
         {Document(OpenIdDialog::kBrowser, "<html>provider page</html>"),
          Document(OpenIdDialog::kBrowser, OkLoginReply("open-s", "j.o.e@example.org", "GMAIL"))});
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()),
            "open-s");  // dots do not count for Google users
  EXPECT_EQ(Commands(), std::vector<std::string>{"login-with-open-id"});
  EXPECT_EQ(Params(0), (std::map<std::string, std::string>{
                           {"provider", "Google"}, {"forcePassword", "true"}, {"json", "true"}}));
  EXPECT_EQ(ui_.dialogs.at(1).navigations,
            std::vector<std::u16string>{u"https://id.example/start?x=1"});
  EXPECT_TRUE(Messages().empty());
}

TEST_F(LoginFlowTest, YahooSendsTheAccountAddress) {
  Choose(LoginMethodDialog::kYahoo);
  Answer("login-with-open-id", R"({"status":{"statusCode":"OK"},"openIdUrl":"https://y/"})");
  Dialog(OpenIdDialog::kResourceId,
         {Document(OpenIdDialog::kBrowser, OkLoginReply("y-s", kAccount))});
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "y-s");
  EXPECT_EQ(Params(0).at("provider"), "Yahoo");
  EXPECT_EQ(Params(0).at("yahooEmail"), kAccount);
}

TEST_F(LoginFlowTest, FailedOpenIdStartIsShownAndTheChooserComesBack) {
  Choose(LoginMethodDialog::kGmail);
  Answer("login-with-open-id", StatusReply("PROVIDER_DOWN"));
  ChooseCancel();
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");
  EXPECT_EQ(Messages(), std::vector<std::u16string>{Describe("PROVIDER_DOWN")});
  EXPECT_EQ(ui_.dialogs.size(), 2u);
}

TEST_F(LoginFlowTest, OpenIdClosedWithoutAFinalPageEndsSilently) {
  Choose(LoginMethodDialog::kGmail);
  Answer("login-with-open-id", R"({"status":{"statusCode":"OK"},"openIdUrl":"https://g/"})");
  Dialog(OpenIdDialog::kResourceId,
         {Document(OpenIdDialog::kBrowser, " {\"not\":\"final\"}"), Click(kIdCancel)});
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");
  EXPECT_TRUE(Messages().empty());
}

TEST_F(LoginFlowTest, OpenIdDialogThatCannotBeShownEndsSilently) {
  Choose(LoginMethodDialog::kGmail);
  Answer("login-with-open-id", R"({"status":{"statusCode":"OK"},"openIdUrl":"https://g/"})");
  CannotShow(OpenIdDialog::kResourceId);
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");
  EXPECT_TRUE(Messages().empty());
}

// ---- provider credentials ----

TEST_F(LoginFlowTest, HotmailSkipsTheAccountCheck) {
  Choose(LoginMethodDialog::kHotmail);
  Dialog(ProviderLoginDialog::kResourceId,
         {Type(ProviderLoginDialog::kEmail, u"someone@hotmail.example"),
          Type(ProviderLoginDialog::kPassword, u"pässword"), Click(kIdOk)});
  Answer("login-with-live", OkLoginReply("live-s", "someone.else@hotmail.example"));
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "live-s");
  EXPECT_EQ(Commands(), std::vector<std::string>{"login-with-live"});
  EXPECT_EQ(Params(0).at("email"), "someone@hotmail.example");
  EXPECT_EQ(Params(0).at("password"), "p\xC3\xA4ssword");
}

TEST_F(LoginFlowTest, AolIsCheckedAndMatchesThroughAnAlias) {
  Choose(LoginMethodDialog::kAol);
  Dialog(ProviderLoginDialog::kResourceId,
         {Type(ProviderLoginDialog::kEmail, u"me@aol.example"),
          Type(ProviderLoginDialog::kPassword, u"pw"), Click(kIdOk)});
  Answer("login-with-aol", OkLoginReply("aol-s", "me@aol.example"));
  Answer("curr-user-aliases",
         R"({"status":{"statusCode":"OK"},"aliases":["other@x.org","joe@example.org"]})");
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "aol-s");
  EXPECT_EQ(Commands(), (std::vector<std::string>{"login-with-aol", "curr-user-aliases"}));
  EXPECT_EQ(Params(1).at("sessionId"), "aol-s");
}

TEST_F(LoginFlowTest, MismatchIsExplainedAndTheChooserComesBack) {
  Choose(LoginMethodDialog::kAol);
  Dialog(ProviderLoginDialog::kResourceId,
         {Type(ProviderLoginDialog::kEmail, u"me@aol.example"),
          Type(ProviderLoginDialog::kPassword, u"pw"), Click(kIdOk)});
  Answer("login-with-aol", OkLoginReply("aol-s", "Me@AOL.example"));
  Answer("curr-user-aliases", R"({"status":{"statusCode":"OK"},"aliases":["x@y.z"]})");
  ChooseCancel();
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");
  ASSERT_EQ(ui_.boxes.size(), 1u);
  const std::u16string text = ui_.boxes[0].text;
  EXPECT_EQ(text.rfind(u"Please make sure you login with the same account as the email you are "
                       u"trying to decrypt.\nYou might have aliases",
                       0),
            0u);
  EXPECT_NE(text.find(u"4. Adding your alias - you will receive a verification link in your "
                      u"email\nAdditional info: Logged in user is: Me@AOL.example, Email user "
                      u"is: joe@example.org"),
            std::u16string::npos);
}

TEST_F(LoginFlowTest, ProviderDialogThatCannotBeShownSaysHotmailEvenForAol) {
  Choose(LoginMethodDialog::kAol);
  CannotShow(ProviderLoginDialog::kResourceId);
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");
  EXPECT_EQ(Messages(), std::vector<std::u16string>{u"Unable to display Hotmail dialog"});
}

TEST_F(LoginFlowTest, ProviderDialogCancelledEndsSilently) {
  Choose(LoginMethodDialog::kHotmail);
  Dialog(ProviderLoginDialog::kResourceId, {Click(kIdCancel)});
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");
  EXPECT_TRUE(Commands().empty());
  EXPECT_TRUE(Messages().empty());
}

// ---- service account ----

TEST_F(LoginFlowTest, ServiceAccountLoginStartsWithTheAccountAddress) {
  Choose(LoginMethodDialog::kOther);
  Dialog(VeilmarkLoginDialog::kResourceId,
         {Type(VeilmarkLoginDialog::kPassword, u"secret"), Click(kIdOk)});
  Answer("login", OkLoginReply("svc-s", kAccount));
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "svc-s");
  EXPECT_EQ(ui_.dialogs.at(1).initialTexts.at(VeilmarkLoginDialog::kEmail), kWideAccount);
  EXPECT_EQ(Params(0).at("email"), kAccount);
  EXPECT_EQ(Params(0).at("password"), "secret");
  EXPECT_EQ(Commands(), std::vector<std::string>{"login"});  // same address: no alias lookup
}

TEST_F(LoginFlowTest, RefusedLoginIsShownThenASecondAttemptSucceeds) {
  Choose(LoginMethodDialog::kOther);
  Dialog(VeilmarkLoginDialog::kResourceId,
         {Type(VeilmarkLoginDialog::kPassword, u"wrong"), Click(kIdOk)});
  Answer("login", StatusReply("BAD_PASSWORD"));
  Choose(LoginMethodDialog::kOther);
  Dialog(VeilmarkLoginDialog::kResourceId,
         {Type(VeilmarkLoginDialog::kPassword, u"right"), Click(kIdOk)});
  Answer("login", OkLoginReply("second", kAccount));
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "second");
  EXPECT_EQ(Messages(), std::vector<std::u16string>{Describe("BAD_PASSWORD")});
  EXPECT_EQ(ui_.owners.size(), 4u);
}

TEST_F(LoginFlowTest, ManyFailedAttemptsDoNotExhaustAnything) {
  constexpr int kAttempts = 50;
  for (int i = 0; i < kAttempts; ++i) {
    Choose(LoginMethodDialog::kHotmail);
    Dialog(ProviderLoginDialog::kResourceId,
           {Type(ProviderLoginDialog::kEmail, u"a@b"), Type(ProviderLoginDialog::kPassword, u"p"),
            Click(kIdOk)});
    Answer("login-with-live", StatusReply("NOPE"));
  }
  ChooseCancel();
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");
  EXPECT_EQ(Messages().size(), static_cast<std::size_t>(kAttempts));
}

TEST_F(LoginFlowTest, UnreachableServiceIsShownAsAClientError) {
  const auto exchange = MakePlatformHttpExchange();
  ApiClient unreachable(*exchange,
                        ApiEndpoint{u"localhost", 1, testing::LoopbackCertificates().caFile});
  Choose(LoginMethodDialog::kOther);
  Dialog(VeilmarkLoginDialog::kResourceId,
         {Type(VeilmarkLoginDialog::kPassword, u"pw"), Click(kIdOk)});
  ChooseCancel();
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, unreachable, services_.waiter()), "");
  ASSERT_EQ(Messages().size(), 1u);
  EXPECT_EQ(Messages()[0], u"Status code is: CLIENT_ERROR\nMessage: Unable to send request - 7");
}

TEST_F(LoginFlowTest, ServiceAccountDialogProblems) {
  Choose(LoginMethodDialog::kOther);
  CannotShow(VeilmarkLoginDialog::kResourceId);
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");
  EXPECT_EQ(Messages(), std::vector<std::u16string>{u"Unable to display Veilmark Login dialog"});

  Choose(LoginMethodDialog::kOther);
  Dialog(VeilmarkLoginDialog::kResourceId, {Click(kIdCancel)});
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");
  EXPECT_TRUE(Commands().empty());
}

// ---- registration ----

TEST_F(LoginFlowTest, SignupRegistersWithTheCaptchaButNeverYieldsASession) {
  Choose(LoginMethodDialog::kOther);
  Dialog(VeilmarkLoginDialog::kResourceId,
         {Type(VeilmarkLoginDialog::kEmail, u"typed@x.org"), Click(VeilmarkLoginDialog::kSignup)});
  Answer("get-temp-session", R"({"status":{"statusCode":"OK"},"sessionId":"tmp-1"})");
  Dialog(RegisterDialog::kResourceId, {Type(RegisterDialog::kPassword, u"password1"),
                                       Type(RegisterDialog::kRepeatPassword, u"password1"),
                                       Type(RegisterDialog::kSecurityQuestion, u"First pet?"),
                                       Type(RegisterDialog::kSecurityAnswer, u"Rex the dog"),
                                       Type(RegisterDialog::kCaptcha, u"XY12"), Click(kIdOk)});
  Answer("register", OkLoginReply("reg-s", kAccount));
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");
  EXPECT_EQ(Commands(), (std::vector<std::string>{"get-temp-session", "register"}));
  EXPECT_EQ(Params(0), (std::map<std::string, std::string>{{"json", "true"}}));
  const auto registered = Params(1);
  EXPECT_EQ(registered.at("sessionId"), "tmp-1");
  EXPECT_EQ(registered.at("email"), kAccount);  // Signup reads no field of the login dialog
  EXPECT_EQ(registered.at("captcha"), "XY12");
  EXPECT_EQ(registered.at("securityQuestion"), "First pet?");
  const auto& shown = ui_.dialogs.at(2);
  EXPECT_EQ(shown.initialTexts.at(RegisterDialog::kEmail), kWideAccount);
  EXPECT_EQ(shown.navigations,
            std::vector<std::u16string>{u"http://localhost:" + IntToWide(service_.port()) +
                                        u"/captcha?sessionId=tmp-1"});
  EXPECT_EQ(Messages(), std::vector<std::u16string>{
                            u"Signup was successful.\nYou will receive a confirmation email "
                            u"shortly which includes a verification link.\nPlease follow the "
                            u"link to complete your registration and try to login again."});
}

TEST_F(LoginFlowTest, SignupWithoutATemporarySession) {
  Choose(LoginMethodDialog::kOther);
  Dialog(VeilmarkLoginDialog::kResourceId, {Click(VeilmarkLoginDialog::kSignup)});
  Answer("get-temp-session", StatusReply("BUSY"));
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");
  EXPECT_EQ(Messages(),
            std::vector<std::u16string>{u"Unable to retrieve CAPTCHA image from server"});
}

TEST_F(LoginFlowTest, RegisterDialogCancelledOrNotShown) {
  Choose(LoginMethodDialog::kOther);
  Dialog(VeilmarkLoginDialog::kResourceId, {Click(VeilmarkLoginDialog::kSignup)});
  Answer("get-temp-session", R"({"status":{"statusCode":"OK"},"sessionId":"t"})");
  Dialog(RegisterDialog::kResourceId, {Click(kIdCancel)});
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");
  EXPECT_TRUE(Messages().empty());

  Choose(LoginMethodDialog::kOther);
  Dialog(VeilmarkLoginDialog::kResourceId, {Click(VeilmarkLoginDialog::kSignup)});
  Answer("get-temp-session", R"({"status":{"statusCode":"OK"},"sessionId":"t"})");
  CannotShow(RegisterDialog::kResourceId);
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");
  EXPECT_EQ(Messages(), std::vector<std::u16string>{u"Unable to display Register dialog"});
  EXPECT_EQ(Commands(), (std::vector<std::string>{"get-temp-session", "get-temp-session"}));
}

// ---- password reset ----

TEST_F(LoginFlowTest, ResetUsesTheAccountAddressAndNeverYieldsASession) {
  Choose(LoginMethodDialog::kOther);
  Dialog(VeilmarkLoginDialog::kResourceId,
         {Type(VeilmarkLoginDialog::kEmail, u"typed@x.org"), Click(VeilmarkLoginDialog::kForgot)});
  Answer("retrieve-security-q", R"({"status":{"statusCode":"OK"},"securityQuestion":"Pet?"})");
  Dialog(ForgotPasswordDialog::kResourceId,
         {Type(ForgotPasswordDialog::kSecurityAnswer, u"Rex"), Click(kIdOk)});
  Answer("reset-password", R"({"status":{"statusCode":"OK"}})");
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");
  EXPECT_EQ(Commands(), (std::vector<std::string>{"retrieve-security-q", "reset-password"}));
  EXPECT_EQ(Params(0).at("email"), kAccount);
  EXPECT_EQ(Params(1), (std::map<std::string, std::string>{{"email", kAccount},
                                                           {"securityQuestion", "Pet?"},
                                                           {"securityAnswer", "Rex"},
                                                           {"json", "true"}}));
  EXPECT_EQ(ui_.dialogs.at(2).initialTexts.at(ForgotPasswordDialog::kSecurityQuestion), u"Pet?");
  EXPECT_EQ(Messages(), std::vector<std::u16string>{u"Password reset was successful.\nYou will "
                                                    u"receive a reset password email shortly."});
}

TEST_F(LoginFlowTest, ResetProblems) {
  Choose(LoginMethodDialog::kOther);
  Dialog(VeilmarkLoginDialog::kResourceId, {Click(VeilmarkLoginDialog::kForgot)});
  Answer("retrieve-security-q", StatusReply("UNKNOWN_USER"));
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");

  Choose(LoginMethodDialog::kOther);
  Dialog(VeilmarkLoginDialog::kResourceId, {Click(VeilmarkLoginDialog::kForgot)});
  Answer("retrieve-security-q", R"({"status":{"statusCode":"OK"},"securityQuestion":"Q"})");
  CannotShow(ForgotPasswordDialog::kResourceId);
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");

  Choose(LoginMethodDialog::kOther);
  Dialog(VeilmarkLoginDialog::kResourceId, {Click(VeilmarkLoginDialog::kForgot)});
  Answer("retrieve-security-q", R"({"status":{"statusCode":"OK"},"securityQuestion":"Q"})");
  Dialog(ForgotPasswordDialog::kResourceId, {Click(kIdCancel)});
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");

  EXPECT_EQ(Messages(), (std::vector<std::u16string>{u"Unable to retrieve the security question",
                                                     u"Unable to display Forgot Password dialog"}));
  EXPECT_EQ(Commands().size(), 3u);  // no reset was ever sent
}

// ---- additional password ----

TEST_F(LoginFlowTest, ExtraPasswordCutsTheMarkerFromTheSession) {
  // The marker is cut from the id the service wants back; an id that starts
  // with it goes back whole.
  const std::pair<const char*, const char*> cases[] = {{"abc-extPas-123", "abc"},
                                                       {"-extPasXYZ", "-extPasXYZ"}};
  std::size_t request = 1;
  for (const auto& [given, sentBack] : cases) {
    SCOPED_TRACE(given);
    Choose(LoginMethodDialog::kOther);
    Dialog(VeilmarkLoginDialog::kResourceId,
           {Type(VeilmarkLoginDialog::kPassword, u"pw"), Click(kIdOk)});
    Answer("login", StatusReply("EXTRA_PASS", given));
    Dialog(ExtraPasswordDialog::kResourceId,
           {Type(ExtraPasswordDialog::kPassword, u"extra"), Click(kIdOk)});
    Answer("extra-password", OkLoginReply("full-s", kAccount));
    EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "full-s");
    EXPECT_EQ(Params(request).at("sessionId"), sentBack);
    EXPECT_EQ(Params(request).at("password"), "extra");
    request += 2;
  }
  EXPECT_TRUE(Messages().empty());
}

TEST_F(LoginFlowTest, SecondExtraPassIsAnError) {
  Choose(LoginMethodDialog::kOther);
  Dialog(VeilmarkLoginDialog::kResourceId,
         {Type(VeilmarkLoginDialog::kPassword, u"pw"), Click(kIdOk)});
  Answer("login", StatusReply("EXTRA_PASS", "s-extPas"));
  Dialog(ExtraPasswordDialog::kResourceId,
         {Type(ExtraPasswordDialog::kPassword, u"x"), Click(kIdOk)});
  Answer("extra-password", StatusReply("EXTRA_PASS", "s2"));
  ChooseCancel();
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");
  EXPECT_EQ(Messages(), std::vector<std::u16string>{Describe("EXTRA_PASS")});
}

TEST_F(LoginFlowTest, ExtraPasswordDialogCancelledOrNotShown) {
  Choose(LoginMethodDialog::kOther);
  Dialog(VeilmarkLoginDialog::kResourceId,
         {Type(VeilmarkLoginDialog::kPassword, u"pw"), Click(kIdOk)});
  Answer("login", StatusReply("EXTRA_PASS", "s"));
  Dialog(ExtraPasswordDialog::kResourceId, {Click(kIdCancel)});
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");
  EXPECT_TRUE(Messages().empty());

  Choose(LoginMethodDialog::kOther);
  Dialog(VeilmarkLoginDialog::kResourceId,
         {Type(VeilmarkLoginDialog::kPassword, u"pw"), Click(kIdOk)});
  Answer("login", StatusReply("EXTRA_PASS", "s"));
  CannotShow(ExtraPasswordDialog::kResourceId);
  EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");
  EXPECT_EQ(Messages(),
            std::vector<std::u16string>{u"Unable to display additional password dialog"});
}

// ---- the account check ----

TEST_F(LoginFlowTest, NotExactlyOneUserIsReported) {
  for (const char* users : {"[]", R"([{"email":"a"},{"email":"b"}])"}) {
    Choose(LoginMethodDialog::kOther);
    Dialog(VeilmarkLoginDialog::kResourceId,
           {Type(VeilmarkLoginDialog::kPassword, u"pw"), Click(kIdOk)});
    Answer("login",
           std::string(R"({"status":{"statusCode":"OK"},"sessionId":"s","users":)") + users + "}");
    EXPECT_EQ(RunLoginFlow(kWideAccount, ui_, services_.api(), services_.waiter()), "");
  }
  const std::u16string expected =
      u"Could not get user details.\nPlease contact veilmark support at support@veilmark.com";
  EXPECT_EQ(Messages(), (std::vector<std::u16string>{expected, expected}));
}

struct MatchCase {
  const char* name;
  std::u16string account;
  std::string userEmail;
  std::string registeredFrom;
  std::string aliases;  // empty: no alias lookup expected
  bool matches;
};

void PrintTo(const MatchCase& c, std::ostream* out) {
  *out << c.name;
}

class AccountCheckTest : public LoginFlowTest, public ::testing::WithParamInterface<MatchCase> {};

TEST_P(AccountCheckTest, DecidesLikeTheService) {
  const MatchCase& c = GetParam();
  Choose(LoginMethodDialog::kOther);
  Dialog(VeilmarkLoginDialog::kResourceId,
         {Type(VeilmarkLoginDialog::kPassword, u"pw"), Click(kIdOk)});
  Answer("login", OkLoginReply("s", c.userEmail, c.registeredFrom));
  if (!c.aliases.empty()) Answer("curr-user-aliases", c.aliases);
  if (!c.matches) ChooseCancel();
  EXPECT_EQ(RunLoginFlow(c.account, ui_, services_.api(), services_.waiter()),
            c.matches ? "s" : "");
  EXPECT_EQ(Commands().size(), c.aliases.empty() ? 1u : 2u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AccountCheckTest,
    ::testing::Values(
        MatchCase{"GmailDotsIgnored", u"joe@gmail.com", "j.o.e@gmail.com", "GMAIL", "", true},
        MatchCase{"GoogleAppDotsIgnored", u"j.oe@corp.example", "jo.e@corp.example", "GOOGLE_APP",
                  "", true},
        MatchCase{"DotsCountForOthers", u"joe@x.org", "j.oe@x.org", "VEILMARK",
                  R"({"status":{"statusCode":"OK"},"aliases":[]})", false},
        MatchCase{"CapitalsOnlyThroughAliases", u"joe@x.org", "Joe@x.org", "VEILMARK",
                  R"({"status":{"statusCode":"OK"},"aliases":["joe@x.org"]})", true},
        MatchCase{"CapitalsWithoutAlias", u"joe@x.org", "Joe@x.org", "VEILMARK",
                  R"({"status":{"statusCode":"OK"},"aliases":["JOE@x.org"]})", false},
        MatchCase{"AliasEqualsCleanedAddress", u"j.oe@gmail.com", "boss@gmail.com", "GMAIL",
                  R"({"status":{"statusCode":"OK"},"aliases":["joe@gmail.com"]})", true},
        MatchCase{"AliasEqualsPlainAddress", u"j.oe@gmail.com", "boss@gmail.com", "GMAIL",
                  R"({"status":{"statusCode":"OK"},"aliases":["j.oe@gmail.com"]})", true},
        MatchCase{"FailedAliasLookupIsAMismatch", u"joe@x.org", "ann@x.org", "VEILMARK",
                  R"({"status":{"statusCode":"INVALID_SESSION"},"aliases":["joe@x.org"]})", false}),
    [](const ::testing::TestParamInfo<MatchCase>& info) { return info.param.name; });

// ---- EnsureSession and CallWithSession ----

TEST_F(LoginFlowTest, EnsureSessionUsesAStoredSessionWithoutAsking) {
  sessions_.SetSession(kWideAccount, "kept");
  EXPECT_EQ(EnsureSession(kWideAccount, services_), "kept");
  EXPECT_TRUE(ui_.dialogs.empty());
}

TEST_F(LoginFlowTest, EnsureSessionStoresANewLogin) {
  Choose(LoginMethodDialog::kOther);
  Dialog(VeilmarkLoginDialog::kResourceId,
         {Type(VeilmarkLoginDialog::kPassword, u"pw"), Click(kIdOk)});
  Answer("login", OkLoginReply("fresh", kAccount));
  EXPECT_EQ(EnsureSession(kWideAccount, services_), "fresh");
  EXPECT_EQ(SessionStore().GetSession(kWideAccount), "fresh");
}

TEST_F(LoginFlowTest, EnsureSessionStoresNothingWhenTheUserGivesUp) {
  ChooseCancel();
  EXPECT_EQ(EnsureSession(kWideAccount, services_), "");
  EXPECT_EQ(sessions_.GetSession(kWideAccount), "");
}

class CallWithSessionTest : public LoginFlowTest {
 protected:
  // Asks the service for the aliases with whatever session it is given.
  Reply Call() {
    return CallWithSession(kWideAccount, services_, {u"Checking", 0},
                           [this](ApiClient& api, const std::string& session) {
                             sessionsUsed_.push_back(session);
                             return api.CurrentUserAliases(session);
                           });
  }
  void LoginSucceedsWith(const std::string& session) {
    Choose(LoginMethodDialog::kOther);
    Dialog(VeilmarkLoginDialog::kResourceId,
           {Type(VeilmarkLoginDialog::kPassword, u"pw"), Click(kIdOk)});
    Answer("login", OkLoginReply(session, kAccount));
  }
  std::vector<std::string> sessionsUsed_;
};

TEST_F(CallWithSessionTest, AnExpiredSessionLogsInOnceStoresAndRepeatsTheCall) {
  sessions_.SetSession(kWideAccount, "old");
  Answer("curr-user-aliases", StatusReply("INVALID_SESSION"));
  LoginSucceedsWith("new");
  Answer("curr-user-aliases", R"({"status":{"statusCode":"OK"},"aliases":["a@x.org"]})");
  const Reply reply = Call();
  ASSERT_TRUE(reply);
  EXPECT_TRUE(reply->status().isOk());
  EXPECT_EQ(sessionsUsed_, (std::vector<std::string>{"old", "new"}));
  EXPECT_EQ(SessionStore().GetSession(kWideAccount), "new");
}

TEST_F(CallWithSessionTest, ASecondRefusalIsReturnedNotRetried) {
  sessions_.SetSession(kWideAccount, "old");
  Answer("curr-user-aliases", StatusReply("INVALID_SESSION"));
  LoginSucceedsWith("new");
  Answer("curr-user-aliases", StatusReply("INVALID_SESSION"));
  const Reply reply = Call();
  ASSERT_TRUE(reply);
  EXPECT_TRUE(reply->status().needsLogin());
  EXPECT_EQ(sessionsUsed_.size(), 2u);
}

TEST_F(CallWithSessionTest, AGivenUpLoginEndsWithoutRepeatingAndKeepsTheOldSession) {
  sessions_.SetSession(kWideAccount, "old");
  Answer("curr-user-aliases", StatusReply("INVALID_SESSION"));
  ChooseCancel();
  EXPECT_FALSE(Call());
  EXPECT_EQ(sessionsUsed_, std::vector<std::string>{"old"});
  EXPECT_EQ(sessions_.GetSession(kWideAccount), "old");
}

TEST_F(CallWithSessionTest, NoStoredSessionLogsInFirst) {
  LoginSucceedsWith("first");
  Answer("curr-user-aliases", R"({"status":{"statusCode":"OK"},"aliases":[]})");
  ASSERT_TRUE(Call());
  EXPECT_EQ(sessionsUsed_, std::vector<std::string>{"first"});
  EXPECT_EQ(Commands(), (std::vector<std::string>{"login", "curr-user-aliases"}));
}

}  // namespace
}  // namespace veilmark
