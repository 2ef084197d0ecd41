// Received messages from .eml files, as the add-in sees them through the
// host object model.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "base/text.h"
#include "host/eml_message.h"
#include "host/mail_content.h"
#include "message_files.h"
#include "outlook/account_address.h"
#include "outlook/memory/memory_outlook.h"
#include "read/secure_read.h"
#include "support/hr_assert_recorder.h"
#include "support/recording_ui.h"

namespace veilmark::hostapp {
namespace {

using namespace std::string_literals;
using testing::ScratchFolder;

class EmlStoreTest : public ::testing::Test {
 protected:
  std::shared_ptr<outlook::MemoryMailItem> Item(const std::string& file,
                                                const std::string& account = {}) {
    auto item = outlook_.NewMailItem();
    FillReceived(*item, LoadEmlMessage(file), account);
    return item;
  }
  static std::u16string Property(outlook::MailItem& item, const char16_t* name, HRESULT& hr) {
    std::shared_ptr<outlook::PropertyAccessor> accessor;
    EXPECT_EQ(item.GetPropertyAccessor(accessor), S_OK);
    std::u16string value;
    hr = accessor->GetProperty(name, value);
    return value;
  }
  static std::u16string Property(outlook::MailItem& item, const char16_t* name) {
    HRESULT hr = E_FAIL;
    std::u16string value = Property(item, name, hr);
    EXPECT_EQ(hr, S_OK);
    return value;
  }
  static std::shared_ptr<outlook::Attachment> AttachmentAt(outlook::MailItem& item,
                                                           std::int32_t index) {
    std::shared_ptr<outlook::Attachments> attachments;
    EXPECT_EQ(item.GetAttachments(attachments), S_OK);
    std::shared_ptr<outlook::Attachment> attachment;
    EXPECT_EQ(attachments->GetItem(index, attachment), S_OK);
    return attachment;
  }
  static std::int32_t AttachmentCount(outlook::MailItem& item) {
    std::shared_ptr<outlook::Attachments> attachments;
    EXPECT_EQ(item.GetAttachments(attachments), S_OK);
    std::int32_t count = -1;
    EXPECT_EQ(attachments->GetCount(count), S_OK);
    return count;
  }
  std::string Saved(outlook::Attachment& attachment) {
    // A longer file already there must not leave a tail behind.
    const std::string path = folder_.Write("saved.bin", std::string(4096, 'x'));
    EXPECT_EQ(attachment.SaveAsFile(Utf8ToWide(path)), S_OK);
    return testing::ReadBytes(path);
  }
  static std::u16string FileName(outlook::Attachment& attachment) {
    std::u16string name;
    EXPECT_EQ(attachment.GetFileName(name), S_OK);
    return name;
  }
  static std::u16string EntryId(outlook::MailItem& item) {
    std::u16string id;
    EXPECT_EQ(item.GetEntryID(id), S_OK);
    return id;
  }

