#include "store.h"

#include <sys/stat.h>

#include "secrets.h"

namespace veilmark::service {

class Store::Statement {
 public:
  Statement(sqlite3* db, const char* sql) : db_(db) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) Fail();
    statement_.reset(statement);
  }

  Statement& Bind(int index, const std::string& text) {
    Check(sqlite3_bind_text(statement_.get(), index, text.data(), static_cast<int>(text.size()),
                            SQLITE_TRANSIENT));
    return *this;
  }
  Statement& BindBlob(int index, const std::string& bytes) {
    Check(sqlite3_bind_blob(statement_.get(), index, bytes.data(), static_cast<int>(bytes.size()),
                            SQLITE_TRANSIENT));
    return *this;
  }
  Statement& Bind(int index, std::int64_t value) {
    Check(sqlite3_bind_int64(statement_.get(), index, value));
    return *this;
  }

  // True while there is a row to read.
  bool Step() {
    const int result = sqlite3_step(statement_.get());
    if (result == SQLITE_ROW) return true;
    if (result == SQLITE_DONE) return false;
    Fail();
  }
  void Run() {
    while (Step()) {
    }
  }

  std::string Text(int column) {
    const auto* bytes = sqlite3_column_blob(statement_.get(), column);
    const int size = sqlite3_column_bytes(statement_.get(), column);
    return bytes ? std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(size))
                 : std::string();
  }
  std::int64_t Int(int column) { return sqlite3_column_int64(statement_.get(), column); }

 private:
  void Check(int result) {
    if (result != SQLITE_OK) Fail();
  }
  [[noreturn]] void Fail() { throw DatabaseError(sqlite3_errmsg(db_)); }

  sqlite3* db_;
  SqliteStmtPtr statement_;
};

