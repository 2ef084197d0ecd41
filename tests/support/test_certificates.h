// A throw-away CA and a server certificate for DNS:localhost, made with the
// openssl command in a fresh temporary folder.
#pragma once

#include <string>

namespace veilmark::testing {

struct TestCertificates {
  std::string folder;
  std::string caFile;
  std::string certFile;  // server certificate, signed by caFile
  std::string keyFile;
};

// Throws std::runtime_error when openssl fails.
TestCertificates MakeTestCertificates(const std::string& name);

}  // namespace veilmark::testing
