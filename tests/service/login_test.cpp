// Accounts and sessions: registration behind the CAPTCHA, the login
// commands, the additional password, aliases, expiry, password reset and
// the mock OpenID provider.
#include <chrono>
#include <regex>
#include <thread>

#include "service_fixture.h"

namespace veilmark::service::testing {
namespace {

using Form = std::vector<std::pair<std::string, std::string>>;

Form Registration(const std::string& session, const std::string& email,
                  const std::string& captcha) {
  return {{"captcha", captcha},
          {"email", email},
          {"password", "s3cret pass"},
          {"securityAnswer", "Rex the Dog"},
          {"securityQuestion", "Name of my first pet?"},
          {"sessionId", session}};
}

class LoginTest : public ServiceTest {
 protected:
  std::string CaptchaText(const std::string& session) {
    const CommandResult result = RunService(state(), {"captcha-text", session});
    EXPECT_EQ(result.exitCode, 0);
    return result.out.substr(0, result.out.find('\n'));
  }
};

TEST_F(LoginTest, RegistrationChecksTheCaptchaOfItsTemporarySession) {
  const Json::Value temp = service().Call("get-temp-session", {});
  ASSERT_EQ(StatusCode(temp), "OK");
  const std::string session = temp["sessionId"].asString();
  const std::string captcha = CaptchaText(session);
  EXPECT_TRUE(std::regex_match(captcha, std::regex("[A-Z2-9]{4,6}"))) << captcha;

  // A wrong answer is refused and replaces the picture's text.
  EXPECT_EQ(
      StatusCode(service().Call("register", Registration(session, "neo@example.com", "AAAA"))),
      "INVALID_CAPTCHA");
  const std::string second = CaptchaText(session);
  EXPECT_NE(second, captcha) << "a wrong answer brings a new picture";  // 1 in 32^5 to be equal
  EXPECT_EQ(
      StatusCode(service().Call("register", Registration(session, "neo@example.com", captcha))),
      "INVALID_CAPTCHA");
  const std::string third = CaptchaText(session);

  // Case does not matter to people reading a picture.
  std::string lower = third;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const Json::Value registered =
      service().Call("register", Registration(session, "neo@example.com", lower));
  ASSERT_EQ(StatusCode(registered), "OK");
  EXPECT_EQ(registered["users"][0]["email"].asString(), "neo@example.com");
  EXPECT_EQ(registered["users"][0]["registeredFrom"].asString(), "VEILMARK");

  // The temporary session is used up; the account works; a welcome mail arrived.
  EXPECT_EQ(
      StatusCode(service().Call("register", Registration(session, "neo2@example.com", third))),
      "INVALID_SESSION");
  EXPECT_FALSE(service().Login("neo@example.com", "s3cret pass").empty());
  const auto mail = Mailbox(state(), "neo@example.com");
  ASSERT_EQ(mail.size(), 1u);
  EXPECT_NE(HeaderBlock(mail[0]).find("Subject: Please confirm your Veilmark account"),
            std::string::npos);
}

TEST_F(LoginTest, RegistrationRefusesTakenAddressesAndWeakPasswords) {
  AddUser({"taken@example.com", "whatever1", "--alias", "alias@example.com"});
  for (const std::string address :
       {"taken@example.com", "TAKEN@example.com", "alias@example.com"}) {
    const std::string session = service().Call("get-temp-session", {})["sessionId"].asString();
    EXPECT_EQ(StatusCode(
                  service().Call("register", Registration(session, address, CaptchaText(session)))),
              "USER_EXISTS")
        << address;
  }
  const std::string session = service().Call("get-temp-session", {})["sessionId"].asString();
  Form weak = Registration(session, "new@example.com", CaptchaText(session));
  weak[2].second = "short";
  EXPECT_EQ(StatusCode(service().Call("register", weak)), "WEAK_PASSWORD");
  Form badAddress = Registration(session, "../etc@example.com", CaptchaText(session));
  EXPECT_EQ(StatusCode(service().Call("register", badAddress)), "INVALID_EMAIL");
  EXPECT_EQ(StatusCode(service().Call("register", {{"sessionId", session}})), "MISSING_PARAMETER");
}

TEST_F(LoginTest, CaptchaGivesUpAfterFiveWrongAnswers) {
  const std::string session = service().Call("get-temp-session", {})["sessionId"].asString();
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(
        StatusCode(service().Call("register", Registration(session, "x@example.com", "ZZZZZZZ"))),
        "INVALID_CAPTCHA");
  }
  EXPECT_EQ(RunService(state(), {"captcha-text", session}).exitCode, 1);
  auto picture = service().Plain()->Get(("/captcha?sessionId=" + session).c_str());
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->status, 404);
}

