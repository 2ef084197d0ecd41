#include "api/content_type.h"

#include <gtest/gtest.h>

namespace veilmark {
namespace {

TEST(ContentType, ExtensionsAreMatchedExactly) {
  EXPECT_EQ(ContentTypeFor(u"report.pdf"), "application/pdf");
  EXPECT_EQ(ContentTypeFor(u"report.PDF"), "application/octet-stream");
  EXPECT_EQ(ContentTypeFor(u"photo.jpe"), "image/jpeg");
  EXPECT_EQ(ContentTypeFor(u"sheet.xlsx"),
            "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet");
  EXPECT_EQ(ContentTypeFor(u"deck.wbmxl"), "application/vnd.wap.wbxml");
  EXPECT_EQ(ContentTypeFor(u"deck.wbxml"), "application/octet-stream");
  EXPECT_EQ(ContentTypeFor(u"page.xsl"), "application/xml");
}

TEST(ContentType, OnlyTheLastExtensionCounts) {
  EXPECT_EQ(ContentTypeFor(u"archive.tar.gz"), "application/octet-stream");
  EXPECT_EQ(ContentTypeFor(u"archive.gz.tar"), "application/x-tar");
  EXPECT_EQ(ContentTypeFor(u"README"), "application/octet-stream");
  EXPECT_EQ(ContentTypeFor(u"trailing."), "application/octet-stream");
  EXPECT_EQ(ContentTypeFor(u""), "application/octet-stream");
}

TEST(ContentType, ExtensionIsThatOfTheLastPathComponent) {
  EXPECT_EQ(ContentTypeFor(u"C:\\docs.zip\\notes"), "application/octet-stream");
  EXPECT_EQ(ContentTypeFor(u"C:\\docs\\notes.txt"), "text/plain");
  // As the shell sees it, a space after the full stop means no extension.
  EXPECT_EQ(ContentTypeFor(u"name.zip copy"), "application/octet-stream");
  EXPECT_EQ(ContentTypeFor(u"my report.pdf"), "application/pdf");
}

TEST(ContentType, PgpMimePartsAreDecidedBeforeTheTable) {
  EXPECT_EQ(ContentTypeFor(u"encrypted.asc"), "application/octet-stream");
  EXPECT_EQ(ContentTypeFor(u"message.asc"), "text/plain");
  EXPECT_EQ(ContentTypeFor(u"PGP_MIME version identification.dat"), "application/pgp-encrypted");
  EXPECT_EQ(ContentTypeFor(u"Version_Identification"), "application/pgp-encrypted");
  EXPECT_EQ(ContentTypeFor(u"Version_Identification.dat"), "application/pgp-encrypted");
  EXPECT_EQ(ContentTypeFor(u"version_identification.dat"), "application/octet-stream");
}

}  // namespace
}  // namespace veilmark
