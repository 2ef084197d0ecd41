#include "read/protected_header.h"

#include <gtest/gtest.h>

namespace veilmark {
namespace {

TEST(ProtectedHeader, QuotedValueFollowedBySemicolonInAnyCase) {
  EXPECT_TRUE(
      DeclaresPgpMime(u"Received: from x\r\nContent-Type: multipart/encrypted; "
                      u"protocol=\"application/pgp-encrypted\"; boundary=\"b1\"\r\n"));
  EXPECT_TRUE(DeclaresPgpMime(
      u"CONTENT-TYPE: MULTIPART/ENCRYPTED; PROTOCOL=\"APPLICATION/PGP-ENCRYPTED\";\r\n"));
}

TEST(ProtectedHeader, QuirksOfTheRuleAreKept) {
  // Unquoted value.
  EXPECT_FALSE(DeclaresPgpMime(
      u"Content-Type: multipart/encrypted; protocol=application/pgp-encrypted; boundary=b\r\n"));
  // Space before the ";".
  EXPECT_FALSE(DeclaresPgpMime(
      u"Content-Type: multipart/encrypted; protocol=\"application/pgp-encrypted\" ; b=1\r\n"));
  // Last parameter of its header: the next ";" is in a later line.
  EXPECT_FALSE(DeclaresPgpMime(
      u"Content-Type: multipart/encrypted; boundary=b; protocol=\"application/pgp-encrypted\"\r\n"
      u"X-Other: a; b\r\n"));
  // Only the first "protocol=" is looked at.
  EXPECT_FALSE(
      DeclaresPgpMime(u"X-Note: protocol=\"x\";\r\nContent-Type: multipart/encrypted; "
                      u"protocol=\"application/pgp-encrypted\"; boundary=b\r\n"));
}

TEST(ProtectedHeader, ShortOrMissingPartsAreNotProtected) {
  EXPECT_FALSE(DeclaresPgpMime(u""));
  EXPECT_FALSE(DeclaresPgpMime(u"Subject: hello\r\n"));
  EXPECT_FALSE(DeclaresPgpMime(u"protocol=\"application/pgp-encrypted\""));
  EXPECT_FALSE(DeclaresPgpMime(u"protocol=\"a\";"));
  EXPECT_FALSE(DeclaresPgpMime(u"protocol=;"));
  EXPECT_FALSE(DeclaresPgpMime(u"protocol=\"application/pgp-signature\"; micalg=x"));
}

}  // namespace
}  // namespace veilmark
