#include "secrets.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstdint>
#include <stdexcept>
#include <vector>

namespace veilmark::service {
namespace {

constexpr int kIterations = 60000;
constexpr std::size_t kSaltBytes = 16;
constexpr std::size_t kHashBytes = 32;
constexpr std::string_view kScheme = "pbkdf2-sha256";

std::string ToHex(const unsigned char* data, std::size_t length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(length * 2);
  for (std::size_t i = 0; i < length; ++i) {
    hex.push_back(kDigits[data[i] >> 4]);
    hex.push_back(kDigits[data[i] & 0x0f]);
  }
  return hex;
}

bool FromHex(std::string_view hex, std::vector<unsigned char>& out) {
  if (hex.size() % 2 != 0) return false;
  out.clear();
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    int value = 0;
    for (std::size_t j = i; j < i + 2; ++j) {
      const char c = hex[j];
      int digit;
      if (c >= '0' && c <= '9') {
        digit = c - '0';
      } else if (c >= 'a' && c <= 'f') {
        digit = c - 'a' + 10;
      } else {
        return false;
      }
      value = value * 16 + digit;
    }
    out.push_back(static_cast<unsigned char>(value));
  }
  return true;
}

void FillRandom(unsigned char* data, std::size_t length) {
  if (RAND_bytes(data, static_cast<int>(length)) != 1) {
    throw std::runtime_error("no random bytes available");
  }
}

std::vector<unsigned char> Derive(std::string_view secret, const std::vector<unsigned char>& salt,
                                  int iterations) {
  std::vector<unsigned char> hash(kHashBytes);
  if (PKCS5_PBKDF2_HMAC(secret.data(), static_cast<int>(secret.size()), salt.data(),
                        static_cast<int>(salt.size()), iterations, EVP_sha256(),
                        static_cast<int>(hash.size()), hash.data()) != 1) {
    throw std::runtime_error("PBKDF2 failed");
  }
  return hash;
}

}  // namespace

std::string RandomHex(std::size_t bytes) {
  std::vector<unsigned char> data(bytes);
  FillRandom(data.data(), data.size());
  return ToHex(data.data(), data.size());
}

std::string RandomText(std::size_t length, std::string_view alphabet) {
  std::string text;
  // Rejection sampling keeps every character equally likely.
  const unsigned limit = 256 - 256 % alphabet.size();
  while (text.size() < length) {
    unsigned char byte;
    FillRandom(&byte, 1);
    if (byte < limit) text.push_back(alphabet[byte % alphabet.size()]);
  }
  return text;
}

std::string HashSecret(std::string_view secret) {
  std::vector<unsigned char> salt(kSaltBytes);
  FillRandom(salt.data(), salt.size());
  const auto hash = Derive(secret, salt, kIterations);
  return std::string(kScheme) + "$" + std::to_string(kIterations) + "$" +
         ToHex(salt.data(), salt.size()) + "$" + ToHex(hash.data(), hash.size());
}

bool VerifySecret(std::string_view secret, std::string_view stored) {
  const std::size_t a = stored.find('$');
  const std::size_t b = a == std::string_view::npos ? a : stored.find('$', a + 1);
  const std::size_t c = b == std::string_view::npos ? b : stored.find('$', b + 1);
  if (c == std::string_view::npos || stored.substr(0, a) != kScheme) return false;
  const std::string_view iterationText = stored.substr(a + 1, b - a - 1);
  if (iterationText.empty() || iterationText.size() > 7) return false;
  int iterations = 0;
  for (char ch : iterationText) {
    if (ch < '0' || ch > '9') return false;
    iterations = iterations * 10 + (ch - '0');
  }
  std::vector<unsigned char> salt;
  std::vector<unsigned char> expected;
  if (iterations < 1 || !FromHex(stored.substr(b + 1, c - b - 1), salt) ||
      !FromHex(stored.substr(c + 1), expected) || expected.size() != kHashBytes) {
    return false;
  }
  const auto actual = Derive(secret, salt, iterations);
  return CRYPTO_memcmp(actual.data(), expected.data(), kHashBytes) == 0;
}

std::string Sha256Hex(std::string_view data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(data.data(), data.size(), digest, &length, EVP_sha256(), nullptr) != 1) {
    throw std::runtime_error("SHA-256 failed");
  }
  return ToHex(digest, length);
}

}  // namespace veilmark::service