TEST_F(LoginTest, EveryLoginCommandChecksThePasswordAndNamesOneUser) {
  AddUser({"Mixed.Case@example.com", "pass word+1", "--first-name", "Ada", "--registered-from",
           "hotmail"});
  for (const char* command : {"login", "login-with-live", "login-with-aol"}) {
    const Json::Value ok =
        service().Call(command, {{"email", "mixed.case@example.com"}, {"password", "pass word+1"}});
    ASSERT_EQ(StatusCode(ok), "OK") << command;
    EXPECT_EQ(ok["request"].asString(), command);
    ASSERT_EQ(ok["users"].size(), 1u);
    EXPECT_EQ(ok["users"][0]["email"].asString(), "Mixed.Case@example.com");
    EXPECT_EQ(ok["users"][0]["firstName"].asString(), "Ada");
    EXPECT_EQ(ok["users"][0]["registeredFrom"].asString(), "HOTMAIL");
    EXPECT_EQ(ok["sessionId"].asString().size(), 32u);

    EXPECT_EQ(StatusCode(service().Call(
                  command, {{"email", "mixed.case@example.com"}, {"password", "pass word 1"}})),
              "INVALID_CREDENTIALS");
    EXPECT_EQ(StatusCode(service().Call(
                  command, {{"email", "nobody@example.com"}, {"password", "pass word+1"}})),
              "INVALID_CREDENTIALS");
    EXPECT_EQ(StatusCode(service().Call(command, {{"email", "mixed.case@example.com"}})),
              "MISSING_PARAMETER");
  }
}

TEST_F(LoginTest, AdditionalPasswordGuardsTheSessionUntilGiven) {
  AddUser({"vera@example.com", "first pass", "--extra-password", "second pass"});
  const Json::Value login =
      service().Call("login", {{"email", "vera@example.com"}, {"password", "first pass"}});
  ASSERT_EQ(StatusCode(login), "EXTRA_PASS");
  const std::string marked = login["sessionId"].asString();
  const std::size_t mark = marked.find("-extPas");
  ASSERT_NE(mark, std::string::npos);
  ASSERT_GT(mark, 0u);
  const std::string session = marked.substr(0, mark);

  EXPECT_EQ(StatusCode(service().Call("curr-user", {{"sessionId", session}})),
            "EXT_PASS_NOT_FILLED");
  EXPECT_EQ(
      StatusCode(service().Call("decrypt-mime", {{"cipherText", "x"}, {"sessionId", marked}})),
      "EXT_PASS_NOT_FILLED");
  EXPECT_EQ(StatusCode(service().Call("extra-password",
                                      {{"password", "first pass"}, {"sessionId", session}})),
            "INVALID_EXTRA_PASSWORD");

  const Json::Value done =
      service().Call("extra-password", {{"password", "second pass"}, {"sessionId", session}});
  ASSERT_EQ(StatusCode(done), "OK");
  EXPECT_EQ(done["sessionId"].asString(), session);
  EXPECT_EQ(done["users"][0]["email"].asString(), "vera@example.com");
  EXPECT_EQ(StatusCode(service().Call("curr-user", {{"sessionId", session}})), "OK");
}

TEST_F(LoginTest, TooManyWrongAdditionalPasswordsEndTheSession) {
  AddUser({"vera@example.com", "first pass", "--extra-password", "second pass"});
  std::string session =
      service()
          .Call("login", {{"email", "vera@example.com"}, {"password", "first pass"}})["sessionId"]
          .asString();
  session = session.substr(0, session.find("-extPas"));
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(StatusCode(service().Call("extra-password",
                                        {{"password", "guess"}, {"sessionId", session}})),
              "INVALID_EXTRA_PASSWORD");
  }
  EXPECT_EQ(
      StatusCode(service().Call("extra-password", {{"password", "guess"}, {"sessionId", session}})),
      "INVALID_SESSION");
  EXPECT_EQ(StatusCode(service().Call("extra-password",
                                      {{"password", "second pass"}, {"sessionId", session}})),
            "INVALID_SESSION");
}

