#include "support/test_certificates.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

namespace veilmark::testing {
namespace {

void Run(const std::string& command) {
  if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
    throw std::runtime_error("failed: " + command);
  }
}

}  // namespace

OwnedFolder::OwnedFolder(std::string path) : path_(std::move(path)) {}

OwnedFolder::OwnedFolder(OwnedFolder&& other) noexcept : path_(std::exchange(other.path_, {})) {}

OwnedFolder::~OwnedFolder() {
  if (path_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

TestCertificates MakeTestCertificates(const std::string& name) {
  std::string pattern = (std::filesystem::temp_directory_path() / ("vm-certs-XXXXXX")).string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
  // Owned before anything can throw, so a failed openssl leaves nothing.
  TestCertificates certs{OwnedFolder(pattern), pattern + "/ca.crt", pattern + "/server.crt",
                         pattern + "/server.key"};
  const std::string dir = pattern;
  // Named for this process too: two servers' CAs may sit in one store at
  // once, and a verifier may look an issuer up by its name.
  Run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
      " -subj '/CN=" +
      name + " test CA " + std::to_string(getpid()) + "' -keyout " + dir + "/ca.key -out " +
      certs.caFile);
  Run("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
      " -subj /CN=localhost -keyout " +
      certs.keyFile + " -out " + dir + "/server.csr");
  Run("printf 'subjectAltName=DNS:localhost\\nbasicConstraints=CA:FALSE\\n' > " + dir + "/ext.cnf");
  Run("openssl x509 -req -in " + dir + "/server.csr -CA " + certs.caFile + " -CAkey " + dir +
      "/ca.key -CAcreateserial -days 2 -extfile " + dir + "/ext.cnf -out " + certs.certFile);
  return certs;
}

}  // namespace veilmark::testing
