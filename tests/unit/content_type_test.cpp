#include "api/content_type.h"

#include <gtest/gtest.h>

namespace veilmark {
namespace {

TEST(ContentType, TableHoldsEveryExtension) {
  EXPECT_EQ(ContentTypeTableSize(), 178u);
}

TEST(ContentType, ExtensionsAreMatchedExactly) {
  EXPECT_EQ(contentTypeFor(u"report.pdf"), "application/pdf");
  EXPECT_EQ(contentTypeFor(u"report.PDF"), "application/octet-stream");
  EXPECT_EQ(contentTypeFor(u"photo.jpe"), "image/jpeg");
  EXPECT_EQ(contentTypeFor(u"sheet.xlsx"),
            "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet");
  EXPECT_EQ(contentTypeFor(u"deck.wbmxl"), "application/vnd.wap.wbxml");
  EXPECT_EQ(contentTypeFor(u"deck.wbxml"), "application/octet-stream");
  EXPECT_EQ(contentTypeFor(u"page.xsl"), "application/xml");
}

TEST(ContentType, OnlyTheLastExtensionCounts) {
  EXPECT_EQ(contentTypeFor(u"archive.tar.gz"), "application/octet-stream");
  EXPECT_EQ(contentTypeFor(u"archive.gz.tar"), "application/x-tar");
  EXPECT_EQ(contentTypeFor(u"README"), "application/octet-stream");
  EXPECT_EQ(contentTypeFor(u"trailing."), "application/octet-stream");
  EXPECT_EQ(contentTypeFor(u""), "application/octet-stream");
}

TEST(ContentType, ExtensionIsThatOfTheLastPathComponent) {
  EXPECT_EQ(contentTypeFor(u"C:\\docs.zip\\notes"), "application/octet-stream");
  EXPECT_EQ(contentTypeFor(u"C:\\docs\\notes.txt"), "text/plain");
  // As the shell sees it, a space after the full stop means no extension.
  EXPECT_EQ(contentTypeFor(u"name.zip copy"), "application/octet-stream");
  EXPECT_EQ(contentTypeFor(u"my report.pdf"), "application/pdf");
}

TEST(ContentType, PgpMimePartsAreDecidedBeforeTheTable) {
  EXPECT_EQ(contentTypeFor(u"encrypted.asc"), "application/octet-stream");
  EXPECT_EQ(contentTypeFor(u"message.asc"), "text/plain");
  EXPECT_EQ(contentTypeFor(u"PGP_MIME version identification.dat"), "application/pgp-encrypted");
  EXPECT_EQ(contentTypeFor(u"Version_Identification"), "application/pgp-encrypted");
  EXPECT_EQ(contentTypeFor(u"Version_Identification.dat"), "application/pgp-encrypted");
  EXPECT_EQ(contentTypeFor(u"version_identification.dat"), "application/octet-stream");
}

}  // namespace
}  // namespace veilmark
