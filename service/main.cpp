// veilmark-service: the local stand-in for the Veilmark web service, and its
// admin sub-commands over the same state folder.
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "api.h"
#include "certificates.h"
#include "http_server.h"
#include "maildir.h"
#include "mime.h"
#include "openpgp.h"
#include "secrets.h"
#include "store.h"

namespace veilmark::service {
namespace {

const char kUsage[] =
    "usage:\n"
    "  veilmark-service --state DIR [--port N] [--session-ttl SECONDS] [--idle-timeout SECONDS]\n"
    "      [--upload-ttl SECONDS] [--attachment-link-ttl SECONDS] [--request-timeout SECONDS]\n"
    "      [--message-shape list|text] [--stall COMMAND[,COMMAND...]=SECONDS]\n"
    "      serve on 127.0.0.1:N (0 or none: a free port); prints\n"
    "      \"listening port=<P> ca=<DIR/ca.pem>\" once ready; stops on SIGTERM or SIGINT;\n"
    "      --message-shape text sends status.message as one string, not a list;\n"
    "      --stall answers those commands only after SECONDS (upload-attachments too)\n"
    "  veilmark-service --state DIR add-user EMAIL PASSWORD [--extra-password P]\n"
    "      [--alias A ...] [--registered-from VEILMARK|GMAIL|GOOGLE_APP|YAHOO|HOTMAIL|AOL]\n"
    "      [--security-question Q --security-answer A] [--first-name F] [--last-name L]\n"
    "      [--provider-password P] [--confirm-at https://localhost:PORT]\n"
    "      --provider-password: the account's password at the mock OpenID provider\n"
    "      (GMAIL and GOOGLE_APP: Google, YAHOO: Yahoo), apart from the Veilmark one\n"
    "      --confirm-at: the account reads nothing until its owner follows the link\n"
    "      (on the running service at that address) mailed to EMAIL, as after registering\n"
    "  veilmark-service --state DIR add-alias EMAIL ALIAS...\n"
    "  veilmark-service --state DIR captcha-text SESSION_ID\n"
    "      the text of a registration session's CAPTCHA, for tests and demos\n"
    "  veilmark-service --state DIR expire-sessions [EMAIL]\n"
    "      ends the sessions of one user (or all), as if their time had run out\n";

struct Arguments {
  std::vector<std::string> words;
  std::multimap<std::string, std::string> options;

  std::string Option(const std::string& name, const std::string& fallback = "") const {
    const auto found = options.find(name);
    return found == options.end() ? fallback : found->second;
  }
};

int UsageError(const std::string& message) {
  std::cerr << "veilmark-service: " << message << "\n" << kUsage;
  return 2;
}

// Every option takes a value; everything else is a word.
bool Parse(int argc, char** argv, Arguments& arguments, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--", 0) == 0) {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      arguments.options.emplace(arg.substr(2), argv[++i]);
    } else {
      arguments.words.push_back(arg);
    }
  }
  return true;
}

bool CheckOptions(const Arguments& arguments, std::initializer_list<const char*> allowed,
                  std::string& error) {
  for (const auto& [name, value] : arguments.options) {
    bool known = false;
    for (const char* option : allowed) known = known || name == option;
    if (!known) {
      error = "unknown option --" + name;
      return false;
    }
  }
  return true;
}

bool ParseSeconds(const std::string& text, long max, long& value) {
  if (text.empty() || text.size() > 10) return false;
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < 0 || parsed > max) return false;
  value = parsed;
  return true;
}

std::string PrepareStateDir(const std::string& dir) {
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    throw std::runtime_error("cannot create " + dir);
  }
  // Keys, mail and the database are the owner's alone, also in a folder an
  // older version left open to others.
  if (::chmod(dir.c_str(), 0700) != 0) throw std::runtime_error("cannot restrict " + dir);
  char resolved[PATH_MAX];
  if (!::realpath(dir.c_str(), resolved)) throw std::runtime_error("cannot resolve " + dir);
  return resolved;
}

