#include "openpgp.h"

#include <dirent.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "handles.h"
#include "secrets.h"

extern char** environ;

namespace veilmark::service {
namespace {

[[noreturn]] void Fail(const char* what, gpgme_error_t error) {
  throw std::runtime_error(std::string(what) + ": " + gpgme_strerror(error));
}

// Keys have no passphrase; should GnuPG still ask, the answer is "no" at
// once instead of a pinentry waiting for somebody.
gpgme_error_t RefusePassphrase(void*, const char*, const char*, int, int) {
  return gpgme_error(GPG_ERR_CANCELED);
}

GpgmeCtxPtr NewContext(const std::string& home) {
  gpgme_ctx_t raw = nullptr;
  if (const gpgme_error_t error = gpgme_new(&raw)) Fail("gpgme_new", error);
  GpgmeCtxPtr context(raw);
  if (const gpgme_error_t error = gpgme_set_protocol(raw, GPGME_PROTOCOL_OpenPGP)) {
    Fail("gpgme_set_protocol", error);
  }
  if (const gpgme_error_t error =
          gpgme_ctx_set_engine_info(raw, GPGME_PROTOCOL_OpenPGP, nullptr, home.c_str())) {
    Fail("gpgme_ctx_set_engine_info", error);
  }
  gpgme_set_pinentry_mode(raw, GPGME_PINENTRY_MODE_LOOPBACK);
  gpgme_set_passphrase_cb(raw, RefusePassphrase, nullptr);
  gpgme_set_offline(raw, 1);
  return context;
}

GpgmeDataPtr DataFrom(const std::string& bytes) {
  gpgme_data_t raw = nullptr;
  if (const gpgme_error_t error = gpgme_data_new_from_mem(&raw, bytes.data(), bytes.size(), 0)) {
    Fail("gpgme_data_new_from_mem", error);
  }
  return GpgmeDataPtr(raw);
}

GpgmeDataPtr EmptyData() {
  gpgme_data_t raw = nullptr;
  if (const gpgme_error_t error = gpgme_data_new(&raw)) Fail("gpgme_data_new", error);
  return GpgmeDataPtr(raw);
}

std::string TakeBytes(gpgme_data_t data) {
  gpgme_data_seek(data, 0, SEEK_SET);
  std::string bytes;
  char buffer[16384];
  for (;;) {
    const ssize_t count = gpgme_data_read(data, buffer, sizeof buffer);
    if (count <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(count));
  }
  return bytes;
}

// A sink that refuses to grow past its limit, so a compressed message
// cannot unpack into all of memory.
struct BoundedSink {
  std::string bytes;
  std::size_t limit = 0;
  bool overflowed = false;

  static ssize_t Write(void* handle, const void* buffer, size_t size) {
    auto* sink = static_cast<BoundedSink*>(handle);
    if (sink->bytes.size() + size > sink->limit) {
      sink->overflowed = true;
      errno = EFBIG;
      return -1;
    }
    sink->bytes.append(static_cast<const char*>(buffer), size);
    return static_cast<ssize_t>(size);
  }
};

}  // namespace

void Keyring::InitGpgme() {
  if (!gpgme_check_version(nullptr)) throw std::runtime_error("GPGME version check failed");
  if (const gpgme_error_t error = gpgme_engine_check_version(GPGME_PROTOCOL_OpenPGP)) {
    Fail("no usable gpg", error);
  }
}

namespace {

void MakePrivateDirectory(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    throw std::runtime_error("cannot create " + path);
  }
  ::chmod(path.c_str(), 0700);
}

void KillAgent(const std::string& home) {
  const char* gpgconf = gpgme_get_dirinfo("gpgconf-name");
  if (!gpgconf) return;
  std::string program = gpgconf;
  std::string homedirFlag = "--homedir";
  std::string homedir = home;
  std::string kill = "--kill";
  std::string agent = "gpg-agent";
  char* argv[] = {program.data(), homedirFlag.data(), homedir.data(),
                  kill.data(),    agent.data(),       nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) return;
  // gpgconf returns at once; give it a few seconds at most.
  for (int i = 0; i < 100; ++i) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) != 0) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ::kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

}  // namespace

Keyring::Keyring(std::string publicHome, std::string secretRoot)
    : home_(std::move(publicHome)), secretRoot_(std::move(secretRoot)) {
  MakePrivateDirectory(home_);
  MakePrivateDirectory(secretRoot_);
}

std::string Keyring::SecretHome(const std::string& address) const {
  // A fixed-length name keeps the agent's socket paths short.
  return secretRoot_ + "/" + Sha256Hex(address).substr(0, 24);
}

