#include "base/curl_extra_ca.h"

#include <openssl/ssl.h>
#include <openssl/x509.h>

namespace veilmark {
namespace {

// Called once the system's CAs are in the store: adds the file's.
CURLcode AddExtraCa(CURL*, void* sslContext, void* user) {
  const auto* file = static_cast<const std::string*>(user);
  X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
  if (X509_STORE_load_locations(store, file->c_str(), nullptr) != 1) {
    return CURLE_SSL_CACERT_BADFILE;
  }
  return CURLE_OK;
}

}  // namespace

void TrustExtraCa(CURL* curl, const std::string& caFile) {
  // The system's CAs from their hashed folder, looked up as a chain needs
  // them: parsing the whole bundle file costs more than a large request's
  // own work on this side.
  if (curl_version_info(CURLVERSION_NOW)->capath) curl_easy_setopt(curl, CURLOPT_CAINFO, nullptr);
  if (caFile.empty()) return;
  curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, AddExtraCa);
  curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, &caFile);
}

}  // namespace veilmark