TEST_F(LoginTest, AliasesCurrentUserAndLogout) {
  AddUser({"main@example.com", "main pass", "--alias", "other@example.org", "--alias",
           "Third@Example.net"});
  const std::string session = service().Login("main@example.com", "main pass");
  const Json::Value aliases = service().Call("curr-user-aliases", {{"sessionId", session}});
  ASSERT_EQ(StatusCode(aliases), "OK");
  ASSERT_EQ(aliases["aliases"].size(), 2u);
  EXPECT_EQ(aliases["aliases"][0].asString(), "other@example.org");
  EXPECT_EQ(aliases["aliases"][1].asString(), "Third@Example.net");

  ASSERT_EQ(RunService(state(), {"add-alias", "main@example.com", "late@example.com"}).exitCode, 0);
  EXPECT_EQ(service().Call("curr-user-aliases", {{"sessionId", session}})["aliases"].size(), 3u);
  EXPECT_EQ(service().Call("curr-user", {{"sessionId", session}})["users"][0]["email"].asString(),
            "main@example.com");

  EXPECT_EQ(StatusCode(service().Call("logout", {{"sessionId", session}})), "OK");
  EXPECT_EQ(StatusCode(service().Call("curr-user-aliases", {{"sessionId", session}})),
            "INVALID_SESSION");
  EXPECT_EQ(StatusCode(service().Call("curr-user", {})), "INVALID_SESSION");
  EXPECT_EQ(StatusCode(service().Call("curr-user", {{"sessionId", "0123456789abcdef"}})),
            "INVALID_SESSION");
}

TEST_F(LoginTest, AdminEndsSessionsOnDemand) {
  AddUser({"one@example.com", "one pass"});
  AddUser({"two@example.com", "two pass"});
  const std::string one = service().Login("one@example.com", "one pass");
  const std::string two = service().Login("two@example.com", "two pass");
  ASSERT_EQ(RunService(state(), {"expire-sessions", "one@example.com"}).exitCode, 0);
  EXPECT_EQ(StatusCode(service().Call("curr-user", {{"sessionId", one}})), "INVALID_SESSION");
  EXPECT_EQ(StatusCode(service().Call("curr-user", {{"sessionId", two}})), "OK");
  ASSERT_EQ(RunService(state(), {"expire-sessions"}).exitCode, 0);
  EXPECT_EQ(StatusCode(service().Call("curr-user", {{"sessionId", two}})), "INVALID_SESSION");
  EXPECT_EQ(RunService(state(), {"expire-sessions", "nobody@example.com"}).exitCode, 1);
}

class ShortSessionTest : public LoginTest {
  // Long enough that a loaded machine still gets the first call in on time.
  std::vector<std::string> ServiceArgs() const override { return {"--session-ttl", "4"}; }
};

TEST_F(ShortSessionTest, SessionsExpireAfterTheirLifetime) {
  AddUser({"brief@example.com", "brief pass"});
  const std::string session = service().Login("brief@example.com", "brief pass");
  EXPECT_EQ(StatusCode(service().Call("curr-user", {{"sessionId", session}})), "OK");
  std::this_thread::sleep_for(std::chrono::milliseconds(5100));
  EXPECT_EQ(StatusCode(service().Call("curr-user", {{"sessionId", session}})), "INVALID_SESSION");
  EXPECT_EQ(
      StatusCode(service().Call("encrypt-send", {{"sessionId", session}, {"to", "x@example.com"}})),
      "INVALID_SESSION");
  // A new login gives a new session that works again.
  const std::string fresh = service().Login("brief@example.com", "brief pass");
  EXPECT_NE(fresh, session);
  EXPECT_EQ(StatusCode(service().Call("curr-user", {{"sessionId", fresh}})), "OK");
}