Keyring::~Keyring() = default;

std::string Keyring::CreateKey(const std::string& address) {
  std::lock_guard lock(createMutex_);
  const std::string secretHome = SecretHome(address);
  MakePrivateDirectory(secretHome);
  GpgmeCtxPtr context = NewContext(secretHome);
  const unsigned flags = GPGME_CREATE_NOPASSWD | GPGME_CREATE_NOEXPIRE | GPGME_CREATE_FORCE;
  // "future-default" is Ed25519 for signing with a Curve25519 encryption subkey.
  if (const gpgme_error_t error = gpgme_op_createkey(context.get(), ("<" + address + ">").c_str(),
                                                     "future-default", 0, 0, nullptr, flags)) {
    Fail("creating a key", error);
  }
  gpgme_genkey_result_t result = gpgme_op_genkey_result(context.get());
  if (!result || !result->fpr) throw std::runtime_error("creating a key: no fingerprint");
  const std::string fingerprint = result->fpr;

  // Only the public half goes to the shared home that every sender encrypts with.
  GpgmeDataPtr exported = EmptyData();
  if (const gpgme_error_t error = gpgme_op_export(context.get(), fingerprint.c_str(),
                                                  GPGME_EXPORT_MODE_MINIMAL, exported.get())) {
    Fail("exporting a public key", error);
  }
  gpgme_data_seek(exported.get(), 0, SEEK_SET);
  GpgmeCtxPtr shared = NewContext(home_);
  if (const gpgme_error_t error = gpgme_op_import(shared.get(), exported.get())) {
    Fail("importing a public key", error);
  }
  gpgme_import_result_t imported = gpgme_op_import_result(shared.get());
  if (!imported || imported->considered == 0 || imported->secret_imported != 0) {
    throw std::runtime_error("importing a public key: nothing imported");
  }
  // Most new keys are for addresses that may never read: their homes keep
  // no agent running until a decryption needs one.
  context.reset();
  KillAgent(secretHome);
  return fingerprint;
}

std::vector<std::string> Keyring::KeyIds(const std::string& fingerprint) {
  GpgmeCtxPtr context = NewContext(home_);
  gpgme_key_t raw = nullptr;
  if (gpgme_get_key(context.get(), fingerprint.c_str(), &raw, 0) != 0) return {};
  GpgmeKeyPtr key(raw);
  std::vector<std::string> ids;
  for (gpgme_subkey_t subkey = key->subkeys; subkey; subkey = subkey->next) {
    if (subkey->keyid) ids.emplace_back(subkey->keyid);
  }
  return ids;
}

std::string Keyring::Encrypt(const std::string& plaintext,
                             const std::vector<std::string>& fingerprints) {
  GpgmeCtxPtr context = NewContext(home_);
  std::vector<GpgmeKeyPtr> keys;
  std::vector<gpgme_key_t> recipients;
  for (const auto& fingerprint : fingerprints) {
    gpgme_key_t raw = nullptr;
    if (const gpgme_error_t error = gpgme_get_key(context.get(), fingerprint.c_str(), &raw, 0)) {
      Fail("finding a recipient's key", error);
    }
    keys.emplace_back(raw);
    recipients.push_back(raw);
  }
  recipients.push_back(nullptr);
  gpgme_set_armor(context.get(), 1);
  GpgmeDataPtr in = DataFrom(plaintext);
  GpgmeDataPtr out = EmptyData();
  // The service made these keys itself, so it needs no web of trust to use them.
  if (const gpgme_error_t error = gpgme_op_encrypt(
          context.get(), recipients.data(), GPGME_ENCRYPT_ALWAYS_TRUST, in.get(), out.get())) {
    Fail("encrypting", error);
  }
  return TakeBytes(out.get());
}

