// OpenPGP through GPGME over the service's own GnuPG home (and so its own
// gpg-agent): one key per address, encryption to many, decryption that
// reports whom the message was encrypted to.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace veilmark::service {

struct DecryptOutcome {
  enum class Status { kOk, kNotOpenPgp, kNoSecretKey, kTooLarge, kFailed };
  Status status = Status::kFailed;
  std::string plaintext;
  std::vector<std::string> recipientKeyIds;  // 16 hex digits each, as the packets name them
  std::string detail;                        // GPGME's reason when not kOk
};

class Keyring {
 public:
  // Creates `home` (mode 0700) when missing. Call InitGpgme() first.
  explicit Keyring(std::string home);
  ~Keyring();
  Keyring(const Keyring&) = delete;
  Keyring& operator=(const Keyring&) = delete;

  static void InitGpgme();

  // A new Ed25519/Curve25519 key without passphrase for `address`; its fingerprint.
  std::string CreateKey(const std::string& address);
  // The key ids of the key's subkeys; empty when there is no such key.
  std::vector<std::string> KeyIds(const std::string& fingerprint);
  // ASCII-armored message to all the keys. Throws on failure.
  std::string Encrypt(const std::string& plaintext, const std::vector<std::string>& fingerprints);
  DecryptOutcome Decrypt(const std::string& ciphertext, std::size_t maxPlaintext);

  // Ends the agent that GnuPG started for this home.
  void StopAgent();

 private:
  std::string home_;
  std::mutex createMutex_;
};

}  // namespace veilmark::service