int AddUser(const std::string& stateDir, const Arguments& arguments) {
  std::string error;
  if (!CheckOptions(
          arguments,
          {"state", "extra-password", "alias", "registered-from", "security-question",
           "security-answer", "first-name", "last-name", "provider-password", "confirm-at"},
          error)) {
    return UsageError(error);
  }
  if (arguments.words.size() != 3) return UsageError("add-user takes EMAIL and PASSWORD");
  const std::string question = arguments.Option("security-question");
  const std::string answer = arguments.Option("security-answer");
  if (question.empty() != answer.empty()) {
    return UsageError("--security-question and --security-answer go together");
  }
  User user;
  user.email = arguments.words[1];
  if (!IsDeliverableAddress(user.email)) return UsageError("not a plain address: " + user.email);
  if (arguments.words[2].empty()) return UsageError("the password is empty");
  user.passwordHash = HashSecret(arguments.words[2]);
  const std::string extra = arguments.Option("extra-password");
  if (!extra.empty()) user.extraPasswordHash = HashSecret(extra);
  user.registeredFrom = arguments.Option("registered-from", "VEILMARK");
  for (char& c : user.registeredFrom)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  user.registerState = "REGISTERED";
  const std::string confirmAt = arguments.Option("confirm-at");
  if (!confirmAt.empty()) {
    if (confirmAt.rfind("https://", 0) != 0)
      return UsageError("--confirm-at takes https://HOST:PORT");
    user.confirmed = false;
    user.confirmToken = RandomHex(32);
  }
  user.firstName = arguments.Option("first-name");
  user.lastName = arguments.Option("last-name");
  user.securityQuestion = question;
  if (!answer.empty()) {
    std::string normalized;
    const auto first = answer.find_first_not_of(" \t");
    if (first != std::string::npos) {
      normalized = answer.substr(first, answer.find_last_not_of(" \t") - first + 1);
    }
    for (char& c : normalized) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    user.securityAnswerHash = HashSecret(normalized);
  }
  const std::string providerPassword = arguments.Option("provider-password");
  std::string provider;
  if (user.registeredFrom == "GMAIL" || user.registeredFrom == "GOOGLE_APP") provider = "Google";
  if (user.registeredFrom == "YAHOO") provider = "Yahoo";
  if (!providerPassword.empty() && provider.empty()) {
    return UsageError("--provider-password needs --registered-from GMAIL, GOOGLE_APP or YAHOO");
  }
  Store store(stateDir + "/service.db");
  if (store.AddressTaken(user.email)) {
    std::cerr << "veilmark-service: " << user.email << " exists already\n";
    return 1;
  }
  const std::int64_t id = store.AddUser(user);
  if (!providerPassword.empty()) {
    std::string address = user.email;
    for (char& c : address) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    store.SetProviderPassword(provider, address, HashSecret(providerPassword));
  }
  for (auto [it, end] = arguments.options.equal_range("alias"); it != end; ++it) {
    if (!IsDeliverableAddress(it->second) || !store.AddAlias(id, it->second)) {
      std::cerr << "veilmark-service: alias " << it->second << " is taken or not an address\n";
      return 1;
    }
  }
  if (!user.confirmed) {
    InitMime();
    const char* sender = "no-reply@veilmark.localhost";
    DeliverToMaildir(
        stateDir + "/mail", user.email, sender,
        BuildNoticeMessage(
            {sender, {user.email}, {}, kConfirmSubject},
            ConfirmationText(user.email, confirmAt + "/confirm?token=" + user.confirmToken)));
    ShutdownMime();
  }
  std::cout << "added " << user.email << "\n";
  return 0;
}

int AddAlias(const std::string& stateDir, const Arguments& arguments) {
  std::string error;
  if (!CheckOptions(arguments, {"state"}, error)) return UsageError(error);
  if (arguments.words.size() < 3) return UsageError("add-alias takes EMAIL and ALIAS...");
  Store store(stateDir + "/service.db");
  const auto user = store.FindUser(arguments.words[1]);
  if (!user) {
    std::cerr << "veilmark-service: no user " << arguments.words[1] << "\n";
    return 1;
  }
  for (std::size_t i = 2; i < arguments.words.size(); ++i) {
    if (!IsDeliverableAddress(arguments.words[i]) ||
        !store.AddAlias(user->id, arguments.words[i])) {
      std::cerr << "veilmark-service: alias " << arguments.words[i]
                << " is taken or not an address\n";
      return 1;
    }
  }
  return 0;
}

int CaptchaText(const std::string& stateDir, const Arguments& arguments) {
  std::string error;
  if (!CheckOptions(arguments, {"state"}, error)) return UsageError(error);
  if (arguments.words.size() != 2) return UsageError("captcha-text takes SESSION_ID");
  Store store(stateDir + "/service.db");
  const auto session = store.FindSession(arguments.words[1]);
  if (!session || session->userId != 0 || session->captcha.empty()) {
    std::cerr << "veilmark-service: no registration session " << arguments.words[1] << "\n";
    return 1;
  }
  std::cout << session->captcha << "\n";
  return 0;
}

int ExpireSessions(const std::string& stateDir, const Arguments& arguments) {
  std::string error;
  if (!CheckOptions(arguments, {"state"}, error)) return UsageError(error);
  if (arguments.words.size() > 2) return UsageError("expire-sessions takes at most one EMAIL");
  Store store(stateDir + "/service.db");
  if (arguments.words.size() == 1) {
    store.DeleteAllSessions();
    return 0;
  }
  const auto user = store.FindUser(arguments.words[1]);
  if (!user) {
    std::cerr << "veilmark-service: no user " << arguments.words[1] << "\n";
    return 1;
  }
  store.DeleteSessionsOf(user->id);
  return 0;
}