DecryptOutcome Keyring::Decrypt(const std::string& ciphertext, std::size_t maxPlaintext,
                                const std::string& address) {
  DecryptOutcome outcome;
  const std::string secretHome = SecretHome(address);
  struct stat info {};
  if (::stat(secretHome.c_str(), &info) != 0) {
    // No key yet: nothing was ever encrypted to this address.
    outcome.status = DecryptOutcome::Status::kNoSecretKey;
    return outcome;
  }
  GpgmeCtxPtr context = NewContext(secretHome);
  GpgmeDataPtr in = DataFrom(ciphertext);
  BoundedSink sink;
  sink.limit = maxPlaintext;
  gpgme_data_cbs callbacks{};
  callbacks.write = &BoundedSink::Write;
  gpgme_data_t rawOut = nullptr;
  if (const gpgme_error_t error = gpgme_data_new_from_cbs(&rawOut, &callbacks, &sink)) {
    Fail("gpgme_data_new_from_cbs", error);
  }
  GpgmeDataPtr out(rawOut);

  const gpgme_error_t error = gpgme_op_decrypt(context.get(), in.get(), out.get());
  if (gpgme_decrypt_result_t result = gpgme_op_decrypt_result(context.get())) {
    for (gpgme_recipient_t recipient = result->recipients; recipient; recipient = recipient->next) {
      if (recipient->keyid) outcome.recipientKeyIds.emplace_back(recipient->keyid);
    }
  }
  if (!error) {
    outcome.status = DecryptOutcome::Status::kOk;
    outcome.plaintext = std::move(sink.bytes);
    return outcome;
  }
  outcome.detail = gpgme_strerror(error);
  if (sink.overflowed) {
    outcome.status = DecryptOutcome::Status::kTooLarge;
  } else if (gpgme_err_code(error) == GPG_ERR_NO_DATA) {
    outcome.status = DecryptOutcome::Status::kNotOpenPgp;
  } else if (gpgme_err_code(error) == GPG_ERR_NO_SECKEY) {
    outcome.status = DecryptOutcome::Status::kNoSecretKey;
  } else {
    outcome.status = DecryptOutcome::Status::kFailed;
  }
  return outcome;
}

int Keyring::MoveSharedSecretKeys() {
  std::lock_guard lock(createMutex_);
  GpgmeCtxPtr shared = NewContext(home_);
  std::vector<std::pair<std::string, std::string>> found;  // fingerprint, address
  if (gpgme_op_keylist_start(shared.get(), nullptr, 1) == 0) {
    gpgme_key_t raw = nullptr;
    while (gpgme_op_keylist_next(shared.get(), &raw) == 0) {
      GpgmeKeyPtr key(raw);
      if (!key->subkeys || !key->subkeys->fpr || !key->uids || !key->uids->email) continue;
      std::string address = key->uids->email;
      for (char& c : address) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      found.emplace_back(key->subkeys->fpr, address);
    }
    gpgme_op_keylist_end(shared.get());
  }
  for (const auto& [fingerprint, address] : found) {
    GpgmeDataPtr secret = EmptyData();
    if (const gpgme_error_t error = gpgme_op_export(shared.get(), fingerprint.c_str(),
                                                    GPGME_EXPORT_MODE_SECRET, secret.get())) {
      Fail("exporting a secret key", error);
    }
    GpgmeDataPtr publicKey = EmptyData();
    if (const gpgme_error_t error = gpgme_op_export(shared.get(), fingerprint.c_str(),
                                                    GPGME_EXPORT_MODE_MINIMAL, publicKey.get())) {
      Fail("exporting a public key", error);
    }
    const std::string secretHome = SecretHome(address);
    MakePrivateDirectory(secretHome);
    GpgmeCtxPtr own = NewContext(secretHome);
    gpgme_data_seek(secret.get(), 0, SEEK_SET);
    if (const gpgme_error_t error = gpgme_op_import(own.get(), secret.get())) {
      Fail("importing a secret key", error);
    }
    gpgme_import_result_t imported = gpgme_op_import_result(own.get());
    if (!imported || imported->secret_read == 0 ||
        imported->secret_imported + imported->secret_unchanged == 0) {
      throw std::runtime_error("moving the secret key of " + address + ": nothing imported");
    }
    // Only once the key is safe in its own home does it leave the shared one.
    gpgme_key_t raw = nullptr;
    if (const gpgme_error_t error = gpgme_get_key(shared.get(), fingerprint.c_str(), &raw, 1)) {
      Fail("finding a secret key", error);
    }
    GpgmeKeyPtr key(raw);
    if (const gpgme_error_t error = gpgme_op_delete_ext(
            shared.get(), key.get(), GPGME_DELETE_ALLOW_SECRET | GPGME_DELETE_FORCE)) {
      Fail("deleting a shared secret key", error);
    }
    gpgme_data_seek(publicKey.get(), 0, SEEK_SET);
    if (const gpgme_error_t error = gpgme_op_import(shared.get(), publicKey.get())) {
      Fail("importing a public key", error);
    }
  }
  return static_cast<int>(found.size());
}

void Keyring::StopAgent() {
  KillAgent(home_);
  DIR* folder = ::opendir(secretRoot_.c_str());
  if (!folder) return;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") KillAgent(secretRoot_ + "/" + name);
  }
  ::closedir(folder);
}

}  // namespace veilmark::service
