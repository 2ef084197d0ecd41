// A throw-away CA and a server certificate for DNS:localhost, made with the
// openssl command in a fresh temporary folder that goes with them.
#pragma once

#include <string>

namespace veilmark::testing {

// Removes its folder, and all it holds, when it goes: the folder holds a
// CA's private key.
class OwnedFolder {
 public:
  explicit OwnedFolder(std::string path);
  OwnedFolder(OwnedFolder&& other) noexcept;
  OwnedFolder& operator=(OwnedFolder&&) = delete;
  OwnedFolder(const OwnedFolder&) = delete;
  OwnedFolder& operator=(const OwnedFolder&) = delete;
  ~OwnedFolder();

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

struct TestCertificates {
  OwnedFolder folder;
  std::string caFile;
  std::string certFile;  // server certificate, signed by caFile
  std::string keyFile;
};

// Throws std::runtime_error when openssl fails.
TestCertificates MakeTestCertificates(const std::string& name);

}  // namespace veilmark::testing