TEST_F(LoginTest, PasswordResetAnswersTheQuestionAndMailsANewPassword) {
  AddUser({"forgetful@example.com", "old password", "--security-question", "Favourite colour?",
           "--security-answer", "Deep Blue"});
  const std::string session = service().Login("forgetful@example.com", "old password");
  const Json::Value question =
      service().Call("retrieve-security-q", {{"email", "forgetful@example.com"}});
  ASSERT_EQ(StatusCode(question), "OK");
  EXPECT_EQ(question["securityQuestion"].asString(), "Favourite colour?");

  const Form wrong = {{"email", "forgetful@example.com"},
                      {"securityAnswer", "red"},
                      {"securityQuestion", "Favourite colour?"}};
  EXPECT_EQ(StatusCode(service().Call("reset-password", wrong)), "INVALID_SECURITY_ANSWER");
  const Form otherQuestion = {{"email", "forgetful@example.com"},
                              {"securityAnswer", "Deep Blue"},
                              {"securityQuestion", "Favourite food?"}};
  EXPECT_EQ(StatusCode(service().Call("reset-password", otherQuestion)), "INVALID_SECURITY_ANSWER");
  EXPECT_TRUE(Mailbox(state(), "forgetful@example.com").empty());

  const Form right = {{"email", "forgetful@example.com"},
                      {"securityAnswer", "  deep blue "},
                      {"securityQuestion", "Favourite colour?"}};
  ASSERT_EQ(StatusCode(service().Call("reset-password", right)), "OK");
  const auto mail = Mailbox(state(), "forgetful@example.com");
  ASSERT_EQ(mail.size(), 1u);
  std::smatch match;
  ASSERT_TRUE(std::regex_search(mail[0], match, std::regex("New password: (\\S+)")));
  const std::string password = match[1];

  EXPECT_EQ(StatusCode(service().Call(
                "login", {{"email", "forgetful@example.com"}, {"password", "old password"}})),
            "INVALID_CREDENTIALS");
  EXPECT_FALSE(service().Login("forgetful@example.com", password).empty());
  EXPECT_EQ(StatusCode(service().Call("curr-user", {{"sessionId", session}})), "INVALID_SESSION")
      << "a reset ends the old sessions";
}

class OpenIdTest : public LoginTest {
 protected:
  // Starts a login and returns the address of the provider's first page.
  std::string StartUrl(const Form& form) {
    const Json::Value reply = service().Call("login-with-open-id", form);
    EXPECT_EQ(StatusCode(reply), "OK");
    const std::string url = reply["openIdUrl"].asString();
    const std::string prefix = "https://localhost:" + std::to_string(service().port());
    EXPECT_EQ(url.rfind(prefix + "/openid/", 0), 0u) << url;
    return url.substr(prefix.size());
  }

  // One GET without following redirects.
  httplib::Result Fetch(const std::string& path, const std::string& cookie = "") {
    httplib::Headers headers;
    if (!cookie.empty()) headers.emplace("Cookie", cookie);
    auto client = service().Https();
    client->set_url_encode(false);  // the paths are sent as a browser sends them
    return client->Get(path.c_str(), headers);
  }

  static std::string PathOf(const std::string& location, std::uint16_t port) {
    const std::string prefix = "https://localhost:" + std::to_string(port);
    return location.rfind(prefix, 0) == 0 ? location.substr(prefix.size()) : location;
  }
};

TEST_F(OpenIdTest, ProviderLoginPageLeadsWithACookieToTheJsonLoginReply) {
  AddUser({"older@gmail.com", "pw1", "--registered-from", "GMAIL", "--provider-password", "g1"});
  AddUser({"john.smith@gmail.com", "pw2", "--registered-from", "GMAIL", "--provider-password",
           "google pw"});
  const std::string start = StartUrl({{"provider", "Google"}, {"forcePassword", "true"}});

  auto first = Fetch(start);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->status, 302);
  const std::string setCookie = first->get_header_value("Set-Cookie");
  EXPECT_NE(setCookie.find("Secure"), std::string::npos);
  const std::string cookie = setCookie.substr(0, setCookie.find(';'));
  const std::string authorize = PathOf(first->get_header_value("Location"), service().port());
  ASSERT_EQ(authorize.rfind("/openid/authorize?", 0), 0u) << authorize;

  // A browser without the cookie gets a refusal it can show; the start
  // page cannot be used twice.
  auto cookieless = Fetch(authorize);
  ASSERT_TRUE(cookieless);
  EXPECT_EQ(StatusCode(ParseJson(cookieless->body)), "OPENID_FAILED");
  EXPECT_EQ(StatusCode(ParseJson(Fetch(start)->body)), "OPENID_FAILED");

  // The provider asks who is signing in, and vouches for nobody before that.
  auto page = Fetch(authorize, "theme=dark; " + cookie);
  ASSERT_TRUE(page);
  ASSERT_EQ(page->status, 200);
  EXPECT_NE(page->get_header_value("Content-Type").find("text/html"), std::string::npos);
  EXPECT_NE(page->body.find("name=\"password\""), std::string::npos) << page->body;
  EXPECT_NE(page->body.find("action=\"/openid/authorize\""), std::string::npos);

  // The Veilmark password is not the provider's.
  auto wrong = Fetch(authorize + "&email=john.smith%40gmail.com&password=pw2", cookie);
  ASSERT_TRUE(wrong);
  EXPECT_EQ(wrong->status, 403);
  EXPECT_NE(wrong->body.find("Wrong Google address or password"), std::string::npos);

  auto second = Fetch(authorize + "&email=john.smith%40gmail.com&password=google+pw",
                      "theme=dark; " + cookie);
  ASSERT_TRUE(second);
  ASSERT_EQ(second->status, 302);
  const std::string finish = PathOf(second->get_header_value("Location"), service().port());

  auto last = Fetch(finish, cookie);
  ASSERT_TRUE(last);
  EXPECT_EQ(last->status, 200);
  ASSERT_EQ(last->body.front(), '{');
  const Json::Value reply = ParseJson(last->body);
  ASSERT_EQ(StatusCode(reply), "OK");
  ASSERT_EQ(reply["users"].size(), 1u);
  EXPECT_EQ(reply["users"][0]["email"].asString(), "john.smith@gmail.com");
  EXPECT_EQ(reply["users"][0]["registeredFrom"].asString(), "GMAIL");
  EXPECT_EQ(StatusCode(service().Call("curr-user", {{"sessionId", reply["sessionId"].asString()}})),
            "OK");

  EXPECT_EQ(StatusCode(ParseJson(Fetch(finish, cookie)->body)), "OPENID_FAILED")
      << "a ticket logs in once";
}