  ScratchFolder folder_;
  outlook::MemoryOutlook outlook_;
  testing::HrAssertRecorder hrAsserts_;
};

// --- headers ----------------------------------------------------------------

TEST_F(EmlStoreTest, TransportHeadersAreTheHeaderBlockAsInTheFile) {
  auto item = Item(folder_.Write("m.eml", testing::ProtectedMessage()));
  EXPECT_EQ(Property(*item, outlook::kTransportHeadersProperty),
            Utf8ToWide(testing::kProtectedHeaders));

  // Line ends and folding stay as the file has them.
  auto crlf = Item(folder_.Write("crlf.eml", testing::WithCrlf(testing::ProtectedMessage())));
  EXPECT_EQ(Property(*crlf, outlook::kTransportHeadersProperty),
            Utf8ToWide(testing::WithCrlf(testing::kProtectedHeaders)));
}

TEST_F(EmlStoreTest, AddInRecognisesProtectedMessagesByTheirHeaders) {
  auto protectedItem = Item(folder_.Write("p.eml", testing::ProtectedMessage()));
  auto crlf = Item(folder_.Write("c.eml", testing::WithCrlf(testing::ProtectedMessage())));
  auto plain = Item(folder_.Write("plain.eml", testing::PlainMessage()));
  EXPECT_TRUE(IsProtectedMessage(protectedItem));
  EXPECT_TRUE(IsProtectedMessage(crlf));
  EXPECT_FALSE(IsProtectedMessage(plain));
}

TEST_F(EmlStoreTest, ReceivedMessageIsSentWithDecodedSubjectAndItsRecipients) {
  auto item = Item(folder_.Write("m.eml", testing::ProtectedMessage()));
  bool sent = false;
  EXPECT_EQ(item->GetSent(sent), S_OK);
  EXPECT_TRUE(sent);
  std::u16string subject;
  EXPECT_EQ(item->GetSubject(subject), S_OK);
  EXPECT_EQ(subject, u"Caf\u00e9 plans");

  std::shared_ptr<outlook::Recipients> recipients;
  ASSERT_EQ(item->GetRecipients(recipients), S_OK);
  std::int32_t count = 0;
  ASSERT_EQ(recipients->GetCount(count), S_OK);
  ASSERT_EQ(count, 2);
  std::shared_ptr<outlook::Recipient> second;
  ASSERT_EQ(recipients->GetItem(2, second), S_OK);
  std::u16string address;
  EXPECT_EQ(second->GetAddress(address), S_OK);
  EXPECT_EQ(address, u"carol@example.com");
}

// --- received-by address ------------------------------------------------------

TEST_F(EmlStoreTest, ReceivedByIsTheAccountWhenGiven) {
  auto item = Item(folder_.Write("m.eml", testing::ProtectedMessage()), "Other@Example.com");
  EXPECT_EQ(Property(*item, outlook::kReceivedByAddressProperty), u"Other@Example.com");
  // The add-in keys its session by it, lower-cased.
  testing::RecordingUi boxes;
  EXPECT_EQ(GetAccountAddress(*item, boxes), u"other@example.com");
}

TEST_F(EmlStoreTest, ReceivedByIsTheFirstDeliveredTo) {
  const std::string twice = "Delivered-To: first@example.com\nDelivered-To: second@example.com\n" +
                            testing::ProtectedMessage();
  auto item = Item(folder_.Write("m.eml", twice));
  EXPECT_EQ(Property(*item, outlook::kReceivedByAddressProperty), u"first@example.com");
}

TEST_F(EmlStoreTest, ReceivedByFallsBackToTheFirstToMailbox) {
  auto named = Item(folder_.Write(
      "named.eml", "To: Bob <Bob@Example.com>, carol@example.com\nSubject: x\n\nbody\n"));
  EXPECT_EQ(Property(*named, outlook::kReceivedByAddressProperty), u"Bob@Example.com");

  // A group's first member is the first address.
  auto group = Item(folder_.Write(
      "group.eml", "To: Team: dave@example.com, erin@example.com;\nSubject: x\n\nbody\n"));
  EXPECT_EQ(Property(*group, outlook::kReceivedByAddressProperty), u"dave@example.com");
}

TEST_F(EmlStoreTest, NoAddressAtAllLeavesReceivedByUnset) {
  auto item = Item(folder_.Write("m.eml", "Subject: nobody\n\nbody\n"));
  HRESULT hr = S_OK;
  Property(*item, outlook::kReceivedByAddressProperty, hr);
  EXPECT_EQ(hr, outlook::kPropertyNotFound);
}

// --- attachments ----------------------------------------------------------------

TEST_F(EmlStoreTest, EncryptedMessageShowsVersionAndPayloadAsAttachmentsOneAndTwo) {
  auto item = Item(folder_.Write("m.eml", testing::ProtectedMessage()));
  ASSERT_EQ(AttachmentCount(*item), 2);
  auto version = AttachmentAt(*item, 1);
  auto payload = AttachmentAt(*item, 2);
  EXPECT_EQ(Saved(*version), testing::kVersionPart);
  EXPECT_EQ(Saved(*payload), testing::kArmoredPayload);
  EXPECT_EQ(FileName(*payload), u"encrypted.asc");

  std::shared_ptr<outlook::Attachments> attachments;
  ASSERT_EQ(item->GetAttachments(attachments), S_OK);
  std::shared_ptr<outlook::Attachment> none;
  EXPECT_EQ(attachments->GetItem(3, none), DISP_E_BADINDEX);
  EXPECT_EQ(attachments->GetItem(0, none), DISP_E_BADINDEX);
}

TEST_F(EmlStoreTest, PayloadKeepsTheFilesLineEnds) {
  auto item = Item(folder_.Write("m.eml", testing::WithCrlf(testing::ProtectedMessage())));
  ASSERT_EQ(AttachmentCount(*item), 2);
  EXPECT_EQ(Saved(*AttachmentAt(*item, 2)), testing::WithCrlf(testing::kArmoredPayload));
}

// Large parts are saved from the message file as they are needed: the model
// holds none of their bytes, and what is saved is the part, byte for byte.
TEST_F(EmlStoreTest, LargePartsAreSavedFromTheFileByteExactAndNeverHeld) {
  std::string armored = "-----BEGIN PGP MESSAGE-----\r\n\r\n";
  std::string binary;
  for (std::size_t line = 0; armored.size() < 3 * 1024 * 1024; ++line) {
    armored += std::string(64, static_cast<char>('A' + line % 26)) + "+/=\r\n";
    binary += std::string(1, static_cast<char>(line % 256)) + "\0\xff\r\n\x80"s;
  }
  armored += "-----END PGP MESSAGE-----\r\n";
  // Six bytes a line: base64 without padding, in lines of 76.
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string base64;
  for (std::size_t i = 0; i < binary.size(); i += 3) {
    const std::uint32_t triple = static_cast<unsigned char>(binary[i]) << 16 |
                                 static_cast<unsigned char>(binary[i + 1]) << 8 |
                                 static_cast<unsigned char>(binary[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) base64 += kDigits[(triple >> shift) & 63];
    if (i / 3 % 19 == 18) base64 += "\r\n";
  }
  const std::string encrypted = testing::WithCrlf(std::string(testing::kProtectedHeaders) +
                                                  "\n--enc-boundary\n"
                                                  "Content-Type: application/pgp-encrypted\n\n" +
                                                  testing::kVersionPart +
                                                  "\n--enc-boundary\n"
                                                  "Content-Type: application/octet-stream\n\n") +
                                armored + "\r\n--enc-boundary--\r\n";
  const std::string ordinary =
      "From: alice@example.com\r\nTo: bob@example.com\r\nMIME-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
      "Content-Type: text/plain\r\n\r\nbody\r\n--b\r\n"
      "Content-Type: application/octet-stream; name=\"big.bin\"\r\n"
      "Content-Transfer-Encoding: base64\r\n\r\n" +
      base64 + "\r\n--b--\r\n";
  const struct {
    std::string file;
    std::int32_t index;
    const std::string& part;
  } cases[] = {{"encrypted.eml", 2, armored}, {"ordinary.eml", 1, binary}};
  for (const auto& c : cases) {
    auto item = Item(folder_.Write(c.file, c.file == "encrypted.eml" ? encrypted : ordinary));
    auto attachment =
        std::dynamic_pointer_cast<outlook::MemoryAttachment>(AttachmentAt(*item, c.index));
    ASSERT_TRUE(attachment) << c.file;
    EXPECT_TRUE(attachment->bytes.empty()) << c.file;
    const std::string saved = Saved(*attachment);
    EXPECT_EQ(saved.size(), c.part.size()) << c.file;
    EXPECT_TRUE(saved == c.part) << c.file;
    EXPECT_TRUE(Saved(*attachment) == c.part) << c.file << ": saved twice";
  }
}

TEST_F(EmlStoreTest, OrdinaryMessageShowsItsAttachmentPartsDecoded) {
  // "%PDF\0\xff" in base64, then an inline image with a name, an attached
  // message, and the body parts, which are no attachments.
  const std::string message =
      "From: alice@example.com\nTo: bob@example.com\nSubject: files\nMIME-Version: 1.0\n"
      "Content-Type: multipart/mixed; boundary=\"outer\"\n\n"
      "--outer\n"
      "Content-Type: multipart/alternative; boundary=\"alt\"\n\n"
      "--alt\nContent-Type: text/plain\n\nplain body\n"
      "--alt\nContent-Type: text/html; charset=utf-8\n\n<p>html body</p>\n"
      "--alt--\n"
      "--outer\n"
      "Content-Type: application/pdf; name=\"report.pdf\"\n"
      "Content-Disposition: attachment; filename=\"report.pdf\"\n"
      "Content-Transfer-Encoding: base64\n\n"
      "JVBERgD/\n"
      "--outer\n"
      "Content-Type: image/png; name=\"logo.png\"\n"
      "Content-Disposition: inline\n\n"
      "PNGDATA\n"
      "--outer\n"
      "Content-Type: message/rfc822\n\n"
      "Subject: inner note\nFrom: carol@example.com\n\ninner body\n"
      "--outer--\n";
  auto item = Item(folder_.Write("m.eml", message));
  ASSERT_EQ(AttachmentCount(*item), 3);
  EXPECT_EQ(FileName(*AttachmentAt(*item, 1)), u"report.pdf");
  EXPECT_EQ(Saved(*AttachmentAt(*item, 1)), "%PDF\0\xff"s);
  EXPECT_EQ(FileName(*AttachmentAt(*item, 2)), u"logo.png");
  EXPECT_EQ(Saved(*AttachmentAt(*item, 2)), "PNGDATA");
  EXPECT_EQ(FileName(*AttachmentAt(*item, 3)), u"inner note.eml");
  EXPECT_NE(Saved(*AttachmentAt(*item, 3)).find("inner body"), std::string::npos);

  std::u16string body;
  EXPECT_EQ(item->GetHTMLBody(body), S_OK);
  EXPECT_EQ(body, u"<p>html body</p>");
}

TEST_F(EmlStoreTest, PlainTextBodyIsShownEscapedAsHtml) {
  auto item = Item(folder_.Write("m.eml", testing::PlainMessage()));
  EXPECT_EQ(AttachmentCount(*item), 0);
  std::u16string body;
  EXPECT_EQ(item->GetHTMLBody(body), S_OK);
  EXPECT_NE(body.find(u"Noon at the &lt;usual&gt; place?"), std::u16string::npos);
}

// --- entry ids --------------------------------------------------------------------

TEST_F(EmlStoreTest, EntryIdIsStableForTheSameFileAndDiffersBetweenFiles) {
  const std::string path = folder_.Write("m.eml", testing::ProtectedMessage());
  const std::u16string id = EntryId(*Item(path));
  EXPECT_EQ(id.size(), 40u);
  EXPECT_EQ(EntryId(*Item(path)), id);

  // The same file named another way is the same message.
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder_.root());
  const std::u16string relative = EntryId(*Item("./m.eml"));
  std::filesystem::current_path(previous);
  EXPECT_EQ(relative, id);

  // A copy elsewhere is another message to the cache.
  const std::string copy = folder_.Write("copy.eml", testing::ProtectedMessage());
  EXPECT_NE(EntryId(*Item(copy)), id);
}

TEST(EntryIdForTest, DependsOnPathAndMessageId) {
  EXPECT_EQ(EntryIdFor("/a/m.eml", "<1@x>"), EntryIdFor("/a/m.eml", "<1@x>"));
  EXPECT_NE(EntryIdFor("/a/m.eml", "<1@x>"), EntryIdFor("/a/m.eml", "<2@x>"));
  EXPECT_NE(EntryIdFor("/a/m.eml", "<1@x>"), EntryIdFor("/b/m.eml", "<1@x>"));
  EXPECT_EQ(EntryIdFor("/a/m.eml", "").find_first_not_of("0123456789ABCDEF"), std::string::npos);
}

// --- files that are no messages -------------------------------------------------

TEST_F(EmlStoreTest, UnreadableOrMalformedFilesAreClearErrors) {
  struct Case {
    std::string path;
    std::string says;
  };
  const Case cases[] = {
      {(folder_.root() / "missing.eml").string(), "No such file"},
      {folder_.root().string(), "directory"},
      {folder_.Write("empty.eml", ""), "not a mail message"},
      {folder_.Write("prose.eml", "hello world\nthis is not a header\n"), "not a mail message"},
      {folder_.Write("bodyonly.eml", "\nbody without headers\n"), "no header fields"},
  };
  for (const Case& c : cases) {
    try {
      LoadEmlMessage(c.path);
      ADD_FAILURE() << c.path << " was accepted";
    } catch (const InputFileError& error) {
      const std::string what = error.what();
      EXPECT_NE(what.find(c.path), std::string::npos) << what;
      EXPECT_NE(what.find(c.says), std::string::npos) << what;
    }
  }
}

TEST_F(EmlStoreTest, HeadersWithoutABodyAreStillAMessage) {
  const std::string headers = "To: bob@example.com\nSubject: headers only\n";
  const EmlMessage message = LoadEmlMessage(folder_.Write("m.eml", headers));
  EXPECT_EQ(message.rawHeaders, headers);
  EXPECT_EQ(message.subject, "headers only");
}

}  // namespace
}  // namespace veilmark::hostapp