int Serve(const std::string& stateDir, const Arguments& arguments) {
  std::string error;
  if (!CheckOptions(arguments,
                    {"state", "port", "session-ttl", "idle-timeout", "upload-ttl",
                     "attachment-link-ttl", "request-timeout", "message-shape", "stall"},
                    error)) {
    return UsageError(error);
  }
  long port = 0;
  long ttl = 30L * 24 * 3600;
  long idle = 30;
  if (!ParseSeconds(arguments.Option("port", "0"), 65535, port)) return UsageError("bad --port");
  if (!ParseSeconds(arguments.Option("session-ttl", std::to_string(ttl)), 100L * 365 * 24 * 3600,
                    ttl) ||
      ttl == 0) {
    return UsageError("bad --session-ttl");
  }
  if (!ParseSeconds(arguments.Option("idle-timeout", "30"), 3600, idle) || idle == 0) {
    return UsageError("bad --idle-timeout");
  }
  long requestTimeout = 20;
  if (!ParseSeconds(arguments.Option("request-timeout", "20"), 3600, requestTimeout) ||
      requestTimeout == 0) {
    return UsageError("bad --request-timeout");
  }
  ApiConfig config;
  long uploadTtl = static_cast<long>(config.uploadTtlSeconds);
  long linkTtl = static_cast<long>(config.copyTtlSeconds);
  if (!ParseSeconds(arguments.Option("upload-ttl", std::to_string(uploadTtl)), 365L * 24 * 3600,
                    uploadTtl) ||
      uploadTtl == 0) {
    return UsageError("bad --upload-ttl");
  }
  if (!ParseSeconds(arguments.Option("attachment-link-ttl", std::to_string(linkTtl)),
                    365L * 24 * 3600, linkTtl) ||
      linkTtl == 0) {
    return UsageError("bad --attachment-link-ttl");
  }
  const std::string messageShape = arguments.Option("message-shape", "list");
  if (messageShape != "list" && messageShape != "text") return UsageError("bad --message-shape");
  std::set<std::string> stallCommands;
  long stallSeconds = 0;
  if (const std::string stall = arguments.Option("stall"); !stall.empty()) {
    const std::size_t equals = stall.rfind('=');
    if (equals == std::string::npos || equals == 0 ||
        !ParseSeconds(stall.substr(equals + 1), requestTimeout - 1, stallSeconds)) {
      return UsageError("bad --stall (COMMAND[,COMMAND...]=SECONDS, below --request-timeout)");
    }
    std::size_t start = 0;
    while (start < equals) {
      const std::size_t comma = std::min(stall.find(',', start), equals);
      if (comma == start) return UsageError("bad --stall: an empty command");
      stallCommands.insert(stall.substr(start, comma - start));
      start = comma + 1;
    }
  }

  // Signals are taken by sigwait below, never by a handler in some thread.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  InitMime();
  Keyring::InitGpgme();
  const TlsFiles tls = LoadOrCreateTls(stateDir);
  Store store(stateDir + "/service.db");
  Keyring keyring(stateDir + "/gnupg", stateDir + "/keys");
  if (const int moved = keyring.MoveSharedSecretKeys()) {
    std::cerr << "veilmark-service: moved " << moved
              << " secret key(s) from the shared GnuPG home into homes of their own\n";
  }
  config.stateDir = stateDir;
  config.uploadTtlSeconds = uploadTtl;
  config.copyTtlSeconds = linkTtl;
  config.sessionTtlSeconds = ttl;
  config.messageAsText = messageShape == "text";
  Api api(config, store, keyring);
  ServerOptions options;
  options.port = static_cast<std::uint16_t>(port);
  options.idleSeconds = static_cast<int>(idle);
  options.requestSeconds = static_cast<int>(requestTimeout);
  options.stallCommands = std::move(stallCommands);
  options.stallSeconds = static_cast<int>(stallSeconds);
  HttpServer server(api, tls, options);
  const std::uint16_t publicPort = server.Start();
  api.SetPublicPort(publicPort);
  std::cout << "listening port=" << publicPort << " ca=" << tls.caCertificate << std::endl;

  int signal = 0;
  sigwait(&stopSignals, &signal);
  server.Stop();
  keyring.StopAgent();
  ShutdownMime();
  return 0;
}

}  // namespace
}  // namespace veilmark::service

int main(int argc, char** argv) {
  using namespace veilmark::service;
  Arguments arguments;
  std::string error;
  if (argc == 2 && (std::string(argv[1]) == "--help" || std::string(argv[1]) == "-h")) {
    std::cout << kUsage;
    return 0;
  }
  if (!Parse(argc, argv, arguments, error)) return UsageError(error);
  const std::string state = arguments.Option("state");
  if (state.empty()) return UsageError("--state DIR is required");
  // Everything the service writes (database, keys, mail) is for its owner only.
  ::umask(077);
  try {
    const std::string stateDir = PrepareStateDir(state);
    const std::string command = arguments.words.empty() ? "" : arguments.words[0];
    if (command.empty()) return Serve(stateDir, arguments);
    if (command == "add-user") return AddUser(stateDir, arguments);
    if (command == "add-alias") return AddAlias(stateDir, arguments);
    if (command == "captcha-text") return CaptchaText(stateDir, arguments);
    if (command == "expire-sessions") return ExpireSessions(stateDir, arguments);
    return UsageError("unknown sub-command " + command);
  } catch (const std::exception& failure) {
    std::cerr << "veilmark-service: " << failure.what() << "\n";
    return 1;
  }
}
