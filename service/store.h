// The service's state in SQLite: users and aliases, sessions, OpenID
// tickets, uploads, decrypted copies and the users' key fingerprints.
// One connection, used under one lock; the admin sub-commands open the
// same file from another process (WAL mode, busy timeout).
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "handles.h"

namespace veilmark::service {

struct DatabaseError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct User {
  std::int64_t id = 0;
  std::string email;
  std::string firstName, middleName, lastName;
  std::string registeredFrom;  // VEILMARK, GMAIL, GOOGLE_APP, YAHOO, HOTMAIL, AOL
  std::string registerState;
  std::string passwordHash;
  std::string extraPasswordHash;  // empty: no additional password
  std::string securityQuestion;
  std::string securityAnswerHash;
  // Registration mails a link; until it is followed the account reads nothing.
  bool confirmed = true;
  std::string confirmToken;  // only written by AddUser
};

// Failed guesses of one account or one client.
struct Attempts {
  int failures = 0;
  std::int64_t blockedUntil = 0;  // no guess is taken before then (ms since the epoch)
};

struct Session {
  std::string id;
  std::int64_t userId = 0;  // 0 for a temporary (registration) session
  bool extraPending = false;
  int failures = 0;     // wrong additional passwords or CAPTCHA answers
  std::string captcha;  // temporary sessions only
  std::int64_t expires = 0;
};

struct OpenIdTicket {
  std::string ticket;
  std::string provider;  // "Google" or "Yahoo"
  std::string googleAppDomain;
  std::string yahooEmail;
  std::string cookie;     // set by the start page
  std::string assertion;  // set by the provider page
  std::string account;    // the address the provider vouched for
  int step = 0;           // 0 new, 1 cookie set, 2 asserted
  std::int64_t expires = 0;
};

struct StoredFile {
  std::string name;
  std::string contentType;
  std::string data;
};

class Store {
 public:
  explicit Store(const std::string& path);

  // Users. AddUser throws DatabaseError when the address (or an alias) is taken.
  std::int64_t AddUser(const User& user);
  std::optional<User> FindUser(const std::string& email);
  std::optional<User> FindUserById(std::int64_t id);
  // By address or by alias.
  std::optional<User> FindUserByAddress(const std::string& address);
  // False when the alias is already an address or an alias.
  bool AddAlias(std::int64_t userId, const std::string& alias);
  std::vector<std::string> Aliases(std::int64_t userId);
  // Taken as a user's address or alias (case-insensitive).
  bool AddressTaken(const std::string& address);

  // Sessions.
  void PutSession(const Session& session);
  std::optional<Session> FindSession(const std::string& id);
  void DeleteSession(const std::string& id);
  void DeleteSessionsOf(std::int64_t userId);
  void DeleteAllSessions();
  void DeleteExpired(std::int64_t now);

  // OpenID tickets.
  void PutTicket(const OpenIdTicket& ticket);
  std::optional<OpenIdTicket> FindTicket(const std::string& ticket);
  void DeleteTicket(const std::string& ticket);

  // Uploads (ids grow from 1) and decrypted copies, each kept until
  // `expires` (0: for ever); expired ones are never found.
  std::int64_t AddUpload(std::int64_t userId, const StoredFile& file, std::int64_t expires);
  std::optional<StoredFile> FindUpload(std::int64_t id, std::int64_t userId, std::int64_t now);
  // The token of an identical copy of this user's (its life renewed), or of a new one.
  std::string KeepCopy(std::int64_t userId, const StoredFile& file, std::int64_t expires);
  std::optional<StoredFile> FindCopy(const std::string& token, std::int64_t now);
  void DeleteCopiesOf(std::int64_t userId);

  // The new password, the end of every session and attachment link, or none of them.
  void ChangePassword(std::int64_t userId, const std::string& hash);
  // Marks the user of an unused confirmation token confirmed.
  std::optional<User> ConfirmAddress(const std::string& token);

  // Accounts of the mock OpenID provider: their passwords are not Veilmark's.
  void SetProviderPassword(const std::string& provider, const std::string& email,
                           const std::string& hash);
  std::optional<std::string> ProviderPassword(const std::string& provider,
                                              const std::string& email);

  // Guessing limits, by key ("account:<address>", "client:<ip>").
  Attempts FindAttempts(const std::string& key);
  void PutAttempts(const std::string& key, const Attempts& attempts);

  // False when the same send was claimed within `window` seconds; a claim
  // is released when its delivery fails.
  bool ClaimSend(const std::string& digest, std::int64_t now, std::int64_t window);
  void ReleaseSend(const std::string& digest);

  // OpenPGP key fingerprints by lower-case address.
  std::optional<std::string> KeyFingerprint(const std::string& address);
  void SetKeyFingerprint(const std::string& address, const std::string& fingerprint);

 private:
  class Statement;
  Statement Prepare(const char* sql);
  void Exec(const char* sql);
  // Runs `body` in one SQLite transaction; call with the lock held.
  template <class Body>
  void InTransaction(Body body);

  std::mutex mutex_;
  SqlitePtr db_;
};

}  // namespace veilmark::service
