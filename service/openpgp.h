// OpenPGP through GPGME: one key per address, encryption to many, decryption
// that reports whom the message was encrypted to. Public keys sit in one
// shared GnuPG home; each address's secret key sits alone in a home of its
// own (and so with its own gpg-agent), and a decryption runs in the home of
// the one address it is for, so no request can reach another's secret key.
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
  // Creates `publicHome` and `secretRoot` (mode 0700) when missing. Call
  // InitGpgme() first.
  Keyring(std::string publicHome, std::string secretRoot);
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
  // Decrypts with the secret key of `address` alone.
  DecryptOutcome Decrypt(const std::string& ciphertext, std::size_t maxPlaintext,
                         const std::string& address);

  // Moves every secret key found in the shared home (where older versions
  // kept them all) into the home of its address; the shared home keeps the
  // public halves. Returns how many moved.
  int MoveSharedSecretKeys();

  // Ends the agents that GnuPG started for these homes.
  void StopAgent();

 private:
  std::string SecretHome(const std::string& address) const;

  std::string home_;
  std::string secretRoot_;
  std::mutex createMutex_;
};

}  // namespace veilmark::service
