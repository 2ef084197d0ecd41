// Random tokens and the salted password hashes kept in the database.
#pragma once

#include <string>
#include <string_view>

namespace veilmark::service {

// `bytes` random bytes as lower-case hexadecimal (2 * bytes characters).
std::string RandomHex(std::size_t bytes);

// `length` characters drawn uniformly from `alphabet`.
std::string RandomText(std::size_t length, std::string_view alphabet);

// "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>".
std::string HashSecret(std::string_view secret);
// False for a wrong secret and for a stored text of another form.
bool VerifySecret(std::string_view secret, std::string_view stored);

std::string Sha256Hex(std::string_view data);

}  // namespace veilmark::service
