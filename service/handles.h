// Owners for the C handles the service holds: OpenSSL, GLib/GMime, GPGME
// and SQLite objects are released by their own free functions, never by hand.
#pragma once

#include <glib-object.h>
#include <gpgme.h>
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sqlite3.h>

#include <memory>

namespace veilmark::service {

template <auto Free>
struct FreeWith {
  template <class T>
  void operator()(T* handle) const {
    if (handle) Free(handle);
  }
};

using BioPtr = std::unique_ptr<BIO, FreeWith<BIO_free_all>>;
using BignumPtr = std::unique_ptr<BIGNUM, FreeWith<BN_free>>;
using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, FreeWith<EVP_PKEY_free>>;
using EvpPkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, FreeWith<EVP_PKEY_CTX_free>>;
using X509Ptr = std::unique_ptr<X509, FreeWith<X509_free>>;
using X509ExtensionPtr = std::unique_ptr<X509_EXTENSION, FreeWith<X509_EXTENSION_free>>;

struct GObjectUnref {
  void operator()(gpointer object) const {
    if (object) g_object_unref(object);
  }
};
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;
using GCharPtr = std::unique_ptr<char, FreeWith<g_free>>;
using GDateTimePtr = std::unique_ptr<GDateTime, FreeWith<g_date_time_unref>>;

using GpgmeCtxPtr = std::unique_ptr<gpgme_context, FreeWith<gpgme_release>>;
using GpgmeDataPtr = std::unique_ptr<gpgme_data, FreeWith<gpgme_data_release>>;
using GpgmeKeyPtr = std::unique_ptr<_gpgme_key, FreeWith<gpgme_key_unref>>;

using SqlitePtr = std::unique_ptr<sqlite3, FreeWith<sqlite3_close_v2>>;
using SqliteStmtPtr = std::unique_ptr<sqlite3_stmt, FreeWith<sqlite3_finalize>>;

}  // namespace veilmark::service
