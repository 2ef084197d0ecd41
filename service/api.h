// The service's commands and pages, apart from HTTP: each command takes the
// decoded form and returns the reply document the add-in parses.
#pragma once

#include <json/json.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "form.h"
#include "openpgp.h"
#include "store.h"

namespace veilmark::service {

using Params = std::map<std::string, std::string>;

struct ApiConfig {
  std::string stateDir;
  std::int64_t sessionTtlSeconds = std::int64_t{30} * 24 * 3600;
  std::size_t maxAttachmentBytes = 25u << 20;
  std::size_t maxPlaintextBytes = 64u << 20;
  std::int64_t uploadTtlSeconds = std::int64_t{24} * 3600;
  std::int64_t copyTtlSeconds = std::int64_t{7} * 24 * 3600;
  // "status.message" as one plain string (the first message, or empty)
  // instead of a list, as some deployments send it; the add-in must still
  // read the status code.
  bool messageAsText = false;
};

// A page of the mock OpenID provider or a file the service serves.
struct Page {
  int status = 200;
  std::string contentType;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

// {"request", "status": {"statusCode", "message": [...]}} and nothing else.
Json::Value StatusReply(const std::string& request, const std::string& code,
                        const std::string& message);
std::string WriteJson(const Json::Value& value);

// The mail that asks a new account's owner to follow `link`.
inline constexpr const char* kConfirmSubject = "Please confirm your Veilmark account";
std::string ConfirmationText(const std::string& email, const std::string& link);

class Api {
 public:
  Api(ApiConfig config, Store& store, Keyring& keyring);

  // The port in the service's own addresses (OpenID pages); set once listening.
  void SetPublicPort(std::uint16_t port) { publicPort_ = port; }

  // `client` is the caller's network address, for the guessing limits.
  Json::Value Command(const std::string& command, const Params& params,
                      const std::string& client = "");
  Json::Value UploadAttachments(const std::vector<FormPart>& parts);
  // A reply in the shape this service sends (see ApiConfig::messageAsText).
  Json::Value Shaped(Json::Value reply) const;

  // The CAPTCHA of a registration session, as PNG.
  std::optional<std::string> CaptchaPng(const std::string& sessionId);

  // The mock OpenID provider: start sets a cookie, authorize checks it and
  // shows the provider's login page, whose form (sent to authorize again
  // with the address and the provider password) vouches for that account;
  // finish checks cookie and assertion and answers as a login does.
  Page OpenIdStart(const std::string& ticket);
  Page OpenIdAuthorize(const std::string& ticket, const std::string& cookieHeader,
                       const std::string& email, const std::string& password,
                       const std::string& client);
  Page OpenIdFinish(const std::string& ticket, const std::string& assertion,
                    const std::string& cookieHeader);

  // The page behind the link that registration mails.
  Page ConfirmAddress(const std::string& token);

  // A kept copy of a decrypted attachment; previews exist for images only.
  std::optional<Page> AttachmentCopy(const std::string& token, bool preview);

 private:
  using Handler = Json::Value (Api::*)(const std::string& request, const Params& params);

  // The guesses of one secret (a password, an answer) about one account
  // from one client: both are slowed down by their failures, apart.
  struct Guess {
    std::string accountKey;
    std::string clientKey;
  };
  Guess GuessOf(const std::string& kind, const std::string& account) const;
  // The refusal to give instead of checking the guess, if any.
  std::optional<Json::Value> Throttled(const std::string& request, const Guess& guess);
  void Failed(const Guess& guess);
  void Succeeded(const Guess& guess);

  struct Caller {
    Session session;
    User user;
  };
  // The caller of a command, or the refusal to give in its place.
  std::optional<Caller> Authenticate(const std::string& request, const Params& params,
                                     Json::Value& refusal);

  Json::Value GetTempSession(const std::string& request, const Params& params);
  Json::Value Register(const std::string& request, const Params& params);
  Json::Value Login(const std::string& request, const Params& params);
  Json::Value LoginWithOpenId(const std::string& request, const Params& params);
  Json::Value RetrieveSecurityQuestion(const std::string& request, const Params& params);
  Json::Value ResetPassword(const std::string& request, const Params& params);
  Json::Value ExtraPassword(const std::string& request, const Params& params);
  Json::Value CurrentUser(const std::string& request, const Params& params);
  Json::Value CurrentUserAliases(const std::string& request, const Params& params);
  Json::Value Logout(const std::string& request, const Params& params);
  Json::Value Encrypt(const std::string& request, const Params& params);
  Json::Value DecryptMime(const std::string& request, const Params& params);

  // OK with a new session and the user, or EXTRA_PASS with a pending one.
  Json::Value LoginReply(const std::string& request, const User& user);
  // The fingerprint of the key for the user of `address` (its owner's
  // primary address when it is an alias), made on first use.
  std::string KeyFor(const std::string& address);
  void Notify(const std::string& recipient, const std::string& subject, const std::string& text);
  Page OpenIdFailure(const std::string& message);
  std::string OwnAddress(const std::string& path) const;
  std::int64_t Now() const;
  std::int64_t NowMillis() const;
  Json::Value RunCommand(const std::string& command, const Params& params);
  Json::Value RunUpload(const std::vector<FormPart>& parts);

  ApiConfig config_;
  Store& store_;
  Keyring& keyring_;
  std::atomic<std::uint16_t> publicPort_{0};
  // The caller's address while a command runs (each runs on its own thread).
  static thread_local std::string client_;
  std::map<std::string, Handler> handlers_;
};

}  // namespace veilmark::service