TEST_F(OpenIdTest, ProviderVouchesOnlyForAccountsRegisteredThroughIt) {
  AddUser({"yan@yahoo.com", "pw", "--registered-from", "YAHOO", "--extra-password", "more",
           "--provider-password", "yahoo pw"});
  AddUser({"boss@corp.example", "pw", "--registered-from", "GOOGLE_APP", "--provider-password",
           "apps pw"});
  AddUser({"plain@example.com", "pw"});

  // Signs in at the provider's page with `email` and `password`; the final page.
  auto signIn = [&](const std::string& start, const std::string& email,
                    const std::string& password) {
    auto first = Fetch(start);
    const std::string cookie = first->get_header_value("Set-Cookie")
                                   .substr(0, first->get_header_value("Set-Cookie").find(';'));
    const std::string form = PathOf(first->get_header_value("Location"), service().port());
    auto second =
        Fetch(form + "&email=" + FormEncode(email) + "&password=" + FormEncode(password), cookie);
    if (second->status != 302) return ParseJson("{}");
    return ParseJson(
        Fetch(PathOf(second->get_header_value("Location"), service().port()), cookie)->body);
  };

  const Json::Value yahoo =
      signIn(StartUrl({{"provider", "Yahoo"}, {"yahooEmail", "yan@yahoo.com"}}), "yan@yahoo.com",
             "yahoo pw");
  EXPECT_EQ(StatusCode(yahoo), "EXTRA_PASS");
  EXPECT_NE(yahoo["sessionId"].asString().find("-extPas"), std::string::npos);

  const Json::Value apps =
      signIn(StartUrl({{"googleAppDomain", "corp.example"}, {"provider", "Google"}}),
             "boss@corp.example", "apps pw");
  ASSERT_EQ(StatusCode(apps), "OK");
  EXPECT_EQ(apps["users"][0]["email"].asString(), "boss@corp.example");

  // Nobody without the provider's password; and the provider's word for
  // an address opens only an account registered through it (here: not
  // through that Apps domain).
  EXPECT_EQ(StatusCode(signIn(StartUrl({{"provider", "Yahoo"}}), "boss@corp.example", "apps pw")),
            "")
      << "Yahoo knows no such account";
  AddUser({"gina@gmail.com", "pw", "--registered-from", "GMAIL", "--provider-password", "g pw"});
  EXPECT_EQ(
      StatusCode(signIn(StartUrl({{"googleAppDomain", "corp.example"}, {"provider", "Google"}}),
                        "gina@gmail.com", "g pw")),
      "OPENID_FAILED");
  EXPECT_EQ(StatusCode(signIn(StartUrl({{"provider", "Google"}}), "gina@gmail.com", "g pw")), "OK");

  EXPECT_EQ(StatusCode(service().Call("login-with-open-id", {{"provider", "MySpace"}})),
            "UNKNOWN_PROVIDER");
}

}  // namespace
}  // namespace veilmark::service::testing