namespace {

const char kSchema[] = R"sql(
CREATE TABLE IF NOT EXISTS users (
  id INTEGER PRIMARY KEY,
  email TEXT NOT NULL UNIQUE COLLATE NOCASE,
  first_name TEXT NOT NULL DEFAULT '',
  middle_name TEXT NOT NULL DEFAULT '',
  last_name TEXT NOT NULL DEFAULT '',
  registered_from TEXT NOT NULL,
  register_state TEXT NOT NULL,
  password_hash TEXT NOT NULL,
  extra_password_hash TEXT NOT NULL DEFAULT '',
  security_question TEXT NOT NULL DEFAULT '',
  security_answer_hash TEXT NOT NULL DEFAULT '',
  confirmed INTEGER NOT NULL DEFAULT 1,
  confirm_token TEXT NOT NULL DEFAULT ''
);
CREATE TABLE IF NOT EXISTS aliases (
  alias TEXT PRIMARY KEY COLLATE NOCASE,
  user_id INTEGER NOT NULL REFERENCES users(id)
);
CREATE TABLE IF NOT EXISTS sessions (
  id TEXT PRIMARY KEY,
  user_id INTEGER NOT NULL,
  extra_pending INTEGER NOT NULL,
  failures INTEGER NOT NULL,
  captcha TEXT NOT NULL,
  expires INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS openid_tickets (
  ticket TEXT PRIMARY KEY,
  provider TEXT NOT NULL,
  google_app_domain TEXT NOT NULL,
  yahoo_email TEXT NOT NULL,
  cookie TEXT NOT NULL,
  assertion TEXT NOT NULL,
  account TEXT NOT NULL,
  step INTEGER NOT NULL,
  expires INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS uploads (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  user_id INTEGER NOT NULL,
  name TEXT NOT NULL,
  content_type TEXT NOT NULL,
  data BLOB NOT NULL,
  expires INTEGER NOT NULL DEFAULT 0
);
CREATE TABLE IF NOT EXISTS copies (
  token TEXT PRIMARY KEY,
  user_id INTEGER NOT NULL,
  digest TEXT NOT NULL,
  name TEXT NOT NULL,
  content_type TEXT NOT NULL,
  data BLOB NOT NULL,
  expires INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX IF NOT EXISTS copies_by_digest ON copies(user_id, digest);
CREATE TABLE IF NOT EXISTS keys (
  address TEXT PRIMARY KEY,
  fingerprint TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS provider_accounts (
  provider TEXT NOT NULL,
  email TEXT NOT NULL COLLATE NOCASE,
  password_hash TEXT NOT NULL,
  PRIMARY KEY (provider, email)
);
CREATE TABLE IF NOT EXISTS attempts (
  key TEXT PRIMARY KEY,
  failures INTEGER NOT NULL,
  blocked_until INTEGER NOT NULL
);
CREATE TABLE IF NOT EXISTS sent (
  digest TEXT PRIMARY KEY,
  at INTEGER NOT NULL
);
)sql";

// Columns added after the first release, for state folders made before them.
const char* const kAddedColumns[][3] = {
    {"users", "confirmed", "INTEGER NOT NULL DEFAULT 1"},
    {"users", "confirm_token", "TEXT NOT NULL DEFAULT ''"},
    {"uploads", "expires", "INTEGER NOT NULL DEFAULT 0"},
    {"copies", "expires", "INTEGER NOT NULL DEFAULT 0"},
};

constexpr const char* kUserColumns =
    "id, email, first_name, middle_name, last_name, registered_from, register_state, "
    "password_hash, extra_password_hash, security_question, security_answer_hash, confirmed";

}  // namespace

Store::Store(const std::string& path) {
  sqlite3* db = nullptr;
  const int opened =
      sqlite3_open_v2(path.c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX, nullptr);
  db_.reset(db);
  if (opened != SQLITE_OK) {
    throw DatabaseError(db ? sqlite3_errmsg(db) : "cannot open the database");
  }
  sqlite3_busy_timeout(db, 5000);
  Exec("PRAGMA journal_mode=WAL");
  Exec("PRAGMA foreign_keys=ON");
  Exec(kSchema);
  for (const auto& [table, column, declaration] : kAddedColumns) {
    auto info = Prepare((std::string("SELECT 1 FROM pragma_table_info('") + table +
                         "') WHERE name = '" + column + "'")
                            .c_str());
    if (!info.Step()) {
      Exec((std::string("ALTER TABLE ") + table + " ADD COLUMN " + column + " " + declaration)
               .c_str());
    }
  }
  // The database holds password hashes and decrypted files: the owner's only,
  // also when an older version left it readable.
  for (const char* suffix : {"", "-wal", "-shm"}) ::chmod((path + suffix).c_str(), 0600);
}

template <class Body>
void Store::InTransaction(Body body) {
  Exec("BEGIN IMMEDIATE");
  try {
    body();
    Exec("COMMIT");
  } catch (...) {
    char* message = nullptr;
    sqlite3_exec(db_.get(), "ROLLBACK", nullptr, nullptr, &message);
    sqlite3_free(message);
    throw;
  }
}

Store::Statement Store::Prepare(const char* sql) {
  return Statement(db_.get(), sql);
}

void Store::Exec(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string text = message ? message : "statement failed";
    sqlite3_free(message);
    throw DatabaseError(text);
  }
}

namespace {

template <class Statement>
User ReadUser(Statement& row) {
  User user;
  user.id = row.Int(0);
  user.email = row.Text(1);
  user.firstName = row.Text(2);
  user.middleName = row.Text(3);
  user.lastName = row.Text(4);
  user.registeredFrom = row.Text(5);
  user.registerState = row.Text(6);
  user.passwordHash = row.Text(7);
  user.extraPasswordHash = row.Text(8);
  user.securityQuestion = row.Text(9);
  user.securityAnswerHash = row.Text(10);
  user.confirmed = row.Int(11) != 0;
  return user;
}

}  // namespace

std::int64_t Store::AddUser(const User& user) {
  std::lock_guard lock(mutex_);
  auto taken = Prepare("SELECT 1 FROM aliases WHERE alias = ?1");
  if (taken.Bind(1, user.email).Step()) throw DatabaseError("address taken by an alias");
  Prepare(
      "INSERT INTO users (email, first_name, middle_name, last_name, registered_from, "
      "register_state, password_hash, extra_password_hash, security_question, "
      "security_answer_hash, confirmed, confirm_token) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, "
      "?9, ?10, ?11, ?12)")
      .Bind(1, user.email)
      .Bind(2, user.firstName)
      .Bind(3, user.middleName)
      .Bind(4, user.lastName)
      .Bind(5, user.registeredFrom)
      .Bind(6, user.registerState)
      .Bind(7, user.passwordHash)
      .Bind(8, user.extraPasswordHash)
      .Bind(9, user.securityQuestion)
      .Bind(10, user.securityAnswerHash)
      .Bind(11, std::int64_t{user.confirmed ? 1 : 0})
      .Bind(12, user.confirmToken)
      .Run();
  return sqlite3_last_insert_rowid(db_.get());
}

std::optional<User> Store::FindUser(const std::string& email) {
  std::lock_guard lock(mutex_);
  auto row =
      Prepare((std::string("SELECT ") + kUserColumns + " FROM users WHERE email = ?1").c_str());
  if (!row.Bind(1, email).Step()) return std::nullopt;
  return ReadUser(row);
}

std::optional<User> Store::FindUserById(std::int64_t id) {
  std::lock_guard lock(mutex_);
  auto row = Prepare((std::string("SELECT ") + kUserColumns + " FROM users WHERE id = ?1").c_str());
  if (!row.Bind(1, id).Step()) return std::nullopt;
  return ReadUser(row);
}

std::optional<User> Store::FindUserByAddress(const std::string& address) {
  std::lock_guard lock(mutex_);
  auto row = Prepare((std::string("SELECT ") + kUserColumns +
                      " FROM users WHERE email = ?1 OR id = (SELECT user_id FROM aliases WHERE "
                      "alias = ?1) LIMIT 1")
                         .c_str());
  if (!row.Bind(1, address).Step()) return std::nullopt;
  return ReadUser(row);
}

bool Store::AddAlias(std::int64_t userId, const std::string& alias) {
  std::lock_guard lock(mutex_);
  auto taken = Prepare(
      "SELECT 1 FROM users WHERE email = ?1 UNION ALL SELECT 1 FROM aliases WHERE alias = ?1");
  if (taken.Bind(1, alias).Step()) return false;
  Prepare("INSERT INTO aliases (alias, user_id) VALUES (?1, ?2)")
      .Bind(1, alias)
      .Bind(2, userId)
      .Run();
  return true;
}

std::vector<std::string> Store::Aliases(std::int64_t userId) {
  std::lock_guard lock(mutex_);
  auto row = Prepare("SELECT alias FROM aliases WHERE user_id = ?1 ORDER BY rowid");
  row.Bind(1, userId);
  std::vector<std::string> aliases;
  while (row.Step()) aliases.push_back(row.Text(0));
  return aliases;
}

bool Store::AddressTaken(const std::string& address) {
  std::lock_guard lock(mutex_);
  auto row = Prepare(
      "SELECT 1 FROM users WHERE email = ?1 UNION ALL SELECT 1 FROM aliases WHERE alias = ?1");
  return row.Bind(1, address).Step();
}

void Store::PutSession(const Session& session) {
  std::lock_guard lock(mutex_);
  Prepare(
      "INSERT OR REPLACE INTO sessions (id, user_id, extra_pending, failures, captcha, expires) "
      "VALUES (?1, ?2, ?3, ?4, ?5, ?6)")
      .Bind(1, session.id)
      .Bind(2, session.userId)
      .Bind(3, std::int64_t{session.extraPending})
      .Bind(4, std::int64_t{session.failures})
      .Bind(5, session.captcha)
      .Bind(6, session.expires)
      .Run();
}

std::optional<Session> Store::FindSession(const std::string& id) {
  std::lock_guard lock(mutex_);
  auto row = Prepare(
      "SELECT id, user_id, extra_pending, failures, captcha, expires FROM sessions WHERE id = ?1");
  if (!row.Bind(1, id).Step()) return std::nullopt;
  Session session;
  session.id = row.Text(0);
  session.userId = row.Int(1);
  session.extraPending = row.Int(2) != 0;
  session.failures = static_cast<int>(row.Int(3));
  session.captcha = row.Text(4);
  session.expires = row.Int(5);
  return session;
}

void Store::DeleteSession(const std::string& id) {
  std::lock_guard lock(mutex_);
  Prepare("DELETE FROM sessions WHERE id = ?1").Bind(1, id).Run();
}

void Store::DeleteSessionsOf(std::int64_t userId) {
  std::lock_guard lock(mutex_);
  Prepare("DELETE FROM sessions WHERE user_id = ?1").Bind(1, userId).Run();
}

void Store::DeleteAllSessions() {
  std::lock_guard lock(mutex_);
  Exec("DELETE FROM sessions");
}

void Store::DeleteExpired(std::int64_t now) {
  std::lock_guard lock(mutex_);
  Prepare("DELETE FROM sessions WHERE expires < ?1").Bind(1, now).Run();
  Prepare("DELETE FROM openid_tickets WHERE expires < ?1").Bind(1, now).Run();
  Prepare("DELETE FROM uploads WHERE expires > 0 AND expires < ?1").Bind(1, now).Run();
  Prepare("DELETE FROM copies WHERE expires > 0 AND expires < ?1").Bind(1, now).Run();
  // Counters outlive their last delay by a day, so slow guessing adds up too.
  Prepare("DELETE FROM attempts WHERE blocked_until < (?1 - 86400) * 1000").Bind(1, now).Run();
}

void Store::PutTicket(const OpenIdTicket& ticket) {
  std::lock_guard lock(mutex_);
  Prepare(
      "INSERT OR REPLACE INTO openid_tickets (ticket, provider, google_app_domain, yahoo_email, "
      "cookie, assertion, account, step, expires) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)")
      .Bind(1, ticket.ticket)
      .Bind(2, ticket.provider)
      .Bind(3, ticket.googleAppDomain)
      .Bind(4, ticket.yahooEmail)
      .Bind(5, ticket.cookie)
      .Bind(6, ticket.assertion)
      .Bind(7, ticket.account)
      .Bind(8, std::int64_t{ticket.step})
      .Bind(9, ticket.expires)
      .Run();
}

std::optional<OpenIdTicket> Store::FindTicket(const std::string& ticket) {
  std::lock_guard lock(mutex_);
  auto row = Prepare(
      "SELECT ticket, provider, google_app_domain, yahoo_email, cookie, assertion, account, step, "
      "expires FROM openid_tickets WHERE ticket = ?1");
  if (!row.Bind(1, ticket).Step()) return std::nullopt;
  OpenIdTicket found;
  found.ticket = row.Text(0);
  found.provider = row.Text(1);
  found.googleAppDomain = row.Text(2);
  found.yahooEmail = row.Text(3);
  found.cookie = row.Text(4);
  found.assertion = row.Text(5);
  found.account = row.Text(6);
  found.step = static_cast<int>(row.Int(7));
  found.expires = row.Int(8);
  return found;
}

void Store::DeleteTicket(const std::string& ticket) {
  std::lock_guard lock(mutex_);
  Prepare("DELETE FROM openid_tickets WHERE ticket = ?1").Bind(1, ticket).Run();
}

std::int64_t Store::AddUpload(std::int64_t userId, const StoredFile& file, std::int64_t expires) {
  std::lock_guard lock(mutex_);
  Prepare(
      "INSERT INTO uploads (user_id, name, content_type, data, expires) "
      "VALUES (?1, ?2, ?3, ?4, ?5)")
      .Bind(1, userId)
      .Bind(2, file.name)
      .Bind(3, file.contentType)
      .BindBlob(4, file.data)
      .Bind(5, expires)
      .Run();
  return sqlite3_last_insert_rowid(db_.get());
}

std::optional<StoredFile> Store::FindUpload(std::int64_t id, std::int64_t userId,
                                            std::int64_t now) {
  std::lock_guard lock(mutex_);
  auto row = Prepare(
      "SELECT name, content_type, data FROM uploads WHERE id = ?1 AND user_id = ?2 AND "
      "(expires = 0 OR expires > ?3)");
  if (!row.Bind(1, id).Bind(2, userId).Bind(3, now).Step()) return std::nullopt;
  return StoredFile{row.Text(0), row.Text(1), row.Text(2)};
}

std::string Store::KeepCopy(std::int64_t userId, const StoredFile& file, std::int64_t expires) {
  const std::string digest = Sha256Hex(file.data);
  std::lock_guard lock(mutex_);
  auto existing = Prepare(
      "SELECT token FROM copies WHERE user_id = ?1 AND digest = ?2 AND name = ?3 AND "
      "content_type = ?4");
  if (existing.Bind(1, userId)
          .Bind(2, digest)
          .Bind(3, file.name)
          .Bind(4, file.contentType)
          .Step()) {
    const std::string token = existing.Text(0);
    Prepare("UPDATE copies SET expires = ?2 WHERE token = ?1")
        .Bind(1, token)
        .Bind(2, expires)
        .Run();
    return token;
  }
  const std::string token = RandomHex(16);
  Prepare(
      "INSERT INTO copies (token, user_id, digest, name, content_type, data, expires) "
      "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)")
      .Bind(1, token)
      .Bind(2, userId)
      .Bind(3, digest)
      .Bind(4, file.name)
      .Bind(5, file.contentType)
      .BindBlob(6, file.data)
      .Bind(7, expires)
      .Run();
  return token;
}

std::optional<StoredFile> Store::FindCopy(const std::string& token, std::int64_t now) {
  std::lock_guard lock(mutex_);
  auto row = Prepare(
      "SELECT name, content_type, data FROM copies WHERE token = ?1 AND "
      "(expires = 0 OR expires > ?2)");
  if (!row.Bind(1, token).Bind(2, now).Step()) return std::nullopt;
  return StoredFile{row.Text(0), row.Text(1), row.Text(2)};
}

std::optional<std::string> Store::KeyFingerprint(const std::string& address) {
  std::lock_guard lock(mutex_);
  auto row = Prepare("SELECT fingerprint FROM keys WHERE address = ?1");
  if (!row.Bind(1, address).Step()) return std::nullopt;
  return row.Text(0);
}

void Store::SetKeyFingerprint(const std::string& address, const std::string& fingerprint) {
  std::lock_guard lock(mutex_);
  Prepare("INSERT OR REPLACE INTO keys (address, fingerprint) VALUES (?1, ?2)")
      .Bind(1, address)
      .Bind(2, fingerprint)
      .Run();
}

void Store::DeleteCopiesOf(std::int64_t userId) {
  std::lock_guard lock(mutex_);
  Prepare("DELETE FROM copies WHERE user_id = ?1").Bind(1, userId).Run();
}

void Store::ChangePassword(std::int64_t userId, const std::string& hash) {
  std::lock_guard lock(mutex_);
  InTransaction([&] {
    Prepare("UPDATE users SET password_hash = ?2 WHERE id = ?1")
        .Bind(1, userId)
        .Bind(2, hash)
        .Run();
    Prepare("DELETE FROM sessions WHERE user_id = ?1").Bind(1, userId).Run();
    Prepare("DELETE FROM copies WHERE user_id = ?1").Bind(1, userId).Run();
  });
}

std::optional<User> Store::ConfirmAddress(const std::string& token) {
  std::lock_guard lock(mutex_);
  if (token.empty()) return std::nullopt;
  auto row = Prepare((std::string("SELECT ") + kUserColumns +
                      " FROM users WHERE confirm_token = ?1 AND confirmed = 0")
                         .c_str());
  if (!row.Bind(1, token).Step()) return std::nullopt;
  User user = ReadUser(row);
  Prepare("UPDATE users SET confirmed = 1, confirm_token = '' WHERE id = ?1")
      .Bind(1, user.id)
      .Run();
  user.confirmed = true;
  return user;
}

void Store::SetProviderPassword(const std::string& provider, const std::string& email,
                                const std::string& hash) {
  std::lock_guard lock(mutex_);
  Prepare(
      "INSERT OR REPLACE INTO provider_accounts (provider, email, password_hash) "
      "VALUES (?1, ?2, ?3)")
      .Bind(1, provider)
      .Bind(2, email)
      .Bind(3, hash)
      .Run();
}

std::optional<std::string> Store::ProviderPassword(const std::string& provider,
                                                   const std::string& email) {
  std::lock_guard lock(mutex_);
  auto row =
      Prepare("SELECT password_hash FROM provider_accounts WHERE provider = ?1 AND email = ?2");
  if (!row.Bind(1, provider).Bind(2, email).Step()) return std::nullopt;
  return row.Text(0);
}

Attempts Store::FindAttempts(const std::string& key) {
  std::lock_guard lock(mutex_);
  auto row = Prepare("SELECT failures, blocked_until FROM attempts WHERE key = ?1");
  if (!row.Bind(1, key).Step()) return {};
  return {static_cast<int>(row.Int(0)), row.Int(1)};
}

void Store::PutAttempts(const std::string& key, const Attempts& attempts) {
  std::lock_guard lock(mutex_);
  if (attempts.failures == 0) {
    Prepare("DELETE FROM attempts WHERE key = ?1").Bind(1, key).Run();
    return;
  }
  Prepare("INSERT OR REPLACE INTO attempts (key, failures, blocked_until) VALUES (?1, ?2, ?3)")
      .Bind(1, key)
      .Bind(2, std::int64_t{attempts.failures})
      .Bind(3, attempts.blockedUntil)
      .Run();
}

bool Store::ClaimSend(const std::string& digest, std::int64_t now, std::int64_t window) {
  std::lock_guard lock(mutex_);
  Prepare("DELETE FROM sent WHERE at <= ?1").Bind(1, now - window).Run();
  auto row = Prepare("SELECT 1 FROM sent WHERE digest = ?1");
  if (row.Bind(1, digest).Step()) return false;
  Prepare("INSERT INTO sent (digest, at) VALUES (?1, ?2)").Bind(1, digest).Bind(2, now).Run();
  return true;
}

void Store::ReleaseSend(const std::string& digest) {
  std::lock_guard lock(mutex_);
  Prepare("DELETE FROM sent WHERE digest = ?1").Bind(1, digest).Run();
}

}  // namespace veilmark::service
