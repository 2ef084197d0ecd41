// The login dialogs' controllers, answered the way a person would through the
// scripted test UI.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "login/dialogs/extra_password_dialog.h"
#include "login/dialogs/forgot_password_dialog.h"
#include "login/dialogs/login_method_dialog.h"
#include "login/dialogs/openid_dialog.h"
#include "login/dialogs/provider_login_dialog.h"
#include "login/dialogs/register_dialog.h"
#include "login/dialogs/veilmark_login_dialog.h"
#include "support/recording_ui.h"

namespace veilmark {
namespace {

using namespace std::string_literals;
using testing::Click;
using testing::Document;
using testing::Type;

const std::u16string kHotmailMessage =
    u"Please specify your Hotmail email and password for the login";
const std::u16string kAllFields = u"Please specify all fields in the form to register";

class DialogTest : public ::testing::Test {
 protected:
  // Shows `dialog` once with the given steps; returns what Show returned.
  template <typename Dialog>
  int Run(Dialog& dialog, std::vector<testing::DialogStep> steps) {
    ui.scripts.push_back({dialog.Template().resourceId, std::move(steps)});
    return dialog.Show(ui, 0x77);
  }

  testing::RecordingUi ui;
};

TEST_F(DialogTest, ChooserSetsExactlyTheFlagOfItsButton) {
  struct Case {
    int button;
    bool LoginMethodDialog::*flag;  // null: "Other", no flag at all
  };
  const Case cases[] = {{201, &LoginMethodDialog::gmail},   {202, &LoginMethodDialog::yahoo},
                        {203, &LoginMethodDialog::hotmail}, {206, &LoginMethodDialog::aol},
                        {2, &LoginMethodDialog::cancelled}, {207, nullptr}};
  bool LoginMethodDialog::*const flags[] = {&LoginMethodDialog::gmail, &LoginMethodDialog::yahoo,
                                            &LoginMethodDialog::hotmail, &LoginMethodDialog::aol,
                                            &LoginMethodDialog::cancelled};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    LoginMethodDialog form;
    EXPECT_EQ(Run(form, {Click(c.button)}), c.button);
    for (bool LoginMethodDialog::*flag : flags) EXPECT_EQ(form.*flag, flag == c.flag);
  }
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(ui.owners, std::vector<WindowRef>(6, 0x77));
}

TEST_F(DialogTest, ChooserIgnoresIdsThatAreNoButtonOfIt) {
  LoginMethodDialog form;
  EXPECT_EQ(Run(form, {Click(209), Click(1), Click(2)}), 2);
  EXPECT_TRUE(form.cancelled);
}

TEST_F(DialogTest, LiveAsksUntilBothFieldsAreGiven) {
  ProviderLoginDialog live;
  EXPECT_EQ(Run(live, {Click(1), Type(204, u"ivan@hotmail.com"), Click(1), Type(204, u""),
                       Type(205, u"pw"), Click(1), Type(204, u"ivan@hotmail.com"), Click(1)}),
            1);
  EXPECT_EQ(ui.messages(), std::vector<std::u16string>(3, kHotmailMessage));
  EXPECT_EQ(ui.boxes[0].caption, u"Veilmark AddIn");
  EXPECT_EQ(live.email, u"ivan@hotmail.com");
  EXPECT_EQ(live.password, u"pw");
  EXPECT_FALSE(live.cancelled);
}

TEST_F(DialogTest, LiveCancelEndsWithoutAMessage) {
  ProviderLoginDialog live;
  EXPECT_EQ(Run(live, {Type(204, u"a@b"), Click(2)}), 2);
  EXPECT_TRUE(live.cancelled);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(DialogTest, FieldsAreCutTo49Characters) {
  const std::u16string fifty = std::u16string(45, u'a') + u"@b.cd";
  ASSERT_EQ(fifty.size(), 50u);
  ProviderLoginDialog live;
  EXPECT_EQ(Run(live, {Type(204, fifty), Type(205, std::u16string(49, u'p')), Click(1)}), 1);
  EXPECT_EQ(live.email, fifty.substr(0, 49));
  EXPECT_EQ(live.password, std::u16string(49, u'p'));  // 49 itself is kept whole
}

TEST_F(DialogTest, ExtraPasswordNeedsAText) {
  ExtraPasswordDialog extra;
  EXPECT_EQ(Run(extra, {Click(1), Type(208, u"second"), Click(1)}), 1);
  EXPECT_EQ(ui.messages(),
            std::vector<std::u16string>{u"Please specify the additional password for the login"});
  EXPECT_EQ(extra.password, u"second");
  EXPECT_FALSE(extra.cancelled);

  ExtraPasswordDialog cancelled;
  EXPECT_EQ(Run(cancelled, {Type(208, u"typed"), Click(2)}), 2);
  EXPECT_TRUE(cancelled.cancelled);
}

TEST_F(DialogTest, VeilmarkLoginStartsWithTheAccountAndValidatesLikeLive) {
  VeilmarkLoginDialog login(u"ivan@x.org");
  EXPECT_EQ(
      Run(login, {Type(204, u""), Type(205, u"pw"), Click(1), Type(204, u"other@x.org"), Click(1)}),
      1);
  EXPECT_EQ(ui.dialogs.at(0).initialTexts, (std::map<int, std::u16string>{{204, u"ivan@x.org"}}));
  EXPECT_EQ(ui.messages(), std::vector<std::u16string>{kHotmailMessage});
  EXPECT_EQ(login.email, u"other@x.org");
  EXPECT_EQ(login.password, u"pw");
  EXPECT_FALSE(login.signup || login.forgot || login.cancelled);
}

TEST_F(DialogTest, VeilmarkLoginOtherButtonsReadNoField) {
  struct Case {
    int button;
    bool VeilmarkLoginDialog::*flag;
  };
  const Case cases[] = {{3, &VeilmarkLoginDialog::signup},
                        {4, &VeilmarkLoginDialog::forgot},
                        {2, &VeilmarkLoginDialog::cancelled}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    VeilmarkLoginDialog login(u"ivan@x.org");
    EXPECT_EQ(Run(login, {Type(204, u"typed@x.org"), Type(205, u"typed"), Click(c.button)}),
              c.button);
    EXPECT_TRUE(login.*c.flag);
    EXPECT_EQ(login.signup + login.forgot + login.cancelled, 1);
    EXPECT_EQ(login.email, u"ivan@x.org");
    EXPECT_EQ(login.password, u"");
  }
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(DialogTest, ForgotStartsFilledAndNeedsAllThree) {
  ForgotPasswordDialog forgot(u"ivan@x.org", u"First pet?");
  EXPECT_EQ(Run(forgot, {Click(1), Type(210, u"Rex"), Type(209, u""), Click(1),
                         Type(209, u"Changed question"), Type(206, u"new@x.org"), Click(1)}),
            1);
  EXPECT_EQ(ui.dialogs.at(0).initialTexts,
            (std::map<int, std::u16string>{{206, u"ivan@x.org"}, {209, u"First pet?"}}));
  EXPECT_EQ(ui.messages(), std::vector<std::u16string>(2, kAllFields));
  EXPECT_EQ(forgot.email, u"new@x.org");
  EXPECT_EQ(forgot.securityQuestion, u"Changed question");
  EXPECT_EQ(forgot.securityAnswer, u"Rex");

  ForgotPasswordDialog cancelled(u"a", u"q");
  EXPECT_EQ(Run(cancelled, {Click(2)}), 2);
  EXPECT_TRUE(cancelled.cancelled);
}

class RegisterTest : public DialogTest {
 protected:
  using Fields = std::map<int, std::u16string>;

  // A form that passes, with some fields replaced, then Register.
  static std::vector<testing::DialogStep> Form(const Fields& changes = {}) {
    Fields fields = {{206, u"ivan@x.org"}, {207, u"12345678"}, {208, u"12345678"},
                     {209, u"Question"},   {210, u"Answer!!"}, {211, u"x7k2"}};
    for (const auto& [id, text] : changes) fields[id] = text;
    std::vector<testing::DialogStep> steps;
    for (const auto& [id, text] : fields) steps.push_back(Type(id, text));
    steps.push_back(Click(1));
    return steps;
  }

  // The one message a refused form shows; the dialog is then cancelled.
  std::u16string Refusal(const Fields& changes) {
    RegisterDialog dialog(u"ivan@x.org", u"u");
    ui.boxes.clear();
    ui.scripts.push_back({109, Form(changes)});
    ui.scripts.back().steps.push_back(Click(2));
    EXPECT_EQ(dialog.Show(ui, 0), 2);
    EXPECT_EQ(ui.boxes.size(), 1u);
    return ui.boxes.empty() ? u"(no message)" : ui.boxes[0].text;
  }

  bool Accepts(const Fields& changes) {
    RegisterDialog dialog(u"ivan@x.org", u"u");
    ui.boxes.clear();
    return Run(dialog, Form(changes)) == 1 && ui.boxes.empty();
  }
};

TEST_F(RegisterTest, OpensTheCaptchaAndTakesTheFormWhole) {
  RegisterDialog dialog(u"ivan@x.org", u"http://api.example/captcha?sessionId=t");
  EXPECT_EQ(Run(dialog, Form({{206, u"other@x.org"}})), 1);
  EXPECT_EQ(ui.dialogs[0].initialTexts, (Fields{{206, u"ivan@x.org"}}));
  EXPECT_EQ(ui.dialogs[0].navigations,
            std::vector<std::u16string>{u"http://api.example/captcha?sessionId=t"});
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_FALSE(dialog.cancelled);
  EXPECT_EQ(dialog.email, u"other@x.org");
  EXPECT_EQ(dialog.password, u"12345678");
  EXPECT_EQ(dialog.securityQuestion, u"Question");
  EXPECT_EQ(dialog.securityAnswer, u"Answer!!");
  EXPECT_EQ(dialog.captcha, u"x7k2");

  RegisterDialog cancelled(u"", u"u");
  EXPECT_EQ(Run(cancelled, {Click(2)}), 2);
  EXPECT_TRUE(cancelled.cancelled);
}

TEST_F(RegisterTest, EveryFieldIsMandatory) {
  for (int id : {206, 207, 208, 209, 210, 211}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(Refusal({{id, u""}}), kAllFields);
  }
}

TEST_F(RegisterTest, ChecksComeInOrder) {
  const std::u16string mismatch = u"Please make sure that the passwords match";
  const std::u16string shortPassword = u"Password must be at least 8 characters long";
  const std::u16string shortQuestion = u"The security question must be at least 8 characters long";
  const std::u16string shortAnswer = u"The security answer must be at least 8 characters long";
  // Matching comes before length, and is exact.
  EXPECT_EQ(Refusal({{207, u"abc"}, {208, u"xyz"}}), mismatch);
  EXPECT_EQ(Refusal({{207, u"Pass1234"}, {208, u"pass1234"}}), mismatch);
  EXPECT_EQ(Refusal({{208, u"12345678 "}}), mismatch);
  // Then password, question, answer; 7 characters are too few, 8 enough.
  EXPECT_EQ(Refusal({{207, u"1234567"}, {208, u"1234567"}, {209, u"q"}, {210, u"a"}}),
            shortPassword);
  EXPECT_EQ(Refusal({{209, u"1234567"}, {210, u"a"}}), shortQuestion);
  EXPECT_EQ(Refusal({{210, u"1234567"}}), shortAnswer);
  EXPECT_TRUE(
      Accepts({{207, u"abcdefgh"}, {208, u"abcdefgh"}, {209, u"12345678"}, {210, u"x y z w "}}));
}

TEST_F(RegisterTest, PasswordsAreComparedAfterTheCut) {
  const std::u16string common(49, u'p');
  RegisterDialog dialog(u"", u"u");
  EXPECT_EQ(Run(dialog, Form({{207, common + u"first"}, {208, common + u"second"}})), 1);
  EXPECT_EQ(dialog.password, common);
}

const char kFinalPage[] = R"({"status":{"statusCode":"OK"},"sessionId":"s-1"})";

TEST_F(DialogTest, OpenIdOpensItsAddressAndWaitsForTheJsonPage) {
  OpenIdDialog openid(u"https://provider.example/login");
  EXPECT_EQ(Run(openid, {Document(205, "<html><form>login</form></html>"), Document(205, ""),
                         Document(205, kFinalPage)}),
            0);
  EXPECT_EQ(ui.dialogs[0].navigations,
            std::vector<std::u16string>{u"https://provider.example/login"});
  ASSERT_TRUE(openid.reply);
  EXPECT_TRUE(openid.reply->status().isOk());
  EXPECT_EQ(openid.reply->sessionId(), "s-1");
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(DialogTest, OpenIdStopsReadingAtAZeroByte) {
  OpenIdDialog padded(u"u");
  EXPECT_EQ(Run(padded, {Document(205, kFinalPage + "\0trailing garbage}"s)}), 0);
  ASSERT_TRUE(padded.reply);
  EXPECT_TRUE(padded.reply->status().isOk());
  EXPECT_EQ(padded.reply->sessionId(), "s-1");

  // Whatever follows the zero byte is not part of the page's text at all.
  OpenIdDialog cut(u"u");
  EXPECT_EQ(Run(cut, {Document(205, R"({"status":{"statusCode":"OK"},"sessionId":"s-1)"
                                    "\0"
                                    R"(-rest"})"s)}),
            0);
  ASSERT_TRUE(cut.reply);
  EXPECT_EQ(cut.reply->status().code(), "PARSE_ERROR");
}

TEST_F(DialogTest, OpenIdCapturesAnyJsonPageEvenARefusal) {
  OpenIdDialog openid(u"u");
  EXPECT_EQ(Run(openid, {Document(205, "{not json")}), 0);
  ASSERT_TRUE(openid.reply);
  EXPECT_EQ(openid.reply->status().code(), "PARSE_ERROR");
}

TEST_F(DialogTest, OpenIdPagesThatDoNotStartWithABraceLeaveItOpen) {
  const std::string pages[] = {
      " " + std::string(kFinalPage),
      "\n" + std::string(kFinalPage),
      "\xFF\xFE{\0\"\0"s,  // a document saved as UTF-16
      "<html>" + std::string(kFinalPage) + "</html>",
  };
  for (const std::string& page : pages) {
    OpenIdDialog openid(u"u");
    EXPECT_EQ(Run(openid, {Document(205, page), Click(kIdCancel)}), kIdCancel);
    EXPECT_FALSE(openid.reply);
  }
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(DialogTest, OpenIdClosedWithoutAFinalPageHasNoReply) {
  OpenIdDialog openid(u"u");
  EXPECT_EQ(Run(openid, {Click(kIdOk), Click(kIdCancel)}), kIdCancel);
  EXPECT_FALSE(openid.reply);
}

}  // namespace
}  // namespace veilmark
