#include "support/test_certificates.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace veilmark::testing {
namespace {

void Run(const std::string& command) {
  if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
    throw std::runtime_error("failed: " + command);
  }
}

}  // namespace

TestCertificates MakeTestCertificates(const std::string& name) {
  std::string pattern = (std::filesystem::temp_directory_path() / ("vm-certs-XXXXXX")).string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
  TestCertificates certs{pattern, pattern + "/ca.crt", pattern + "/server.crt",
                         pattern + "/server.key"};
  const std::string dir = pattern;
  Run("openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2"
      " -subj '/CN=" +
      name + " test CA' -keyout " + dir + "/ca.key -out " + certs.caFile);
  Run("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes"
      " -subj /CN=localhost -keyout " +
      certs.keyFile + " -out " + dir + "/server.csr");
  Run("printf 'subjectAltName=DNS:localhost\\nbasicConstraints=CA:FALSE\\n' > " + dir + "/ext.cnf");
  Run("openssl x509 -req -in " + dir + "/server.csr -CA " + certs.caFile + " -CAkey " + dir +
      "/ca.key -CAcreateserial -days 2 -extfile " + dir + "/ext.cnf -out " + certs.certFile);
  return certs;
}

}  // namespace veilmark::testing
