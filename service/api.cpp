#include "api.h"

#include <glib.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <ctime>
#include <iostream>
#include <memory>
#include <mutex>
#include <random>
#include <set>

#include "images.h"
#include "maildir.h"
#include "mime.h"
#include "secrets.h"

namespace veilmark::service {
namespace {

constexpr const char* kExtraPasswordMark = "-extPas";
constexpr const char* kServiceSender = "no-reply@veilmark.localhost";
constexpr const char* kOpenIdCookie = "veilmark_openid";
constexpr std::int64_t kTemporarySessionSeconds = 3600;
constexpr std::int64_t kOpenIdSeconds = 600;
constexpr int kMaxFailures = 5;
constexpr std::size_t kMaxRecipients = 100;
constexpr std::size_t kMinPasswordLength = 8;
// New recipient addresses get a key on first mail; a request may not make
// more than this many, so one message cannot keep the service making keys.
constexpr std::size_t kMaxNewKeys = 20;
// A repeated identical send within this time was a retry, not a new message.
constexpr std::int64_t kResendWindowSeconds = 600;
// Guessing: free failures, then a doubling delay, then a lock.
struct GuessLimits {
  int freeFailures;
  int lockAfter;
};
constexpr GuessLimits kAccountLimits{3, 10};
// Many people may share one client address; it gets more room.
constexpr GuessLimits kClientLimits{10, 30};
constexpr std::int64_t kLockSeconds = std::int64_t{15} * 60;
constexpr const char* kConfirmMessage =
    "Please confirm your e-mail address first: open the link in the mail we sent to it when "
    "you registered, then try again.";
// Questions offered for addresses without an account or without a
// question, so the answer does not tell whether an account exists.
const char* const kDecoyQuestions[] = {
    "What was the name of your first pet?", "In which city were you born?",
    "What was your first school called?", "What is your favourite book?"};

std::string Trim(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Answers are compared as people type them: case and outer spaces aside.
std::string NormalizeAnswer(const std::string& answer) {
  return Lower(Trim(answer));
}

std::string ValidUtf8(const std::string& bytes) {
  std::unique_ptr<gchar, void (*)(gpointer)> valid(
      g_utf8_make_valid(bytes.data(), static_cast<gssize>(bytes.size())), g_free);
  return valid.get();
}

// A text body as HTML that shows it as it is: escaped and preformatted, so
// a plain reply can never become markup.
std::string PlainTextAsHtml(const std::string& text) {
  std::string html = "<pre>";
  for (char c : text) {
    switch (c) {
      case '&':
        html += "&amp;";
        break;
      case '<':
        html += "&lt;";
        break;
      case '>':
        html += "&gt;";
        break;
      case '"':
        html += "&quot;";
        break;
      default:
        html += c;
    }
  }
  return html + "</pre>";
}

std::string Param(const Params& params, const char* name) {
  const auto found = params.find(name);
  return found == params.end() ? std::string() : found->second;
}

// The names of the parameters that are missing or empty, joined by ", ".
std::string Missing(const Params& params, std::initializer_list<const char*> names) {
  std::string missing;
  for (const char* name : names) {
    if (Trim(Param(params, name)).empty())
      missing += std::string(missing.empty() ? "" : ", ") + name;
  }
  return missing;
}

std::string WithoutExtraPasswordMark(const std::string& sessionId) {
  const std::size_t mark = sessionId.find(kExtraPasswordMark);
  return mark == std::string::npos ? sessionId : sessionId.substr(0, mark);
}

Json::Value OkReply(const std::string& request, const std::string& message = "") {
  return StatusReply(request, "OK", message);
}

Json::Value UserJson(const User& user) {
  Json::Value json(Json::objectValue);
  json["firstName"] = user.firstName;
  json["middleName"] = user.middleName;
  json["lastName"] = user.lastName;
  json["email"] = user.email;
  json["registerState"] = user.registerState;
  json["registeredFrom"] = user.registeredFrom;
  return json;
}

// Addresses of a "to", "cc" or "bcc" list: separated by "," or ";", each
// either bare or in angle brackets after a display name.
std::vector<std::string> SplitAddresses(const std::string& list) {
  std::vector<std::string> addresses;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find_first_of(",;", start);
    if (end == std::string::npos) end = list.size();
    std::string item = Trim(list.substr(start, end - start));
    const std::size_t open = item.rfind('<');
    const std::size_t close = item.rfind('>');
    if (open != std::string::npos && close != std::string::npos && open < close) {
      item = Trim(item.substr(open + 1, close - open - 1));
    }
    if (!item.empty()) addresses.push_back(item);
    start = end + 1;
  }
  return addresses;
}

bool IsImageType(const std::string& contentType) {
  // Raster types only: an SVG preview would run script on the service's origin.
  static const std::set<std::string> kPreviewable = {"image/png", "image/jpeg", "image/gif",
                                                     "image/bmp", "image/webp"};
  return kPreviewable.count(Lower(contentType)) > 0;
}

bool IsMimeType(const std::string& type) {
  const std::size_t slash = type.find('/');
  if (slash == std::string::npos || slash == 0 || slash + 1 == type.size() || type.size() > 127) {
    return false;
  }
  for (std::size_t i = 0; i < type.size(); ++i) {
    const auto c = static_cast<unsigned char>(type[i]);
    if (i == slash) continue;
    if (!std::isalnum(c) && !std::strchr("!#$&^_.+-", c)) return false;
  }
  return type.find('/', slash + 1) == std::string::npos;
}

// The last path component, as valid UTF-8 without control characters.
std::string SafeFileName(const std::string& raw) {
  const std::size_t slash = raw.find_last_of("/\\");
  std::string name = slash == std::string::npos ? raw : raw.substr(slash + 1);
  name.erase(
      std::remove_if(name.begin(), name.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }),
      name.end());
  name = Trim(ValidUtf8(name));
  if (name.size() > 255) name.resize(255);
  name = ValidUtf8(name);  // the cut may have split a character
  return name.empty() || name == "." || name == ".." ? "attachment" : name;
}

std::string CookieValue(const std::string& header, const std::string& name) {
  std::size_t start = 0;
  while (start < header.size()) {
    std::size_t end = header.find(';', start);
    if (end == std::string::npos) end = header.size();
    const std::string pair = Trim(header.substr(start, end - start));
    const std::size_t equals = pair.find('=');
    if (equals != std::string::npos && pair.substr(0, equals) == name) {
      return pair.substr(equals + 1);
    }
    start = end + 1;
  }
  return "";
}

const std::string& DecoyHash() {
  static const std::string hash = HashSecret(RandomHex(16));
  return hash;
}

// The same made-up question for an address every time it is asked.
std::string DecoyQuestion(const std::string& address) {
  const std::string digest = Sha256Hex("decoy-question:" + Lower(Trim(address)));
  const std::size_t count = sizeof kDecoyQuestions / sizeof kDecoyQuestions[0];
  return kDecoyQuestions[std::stoul(digest.substr(0, 8), nullptr, 16) % count];
}

std::string HtmlEscape(const std::string& text) {
  std::string escaped;
  for (const char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

Page HtmlPage(int status, const std::string& title, const std::string& body) {
  return Page{status,
              "text/html; charset=utf-8",
              "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + HtmlEscape(title) +
                  "</title></head><body><h1>" + HtmlEscape(title) + "</h1>\n" + body +
                  "</body></html>\n",
              {{"Content-Security-Policy", "default-src 'none'; form-action 'self'"},
               {"X-Frame-Options", "DENY"}}};
}

Page JsonPage(int status, const Json::Value& json) {
  return Page{status, "application/json; charset=utf-8", WriteJson(json), {}};
}

}  // namespace

std::string ConfirmationText(const std::string& email, const std::string& link) {
  return "Your Veilmark account " + email +
         " is ready.\n\nTo read protected mail, confirm that this address is yours by opening "
         "this link:\n\n" +
         link +
         "\n\nIf you did not register, ignore this mail: nobody can read your mail through "
         "that account.\n";
}

Json::Value StatusReply(const std::string& request, const std::string& code,
                        const std::string& message) {
  Json::Value reply(Json::objectValue);
  reply["request"] = request;
  reply["status"]["statusCode"] = code;
  reply["status"]["message"] = Json::Value(Json::arrayValue);
  if (!message.empty()) reply["status"]["message"].append(message);
  return reply;
}

std::string WriteJson(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  return Json::writeString(builder, value);
}

Api::Api(ApiConfig config, Store& store, Keyring& keyring)
    : config_(std::move(config)), store_(store), keyring_(keyring) {
  handlers_ = {
      {"get-temp-session", &Api::GetTempSession},
      {"register", &Api::Register},
      {"login", &Api::Login},
      {"login-with-live", &Api::Login},
      {"login-with-aol", &Api::Login},
      {"login-with-open-id", &Api::LoginWithOpenId},
      {"retrieve-security-q", &Api::RetrieveSecurityQuestion},
      {"reset-password", &Api::ResetPassword},
      {"extra-password", &Api::ExtraPassword},
      {"curr-user", &Api::CurrentUser},
      {"curr-user-aliases", &Api::CurrentUserAliases},
      {"logout", &Api::Logout},
      {"encrypt", &Api::Encrypt},
      {"encrypt-eml", &Api::Encrypt},
      {"encrypt-send", &Api::Encrypt},
      {"decrypt-mime", &Api::DecryptMime},
  };
}

std::int64_t Api::Now() const {
  return static_cast<std::int64_t>(std::time(nullptr));
}

std::int64_t Api::NowMillis() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string Api::OwnAddress(const std::string& path) const {
  return "https://localhost:" + std::to_string(publicPort_.load()) + path;
}

thread_local std::string Api::client_;

Json::Value Api::Shaped(Json::Value reply) const {
  if (!config_.messageAsText || !reply.isObject() || !reply["status"].isObject()) return reply;
  Json::Value& message = reply["status"]["message"];
  if (message.isArray()) message = message.empty() ? std::string() : message[0].asString();
  return reply;
}

Json::Value Api::Command(const std::string& command, const Params& params,
                         const std::string& client) {
  client_ = client;
  return Shaped(RunCommand(command, params));
}

Json::Value Api::UploadAttachments(const std::vector<FormPart>& parts) {
  return Shaped(RunUpload(parts));
}

Json::Value Api::RunCommand(const std::string& command, const Params& params) {
  const auto handler = handlers_.find(command);
  if (handler == handlers_.end()) {
    return StatusReply(command, "UNKNOWN_COMMAND", "No such command: " + command);
  }
  try {
    return (this->*handler->second)(command, params);
  } catch (const std::exception& error) {
    std::cerr << "veilmark-service: " << command << ": " << error.what() << std::endl;
    return StatusReply(command, "SERVER_ERROR", "The service could not complete the request");
  }
}

std::optional<Api::Caller> Api::Authenticate(const std::string& request, const Params& params,
                                             Json::Value& refusal) {
  const std::string id = WithoutExtraPasswordMark(Trim(Param(params, "sessionId")));
  if (id.empty()) {
    refusal = StatusReply(request, "INVALID_SESSION", "No session given; please log in");
    return std::nullopt;
  }
  auto session = store_.FindSession(id);
  if (session && session->expires <= Now()) {
    store_.DeleteSession(id);
    session.reset();
  }
  std::optional<User> user;
  if (session && session->userId != 0) user = store_.FindUserById(session->userId);
  if (!session || !user) {
    refusal = StatusReply(request, "INVALID_SESSION", "The session has expired; please log in");
    return std::nullopt;
  }
  if (session->extraPending) {
    refusal = StatusReply(request, "EXT_PASS_NOT_FILLED", "The additional password is missing");
    return std::nullopt;
  }
  return Caller{*session, *user};
}

Json::Value Api::LoginReply(const std::string& request, const User& user) {
  Session session;
  session.id = RandomHex(16);
  session.userId = user.id;
  session.extraPending = !user.extraPasswordHash.empty();
  session.expires = Now() + config_.sessionTtlSeconds;
  store_.DeleteExpired(Now());
  store_.PutSession(session);
  if (session.extraPending) {
    Json::Value reply =
        StatusReply(request, "EXTRA_PASS", "This account asks for an additional password");
    reply["sessionId"] = session.id + kExtraPasswordMark;
    return reply;
  }
  Json::Value reply = OkReply(request);
  reply["sessionId"] = session.id;
  reply["users"].append(UserJson(user));
  return reply;
}

Api::Guess Api::GuessOf(const std::string& kind, const std::string& account) const {
  return {kind + ":account:" + Lower(Trim(account)), kind + ":client:" + client_};
}

std::optional<Json::Value> Api::Throttled(const std::string& request, const Guess& guess) {
  std::int64_t wait = 0;
  bool locked = false;
  const std::pair<const std::string*, GuessLimits> keys[] = {{&guess.accountKey, kAccountLimits},
                                                             {&guess.clientKey, kClientLimits}};
  for (const auto& [key, limits] : keys) {
    const Attempts attempts = store_.FindAttempts(*key);
    const std::int64_t left = attempts.blockedUntil - NowMillis();
    if (left <= 0) continue;
    wait = std::max(wait, left);
    locked = locked || attempts.failures >= limits.lockAfter;
  }
  if (wait <= 0) return std::nullopt;
  wait = (wait + 999) / 1000;
  if (locked) {
    const std::int64_t minutes = (wait + 59) / 60;
    return StatusReply(request, "TEMPORARILY_LOCKED",
                       "After too many wrong attempts, logging in is locked for " +
                           std::to_string(minutes) + (minutes == 1 ? " minute." : " minutes.") +
                           " Sessions already open go on.");
  }
  return StatusReply(request, "TOO_MANY_ATTEMPTS",
                     "Too many wrong attempts. Please try again in " + std::to_string(wait) +
                         (wait == 1 ? " second." : " seconds."));
}

void Api::Failed(const Guess& guess) {
  const std::pair<const std::string*, GuessLimits> keys[] = {{&guess.accountKey, kAccountLimits},
                                                             {&guess.clientKey, kClientLimits}};
  for (const auto& [key, limits] : keys) {
    Attempts attempts = store_.FindAttempts(*key);
    ++attempts.failures;
    // Free failures leave the time too: the counter is kept a day after it.
    attempts.blockedUntil = NowMillis();
    if (attempts.failures >= limits.lockAfter) {
      attempts.blockedUntil = NowMillis() + kLockSeconds * 1000;
    } else if (attempts.failures >= limits.freeFailures) {
      attempts.blockedUntil =
          NowMillis() + (std::int64_t{1000} << (attempts.failures - limits.freeFailures));
    }
    store_.PutAttempts(*key, attempts);
  }
}

void Api::Succeeded(const Guess& guess) {
  store_.PutAttempts(guess.accountKey, {});
}

Json::Value Api::GetTempSession(const std::string& request, const Params&) {
  Session session;
  session.id = RandomHex(16);
  session.captcha = RandomText(5, kCaptchaAlphabet);
  session.expires = Now() + std::min(config_.sessionTtlSeconds, kTemporarySessionSeconds);
  store_.DeleteExpired(Now());
  store_.PutSession(session);
  Json::Value reply = OkReply(request);
  reply["sessionId"] = session.id;
  return reply;
}

std::optional<std::string> Api::CaptchaPng(const std::string& sessionId) {
  const auto session = store_.FindSession(sessionId);
  if (!session || session->userId != 0 || session->captcha.empty() || session->expires <= Now()) {
    return std::nullopt;
  }
  return RenderCaptchaPng(session->captcha, std::random_device{}());
}

Json::Value Api::Register(const std::string& request, const Params& params) {
  const std::string missing = Missing(
      params, {"sessionId", "email", "password", "securityQuestion", "securityAnswer", "captcha"});
  if (!missing.empty()) return StatusReply(request, "MISSING_PARAMETER", "Missing: " + missing);
  auto session = store_.FindSession(Trim(Param(params, "sessionId")));
  if (!session || session->userId != 0 || session->expires <= Now()) {
    return StatusReply(request, "INVALID_SESSION", "The registration session has expired");
  }
  if (Upper(Trim(Param(params, "captcha"))) != session->captcha) {
    // A new picture for every wrong answer, and a few answers at most.
    if (++session->failures >= kMaxFailures) {
      store_.DeleteSession(session->id);
    } else {
      session->captcha = RandomText(5, kCaptchaAlphabet);
      store_.PutSession(*session);
    }
    return StatusReply(request, "INVALID_CAPTCHA",
                       "The characters you entered do not match the picture");
  }
  const std::string email = Trim(Param(params, "email"));
  const std::string password = Param(params, "password");
  if (!IsDeliverableAddress(email)) {
    return StatusReply(request, "INVALID_EMAIL", "Not an e-mail address: " + ValidUtf8(email));
  }
  if (store_.AddressTaken(email)) {
    return StatusReply(request, "USER_EXISTS", "An account for " + email + " exists already");
  }
  if (password.size() < kMinPasswordLength) {
    return StatusReply(request, "WEAK_PASSWORD", "The password needs at least 8 characters");
  }
  User user;
  user.email = email;
  user.registeredFrom = "VEILMARK";
  user.registerState = "REGISTERED";
  user.confirmed = false;
  user.confirmToken = RandomHex(32);
  user.passwordHash = HashSecret(password);
  user.securityQuestion = ValidUtf8(Trim(Param(params, "securityQuestion")));
  user.securityAnswerHash = HashSecret(NormalizeAnswer(Param(params, "securityAnswer")));
  user.id = store_.AddUser(user);
  store_.DeleteSession(session->id);
  KeyFor(email);
  Notify(email, kConfirmSubject,
         ConfirmationText(email, OwnAddress("/confirm?token=" + user.confirmToken)));
  Json::Value reply = OkReply(request, "Registered " + email);
  reply["users"].append(UserJson(user));
  return reply;
}

Json::Value Api::Login(const std::string& request, const Params& params) {
  const std::string missing = Missing(params, {"email", "password"});
  if (!missing.empty()) return StatusReply(request, "MISSING_PARAMETER", "Missing: " + missing);
  const Guess guess = GuessOf("password", Param(params, "email"));
  if (auto refusal = Throttled(request, guess)) return *refusal;
  const auto user = store_.FindUser(Trim(Param(params, "email")));
  // An unknown address costs the same time as a wrong password.
  if (!user) VerifySecret(Param(params, "password"), DecoyHash());
  if (!user || !VerifySecret(Param(params, "password"), user->passwordHash)) {
    Failed(guess);
    return StatusReply(request, "INVALID_CREDENTIALS", "Wrong e-mail address or password");
  }
  Succeeded(guess);
  return LoginReply(request, *user);
}

Json::Value Api::LoginWithOpenId(const std::string& request, const Params& params) {
  const std::string provider = Lower(Trim(Param(params, "provider")));
  if (provider != "google" && provider != "yahoo") {
    return StatusReply(request, "UNKNOWN_PROVIDER",
                       "OpenID login is offered for Google and Yahoo only");
  }
  OpenIdTicket ticket;
  ticket.ticket = RandomHex(16);
  ticket.provider = provider == "google" ? "Google" : "Yahoo";
  ticket.googleAppDomain = Lower(Trim(Param(params, "googleAppDomain")));
  ticket.yahooEmail = Trim(Param(params, "yahooEmail"));
  ticket.expires = Now() + kOpenIdSeconds;
  store_.DeleteExpired(Now());
  store_.PutTicket(ticket);
  Json::Value reply = OkReply(request);
  reply["openIdUrl"] = OwnAddress("/openid/start?ticket=" + ticket.ticket);
  return reply;
}

Page Api::OpenIdFailure(const std::string& message) {
  return JsonPage(403, StatusReply("login-with-open-id", "OPENID_FAILED", message));
}

Page Api::OpenIdStart(const std::string& ticketId) {
  auto ticket = store_.FindTicket(ticketId);
  if (!ticket || ticket->expires <= Now() || ticket->step != 0) {
    return OpenIdFailure("This login link is not valid any more");
  }
  ticket->cookie = RandomHex(16);
  ticket->step = 1;
  store_.PutTicket(*ticket);
  Page page{302, "text/plain; charset=utf-8", "Redirecting to the provider\n", {}};
  page.headers.emplace_back("Location", OwnAddress("/openid/authorize?ticket=" + ticketId));
  page.headers.emplace_back("Set-Cookie", std::string(kOpenIdCookie) + "=" + ticket->cookie +
                                              "; Path=/openid; Secure; HttpOnly; SameSite=Lax");
  return page;
}

Page Api::OpenIdAuthorize(const std::string& ticketId, const std::string& cookieHeader,
                          const std::string& email, const std::string& password,
                          const std::string& client) {
  auto ticket = store_.FindTicket(ticketId);
  if (!ticket || ticket->expires <= Now() || ticket->step != 1) {
    return OpenIdFailure("This login link is not valid any more");
  }
  if (CookieValue(cookieHeader, kOpenIdCookie) != ticket->cookie) {
    return OpenIdFailure("The browser did not keep the provider's cookie");
  }
  // The provider's own login page: its accounts and passwords are not
  // Veilmark's. The form is sent with GET because the add-in's browser
  // only follows links.
  std::string problem;
  if (!email.empty() || !password.empty()) {
    client_ = client;
    const Guess guess = GuessOf("provider-" + ticket->provider, email);
    if (auto refusal = Throttled("login-with-open-id", guess)) {
      problem = (*refusal)["status"]["message"][0].asString();
    } else {
      const auto hash = store_.ProviderPassword(ticket->provider, Lower(Trim(email)));
      if (!hash) VerifySecret(password, DecoyHash());
      if (hash && VerifySecret(password, *hash)) {
        Succeeded(guess);
        ticket->assertion = RandomHex(16);
        ticket->account = Lower(Trim(email));
        ticket->step = 2;
        store_.PutTicket(*ticket);
        Page page{302, "text/plain; charset=utf-8", "Returning to Veilmark\n", {}};
        page.headers.emplace_back("Location", OwnAddress("/openid/finish?ticket=" + ticketId +
                                                         "&assertion=" + ticket->assertion));
        return page;
      }
      Failed(guess);
      problem = "Wrong " + ticket->provider + " address or password.";
    }
  }
  const std::string shownEmail =
      !email.empty() ? email : (ticket->provider == "Yahoo" ? ticket->yahooEmail : "");
  return HtmlPage(problem.empty() ? 200 : 403, "Sign in with " + ticket->provider,
                  (problem.empty() ? "" : "<p role=\"alert\">" + HtmlEscape(problem) + "</p>\n") +
                      "<p>Veilmark asks " + HtmlEscape(ticket->provider) +
                      " to confirm who you are. Your " + HtmlEscape(ticket->provider) +
                      " password is not sent to Veilmark.</p>\n"
                      "<form method=\"get\" action=\"/openid/authorize\">\n"
                      "<input type=\"hidden\" name=\"ticket\" value=\"" +
                      HtmlEscape(ticketId) +
                      "\">\n"
                      "<label>E-mail address <input name=\"email\" type=\"email\" value=\"" +
                      HtmlEscape(shownEmail) +
                      "\"></label>\n"
                      "<label>Password <input name=\"password\" type=\"password\"></label>\n"
                      "<button type=\"submit\">Sign in</button>\n</form>\n");
}

Page Api::OpenIdFinish(const std::string& ticketId, const std::string& assertion,
                       const std::string& cookieHeader) {
  auto ticket = store_.FindTicket(ticketId);
  if (!ticket || ticket->expires <= Now() || ticket->step != 2) {
    return OpenIdFailure("This login link is not valid any more");
  }
  if (CookieValue(cookieHeader, kOpenIdCookie) != ticket->cookie ||
      assertion != ticket->assertion) {
    return OpenIdFailure("The provider's answer does not belong to this browser");
  }
  store_.DeleteTicket(ticketId);  // one login per ticket
  // The provider vouches for an address; it opens only an account that was
  // registered through that provider (and, for Apps, that domain).
  const auto user = store_.FindUser(ticket->account);
  bool through = false;
  if (user && ticket->provider == "Yahoo") {
    through = user->registeredFrom == "YAHOO";
  } else if (user && !ticket->googleAppDomain.empty()) {
    const std::string suffix = "@" + ticket->googleAppDomain;
    const std::string address = Lower(user->email);
    through = user->registeredFrom == "GOOGLE_APP" && address.size() > suffix.size() &&
              address.compare(address.size() - suffix.size(), suffix.size(), suffix) == 0;
  } else if (user) {
    through = user->registeredFrom == "GMAIL" || user->registeredFrom == "GOOGLE_APP";
  }
  if (!through) {
    return OpenIdFailure("No Veilmark account was registered through " + ticket->provider +
                         " for " + ticket->account);
  }
  return JsonPage(200, LoginReply("login-with-open-id", *user));
}

Json::Value Api::RetrieveSecurityQuestion(const std::string& request, const Params& params) {
  const std::string email = Trim(Param(params, "email"));
  if (email.empty()) return StatusReply(request, "MISSING_PARAMETER", "Missing: email");
  // Known or not, with or without a question: the same kind of answer.
  const auto user = store_.FindUser(email);
  Json::Value reply = OkReply(request);
  reply["securityQuestion"] =
      user && !user->securityQuestion.empty() ? user->securityQuestion : DecoyQuestion(email);
  return reply;
}

Json::Value Api::ResetPassword(const std::string& request, const Params& params) {
  const std::string missing = Missing(params, {"email", "securityQuestion", "securityAnswer"});
  if (!missing.empty()) return StatusReply(request, "MISSING_PARAMETER", "Missing: " + missing);
  const std::string email = Trim(Param(params, "email"));
  const Guess guess = GuessOf("answer", email);
  if (auto refusal = Throttled(request, guess)) return *refusal;
  const auto user = store_.FindUser(email);
  const std::string answer = NormalizeAnswer(Param(params, "securityAnswer"));
  // An unknown address is a wrong answer, in the same time.
  const bool right = user && !user->securityQuestion.empty() &&
                     Trim(Param(params, "securityQuestion")) == user->securityQuestion &&
                     VerifySecret(answer, user->securityAnswerHash);
  if (!user) VerifySecret(answer, DecoyHash());
  if (!right) {
    Failed(guess);
    return StatusReply(request, "INVALID_SECURITY_ANSWER",
                       "The security question or its answer is not right");
  }
  Succeeded(guess);
  // The notice first: a password nobody was told would lock the user out.
  const std::string password = RandomText(12, "abcdefghijkmnpqrstuvwxyz23456789");
  const std::string notice = DeliverToMaildir(
      config_.stateDir + "/mail", user->email, kServiceSender,
      BuildNoticeMessage({kServiceSender, {user->email}, {}, "Your Veilmark password was reset"},
                         "The password of your Veilmark account " + user->email +
                             " was reset.\n\nNew password: " + password +
                             "\n\nPlease log in with it.\n"));
  try {
    store_.ChangePassword(user->id, HashSecret(password));
  } catch (...) {
    ::unlink(notice.c_str());  // that password never took effect
    throw;
  }
  return OkReply(request, "A new password was sent to " + user->email);
}

Json::Value Api::ExtraPassword(const std::string& request, const Params& params) {
  const std::string missing = Missing(params, {"sessionId", "password"});
  if (!missing.empty()) return StatusReply(request, "MISSING_PARAMETER", "Missing: " + missing);
  auto session = store_.FindSession(WithoutExtraPasswordMark(Trim(Param(params, "sessionId"))));
  std::optional<User> user;
  if (session && session->userId != 0 && session->expires > Now()) {
    user = store_.FindUserById(session->userId);
  }
  if (!user)
    return StatusReply(request, "INVALID_SESSION", "The session has expired; please log in");
  if (session->extraPending) {
    if (!VerifySecret(Param(params, "password"), user->extraPasswordHash)) {
      if (++session->failures >= kMaxFailures) {
        store_.DeleteSession(session->id);
        return StatusReply(request, "INVALID_SESSION", "Too many wrong additional passwords");
      }
      store_.PutSession(*session);
      return StatusReply(request, "INVALID_EXTRA_PASSWORD", "Wrong additional password");
    }
    session->extraPending = false;
    session->failures = 0;
    store_.PutSession(*session);
  }
  Json::Value reply = OkReply(request);
  reply["sessionId"] = session->id;
  reply["users"].append(UserJson(*user));
  return reply;
}

Json::Value Api::CurrentUser(const std::string& request, const Params& params) {
  Json::Value refusal;
  const auto caller = Authenticate(request, params, refusal);
  if (!caller) return refusal;
  Json::Value reply = OkReply(request);
  reply["sessionId"] = caller->session.id;
  reply["users"].append(UserJson(caller->user));
  return reply;
}

Json::Value Api::CurrentUserAliases(const std::string& request, const Params& params) {
  Json::Value refusal;
  const auto caller = Authenticate(request, params, refusal);
  if (!caller) return refusal;
  Json::Value reply = OkReply(request);
  reply["aliases"] = Json::Value(Json::arrayValue);
  for (const auto& alias : store_.Aliases(caller->user.id)) reply["aliases"].append(alias);
  return reply;
}

Json::Value Api::Logout(const std::string& request, const Params& params) {
  const std::string id = WithoutExtraPasswordMark(Trim(Param(params, "sessionId")));
  if (id.empty()) return StatusReply(request, "INVALID_SESSION", "No session given");
  // Whatever was decrypted for the user is no longer served after a logout.
  if (const auto session = store_.FindSession(id); session && session->userId != 0) {
    store_.DeleteCopiesOf(session->userId);
  }
  store_.DeleteSession(id);
  return OkReply(request, "Logged out");
}

std::string Api::KeyFor(const std::string& address) {
  const auto owner = store_.FindUserByAddress(address);
  const std::string keyAddress = Lower(owner ? owner->email : address);
  // Two requests for a new address must not make two keys.
  static std::mutex keyMutex;
  std::lock_guard lock(keyMutex);
  if (auto fingerprint = store_.KeyFingerprint(keyAddress)) return *fingerprint;
  std::string fingerprint = keyring_.CreateKey(keyAddress);
  store_.SetKeyFingerprint(keyAddress, fingerprint);
  return fingerprint;
}

void Api::Notify(const std::string& recipient, const std::string& subject,
                 const std::string& text) {
  try {
    const std::string message =
        BuildNoticeMessage({kServiceSender, {recipient}, {}, subject}, text);
    DeliverToMaildir(config_.stateDir + "/mail", recipient, kServiceSender, message);
  } catch (const std::exception& error) {
    // The account change stands; only the notice is lost.
    std::cerr << "veilmark-service: notice to " << recipient << " lost: " << error.what()
              << std::endl;
  }
}

Json::Value Api::Encrypt(const std::string& request, const Params& params) {
  Json::Value refusal;
  const auto caller = Authenticate(request, params, refusal);
  if (!caller) return refusal;

  std::vector<std::string> lists[3] = {SplitAddresses(Param(params, "to")),
                                       SplitAddresses(Param(params, "cc")),
                                       SplitAddresses(Param(params, "bcc"))};
  std::set<std::string> seen;
  std::size_t total = 0;
  for (auto& list : lists) {
    std::vector<std::string> unique;
    for (const auto& address : list) {
      if (!IsDeliverableAddress(address)) {
        return StatusReply(request, "INVALID_RECIPIENT",
                           "Not a deliverable address: " + ValidUtf8(address));
      }
      if (seen.insert(Lower(address)).second) unique.push_back(address);
    }
    list = std::move(unique);
    total += list.size();
  }
  if (total == 0) return StatusReply(request, "NO_RECIPIENTS", "The message has no recipients");
  if (total > kMaxRecipients) {
    return StatusReply(request, "TOO_MANY_RECIPIENTS", "At most 100 recipients per message");
  }
  const auto& [to, cc, bcc] = lists;

  std::vector<MailFile> files;
  std::size_t attachedBytes = 0;
  const std::string ids = Param(params, "attachment");
  std::size_t start = 0;
  while (!ids.empty() && start <= ids.size()) {
    std::size_t end = ids.find(',', start);
    if (end == std::string::npos) end = ids.size();
    const std::string id = Trim(ids.substr(start, end - start));
    start = end + 1;
    std::optional<StoredFile> file;
    if (!id.empty() && id.size() <= 8 &&
        std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      file = store_.FindUpload(std::stoll(id), caller->user.id, Now());
    }
    if (!file) {
      return StatusReply(request, "UNKNOWN_ATTACHMENT", "No uploaded attachment " + ValidUtf8(id));
    }
    attachedBytes += file->data.size();
    if (attachedBytes > config_.maxPlaintextBytes) {
      return StatusReply(request, "MESSAGE_TOO_LARGE", "The attachments together are too large");
    }
    files.push_back({file->name, file->contentType, std::move(file->data)});
  }

  std::set<std::string> newKeys;
  for (const auto& list : lists) {
    for (const auto& address : list) {
      const auto owner = store_.FindUserByAddress(address);
      const std::string keyAddress = Lower(owner ? owner->email : address);
      if (!store_.KeyFingerprint(keyAddress)) newKeys.insert(keyAddress);
    }
  }
  if (newKeys.size() > kMaxNewKeys) {
    return StatusReply(
        request, "TOO_MANY_NEW_RECIPIENTS",
        "At most " + std::to_string(kMaxNewKeys) + " recipients new to Veilmark per message");
  }

  const std::string clear = BuildClearEntity(Param(params, "body"), files);
  const Envelope envelope{caller->user.email, to, cc, ValidUtf8(Param(params, "subject"))};
  std::vector<std::string> visible;  // to and cc: every copy is encrypted to them
  for (const auto& address : to) visible.push_back(KeyFor(address));
  for (const auto& address : cc) visible.push_back(KeyFor(address));

  if (request != "encrypt-send") {
    std::vector<std::string> everyone = visible;
    for (const auto& address : bcc) everyone.push_back(KeyFor(address));
    const std::string armored = keyring_.Encrypt(clear, everyone);
    Json::Value reply = OkReply(request);
    reply["cipherText"] = request == "encrypt" ? armored : BuildEncryptedMessage(envelope, armored);
    return reply;
  }

  // A retry of a send that went through (its answer lost on the way) is
  // answered as the first one was, without a second delivery.
  std::string digest = std::to_string(caller->user.id);
  for (const char* name : {"to", "cc", "bcc", "subject", "body", "attachment"}) {
    const std::string value = Param(params, name);
    digest += "\n" + std::to_string(value.size()) + ":" + value;
  }
  digest = Sha256Hex(digest);
  const std::string sent =
      "Sent to " + std::to_string(total) + " recipient" + (total == 1 ? "" : "s");
  if (!store_.ClaimSend(digest, Now(), kResendWindowSeconds)) return OkReply(request, sent);

  // Every copy is written first and published together, or none is.
  const std::string mailRoot = config_.stateDir + "/mail";
  std::vector<StagedMail> staged;
  try {
    if (!visible.empty()) {
      const std::string message = BuildEncryptedMessage(envelope, keyring_.Encrypt(clear, visible));
      for (const auto* list : {&to, &cc}) {
        for (const auto& address : *list) {
          staged.push_back(StageToMaildir(mailRoot, address, caller->user.email, message));
        }
      }
    }
    // Each blind copy is encrypted to its own reader besides the visible ones,
    // so no recipient learns of another's blind copy from the key ids.
    for (const auto& address : bcc) {
      std::vector<std::string> keys = visible;
      keys.push_back(KeyFor(address));
      const std::string message = BuildEncryptedMessage(envelope, keyring_.Encrypt(clear, keys));
      staged.push_back(StageToMaildir(mailRoot, address, caller->user.email, message));
    }
    PublishStaged(staged);
  } catch (...) {
    DiscardStaged(staged);
    store_.ReleaseSend(digest);
    throw;
  }
  return OkReply(request, sent);
}

Json::Value Api::DecryptMime(const std::string& request, const Params& params) {
  Json::Value refusal;
  const auto caller = Authenticate(request, params, refusal);
  if (!caller) return refusal;
  const std::string cipherText = Param(params, "cipherText");
  if (cipherText.empty()) return StatusReply(request, "MISSING_PARAMETER", "Missing: cipherText");

  // The armored block wherever it sits (the payload alone or a whole
  // message), or binary OpenPGP packets (first byte with the top bit set).
  std::string payload;
  const std::size_t begin = cipherText.find("-----BEGIN PGP MESSAGE-----");
  if (begin != std::string::npos) {
    const std::string endMark = "-----END PGP MESSAGE-----";
    const std::size_t end = cipherText.find(endMark, begin);
    payload = cipherText.substr(
        begin, end == std::string::npos ? std::string::npos : end + endMark.size() - begin);
    payload += "\n";
  } else if (static_cast<unsigned char>(cipherText[0]) & 0x80) {
    payload = cipherText;
  } else {
    return StatusReply(request, "NOT_OPENPGP", "The payload is not an OpenPGP message");
  }

  // Mail to the address may predate the account: only its proven owner reads it.
  if (!caller->user.confirmed) return StatusReply(request, "EMAIL_NOT_CONFIRMED", kConfirmMessage);
  KeyFor(caller->user.email);  // a key of its own, also for a user nobody wrote to yet

  // Only the caller's own secret key takes part, whatever the packets claim.
  DecryptOutcome outcome =
      keyring_.Decrypt(payload, config_.maxPlaintextBytes, Lower(caller->user.email));
  // Packets that name no recipient at all are no message encrypted to a key.
  if (outcome.status == DecryptOutcome::Status::kNotOpenPgp ||
      (outcome.recipientKeyIds.empty() && outcome.status != DecryptOutcome::Status::kOk &&
       outcome.status != DecryptOutcome::Status::kNoSecretKey)) {
    return StatusReply(request, "NOT_OPENPGP", "The payload is not an OpenPGP message");
  }
  if (outcome.status == DecryptOutcome::Status::kTooLarge) {
    return StatusReply(request, "MESSAGE_TOO_LARGE", "The decrypted message is too large");
  }
  // Whatever packets it carries, a message the caller's key does not open
  // is not the caller's to read.
  if (outcome.status != DecryptOutcome::Status::kOk) {
    return StatusReply(
        request, "NOT_A_RECIPIENT",
        outcome.status == DecryptOutcome::Status::kNoSecretKey
            ? "This message was not encrypted for " + caller->user.email
            : "This message cannot be decrypted with the key of " + caller->user.email);
  }

  auto content = ReadClearEntity(outcome.plaintext);
  if (!content) content = ClearContent{outcome.plaintext, false, {}};
  Json::Value reply = OkReply(request);
  const std::string clearText = ValidUtf8(content->text);
  reply["clearText"] = content->html ? clearText : PlainTextAsHtml(clearText);
  reply["decryptedAttachments"] = Json::Value(Json::arrayValue);
  for (const auto& file : content->attachments) {
    const std::string name = SafeFileName(file.name);
    const std::string type =
        IsMimeType(file.contentType) ? Lower(file.contentType) : "application/octet-stream";
    const std::string token =
        store_.KeepCopy(caller->user.id, {name, type, file.data}, Now() + config_.copyTtlSeconds);
    Json::Value attachment(Json::objectValue);
    attachment["name"] = name;
    attachment["url"] = "/attachments/" + token + "/" + PercentEncode(name);
    attachment["previewUrl"] =
        IsImageType(type) ? "/previews/" + token + "/" + PercentEncode(name) : "";
    attachment["size"] = static_cast<Json::Int64>(file.data.size());
    attachment["contentType"] = type;
    reply["decryptedAttachments"].append(attachment);
  }
  return reply;
}

Json::Value Api::RunUpload(const std::vector<FormPart>& parts) {
  const std::string request = "upload-attachments";
  try {
    Params params;
    const FormPart* file = nullptr;
    for (const auto& part : parts) {
      if (part.fileName && (!file || (part.name == "ATT1" && file->name != "ATT1"))) file = &part;
      if (!part.fileName) params.emplace(part.name, part.data);
    }
    Json::Value refusal;
    const auto caller = Authenticate(request, params, refusal);
    if (!caller) return refusal;
    if (!file) return StatusReply(request, "MISSING_ATTACHMENT", "The upload holds no file");
    if (file->data.size() > config_.maxAttachmentBytes) {
      return StatusReply(request, "ATTACHMENT_TOO_LARGE", "Attachments may be 25 MiB at most");
    }
    const std::string name = SafeFileName(*file->fileName);
    const std::string type = IsMimeType(Trim(file->contentType)) ? Lower(Trim(file->contentType))
                                                                 : "application/octet-stream";
    store_.DeleteExpired(Now());
    const std::int64_t id = store_.AddUpload(caller->user.id, {name, type, file->data},
                                             Now() + config_.uploadTtlSeconds);
    Json::Value reply = OkReply(request);
    Json::Value attachment(Json::objectValue);
    attachment["id"] = static_cast<Json::Int64>(id);
    attachment["name"] = name;
    reply["att"].append(attachment);
    return reply;
  } catch (const std::exception& error) {
    std::cerr << "veilmark-service: " << request << ": " << error.what() << std::endl;
    return StatusReply(request, "SERVER_ERROR", "The service could not complete the request");
  }
}

Page Api::ConfirmAddress(const std::string& token) {
  const auto user = store_.ConfirmAddress(token);
  if (!user) {
    return HtmlPage(404, "Link not valid",
                    "<p>This confirmation link is not valid, or was used already.</p>\n");
  }
  return HtmlPage(200, "Address confirmed",
                  "<p>Thank you: " + HtmlEscape(user->email) +
                      " is confirmed. You can now read your protected mail.</p>\n");
}

std::optional<Page> Api::AttachmentCopy(const std::string& token, bool preview) {
  auto copy = store_.FindCopy(token, Now());
  if (!copy || (preview && !IsImageType(copy->contentType))) return std::nullopt;
  Page page{200, copy->contentType, std::move(copy->data), {}};
  // An ASCII name for old clients: one "_" per other character.
  std::string fallback;
  for (const char c : copy->name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 && byte < 0xc0) continue;  // inside a UTF-8 sequence
    fallback.push_back(byte >= 0x20 && byte < 0x7f && c != '"' && c != '\\' ? c : '_');
  }
  page.headers.emplace_back("Content-Disposition",
                            std::string(preview ? "inline" : "attachment") + "; filename=\"" +
                                fallback + "\"; filename*=UTF-8''" + PercentEncode(copy->name));
  page.headers.emplace_back("X-Content-Type-Options", "nosniff");
  page.headers.emplace_back("Content-Security-Policy", "sandbox");
  return page;
}

}  // namespace veilmark::service
