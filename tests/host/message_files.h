// Files for the host's tests: a scratch folder, and the messages a mail
// store holds, as a mail server delivers them.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace veilmark::testing {

class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vm-host-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
    root_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& root() const { return root_; }
  // Writes `bytes` as they are to `name` in the folder; its path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    const std::filesystem::path path = root_ / name;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) throw std::runtime_error("cannot write " + path.string());
    return path.string();
  }

 private:
  std::filesystem::path root_;
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// Turns "\n" line ends into "\r\n", as a message on the wire has them.
inline std::string WithCrlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

inline const char kArmoredPayload[] =
    "-----BEGIN PGP MESSAGE-----\n"
    "\n"
    "hQEMA8Vb0d3ZgHXwAQf/Ubx7Q2o0n1tX+4cJp0b1k9mR1fTq4wM0cXbJq3vI7c8s\n"
    "=Xy9k\n"
    "-----END PGP MESSAGE-----\n";

inline const char kVersionPart[] = "Version: 1\n";

// The header block of the protected message, with a folded Content-Type.
inline const char kProtectedHeaders[] =
    "Return-Path: <alice@example.com>\n"
    "Delivered-To: bob@example.com\n"
    "Received: from localhost by mx.example.com; Tue, 8 Dec 2026 10:00:00 +0000\n"
    "Message-ID: <m1@example.com>\n"
    "Date: Tue, 8 Dec 2026 10:00:00 +0000\n"
    "From: Alice <alice@example.com>\n"
    "To: Bob <Bob@Example.com>, carol@example.com\n"
    "Subject: =?UTF-8?Q?Caf=C3=A9_plans?=\n"
    "MIME-Version: 1.0\n"
    "Content-Type: multipart/encrypted; protocol=\"application/pgp-encrypted\";\n"
    "\tboundary=\"enc-boundary\"\n";

// A PGP/MIME message as the service delivers it.
inline std::string ProtectedMessage() {
  return std::string(kProtectedHeaders) +
         "\n"
         "This is an OpenPGP/MIME encrypted message.\n"
         "--enc-boundary\n"
         "Content-Type: application/pgp-encrypted\n"
         "Content-Description: PGP/MIME version identification\n"
         "\n" +
         kVersionPart +
         "\n"
         "--enc-boundary\n"
         "Content-Type: application/octet-stream; name=\"encrypted.asc\"\n"
         "Content-Disposition: inline; filename=\"encrypted.asc\"\n"
         "\n" +
         kArmoredPayload +
         "\n"
         "--enc-boundary--\n";
}

inline std::string PlainMessage() {
  return "Delivered-To: bob@example.com\n"
         "Message-ID: <p1@example.com>\n"
         "From: Alice <alice@example.com>\n"
         "To: bob@example.com\n"
         "Subject: Lunch\n"
         "Content-Type: text/plain; charset=utf-8\n"
         "\n"
         "Noon at the <usual> place?\n";
}

}  // namespace veilmark::testing
