#include "certificates.h"

#include <fcntl.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <stdexcept>

#include "handles.h"

namespace veilmark::service {
namespace {

constexpr long kCaDays = 3650;
constexpr long kServerDays = 825;  // the longest lifetime TLS clients still accept

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error("certificate setup: " + what);
}

EvpPkeyPtr MakeRsaKey() {
  EvpPkeyCtxPtr context(EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr));
  EVP_PKEY* key = nullptr;
  if (!context || EVP_PKEY_keygen_init(context.get()) != 1 ||
      EVP_PKEY_CTX_set_rsa_keygen_bits(context.get(), 2048) != 1 ||
      EVP_PKEY_keygen(context.get(), &key) != 1) {
    Fail("RSA key generation");
  }
  return EvpPkeyPtr(key);
}

void AddExtension(X509* certificate, X509* issuer, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
  X509ExtensionPtr extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value));
  if (!extension || X509_add_ext(certificate, extension.get(), -1) != 1) {
    Fail(std::string("extension ") + OBJ_nid2sn(nid));
  }
}

X509Ptr NewCertificate(EVP_PKEY* key, const char* commonName, long days) {
  X509Ptr certificate(X509_new());
  if (!certificate) Fail("X509_new");
  X509_set_version(certificate.get(), 2);
  unsigned char serial[16];
  if (RAND_bytes(serial, sizeof serial) != 1) Fail("random serial");
  serial[0] &= 0x7f;  // a positive serial number
  BignumPtr serialNumber(BN_bin2bn(serial, sizeof serial, nullptr));
  if (!serialNumber ||
      !BN_to_ASN1_INTEGER(serialNumber.get(), X509_get_serialNumber(certificate.get()))) {
    Fail("serial number");
  }
  X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(certificate.get()), days * 24 * 3600);
  X509_set_pubkey(certificate.get(), key);
  X509_NAME* name = X509_get_subject_name(certificate.get());
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("Veilmark local service"), -1,
                             -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
  return certificate;
}

void Sign(X509* certificate, EVP_PKEY* issuerKey) {
  if (X509_sign(certificate, issuerKey, EVP_sha256()) <= 0) Fail("signing");
}

// Written to a temporary name and renamed, so a crash never leaves half a file.
void WritePem(const std::string& path, mode_t mode, const std::function<bool(BIO*)>& write) {
  const std::string temporary = path + ".new";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) Fail("cannot write " + temporary);
  BioPtr bio(BIO_new_fd(fd, BIO_CLOSE));
  if (!bio) {
    ::close(fd);
    Fail("BIO for " + temporary);
  }
  const bool written = write(bio.get()) && BIO_flush(bio.get()) == 1;
  bio.reset();
  if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    Fail("cannot write " + path);
  }
}

X509Ptr ReadCertificate(const std::string& path) {
  BioPtr bio(BIO_new_file(path.c_str(), "r"));
  if (!bio) return nullptr;
  return X509Ptr(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
}

EvpPkeyPtr ReadKey(const std::string& path) {
  BioPtr bio(BIO_new_file(path.c_str(), "r"));
  if (!bio) return nullptr;
  return EvpPkeyPtr(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
}

bool UsableAsIs(const TlsFiles& files) {
  X509Ptr ca = ReadCertificate(files.caCertificate);
  X509Ptr server = ReadCertificate(files.serverCertificate);
  EvpPkeyPtr key = ReadKey(files.serverKey);
  if (!ca || !server || !key) return false;
  EvpPkeyPtr caKey(X509_get_pubkey(ca.get()));
  return X509_check_private_key(server.get(), key.get()) == 1 &&
         X509_verify(server.get(), caKey.get()) == 1;
}

}  // namespace

TlsFiles LoadOrCreateTls(const std::string& stateDir) {
  TlsFiles files{stateDir + "/ca.pem", stateDir + "/server.pem", stateDir + "/server-key.pem"};
  if (UsableAsIs(files)) return files;

  EvpPkeyPtr caKey = MakeRsaKey();
  X509Ptr ca = NewCertificate(caKey.get(), "Veilmark local CA", kCaDays);
  X509_set_issuer_name(ca.get(), X509_get_subject_name(ca.get()));
  AddExtension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE,pathlen:0");
  AddExtension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
  AddExtension(ca.get(), ca.get(), NID_subject_key_identifier, "hash");
  Sign(ca.get(), caKey.get());

  EvpPkeyPtr serverKey = MakeRsaKey();
  X509Ptr server = NewCertificate(serverKey.get(), "localhost", kServerDays);
  X509_set_issuer_name(server.get(), X509_get_subject_name(ca.get()));
  AddExtension(server.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE");
  AddExtension(server.get(), ca.get(), NID_key_usage, "critical,digitalSignature,keyEncipherment");
  AddExtension(server.get(), ca.get(), NID_ext_key_usage, "serverAuth");
  AddExtension(server.get(), ca.get(), NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1");
  AddExtension(server.get(), ca.get(), NID_subject_key_identifier, "hash");
  AddExtension(server.get(), ca.get(), NID_authority_key_identifier, "keyid:always");
  Sign(server.get(), caKey.get());

  WritePem(files.serverKey, 0600, [&](BIO* bio) {
    return PEM_write_bio_PrivateKey(bio, serverKey.get(), nullptr, nullptr, 0, nullptr, nullptr) ==
           1;
  });
  WritePem(files.serverCertificate, 0644, [&](BIO* bio) {
    return PEM_write_bio_X509(bio, server.get()) == 1 && PEM_write_bio_X509(bio, ca.get()) == 1;
  });
  WritePem(files.caCertificate, 0644,
           [&](BIO* bio) { return PEM_write_bio_X509(bio, ca.get()) == 1; });
  return files;
}

}  // namespace veilmark::service
