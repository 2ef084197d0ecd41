// The service's own CA and its server certificate for localhost, made on
// first start and kept in the state folder.
#pragma once

#include <string>

namespace veilmark::service {

struct TlsFiles {
  std::string caCertificate;      // DIR/ca.pem, what clients trust
  std::string serverCertificate;  // DIR/server.pem, leaf then CA
  std::string serverKey;          // DIR/server-key.pem, mode 0600
};

// Uses the files in `stateDir` when they are all there and readable, and
// makes a new CA and server certificate otherwise. Throws on failure.
TlsFiles LoadOrCreateTls(const std::string& stateDir);

}  // namespace veilmark::service
