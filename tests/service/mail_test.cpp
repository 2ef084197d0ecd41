// Protected mail: uploads, encrypt-send into Maildir folders as PGP/MIME,
// decrypt-mime for the recipients only, and the kept attachment copies.
#include <gmime/gmime.h>

#include <regex>

#include "service_fixture.h"

namespace veilmark::service::testing {
namespace {

using Form = std::vector<std::pair<std::string, std::string>>;

const std::string kBody =
    "<html><head><title>t</title></head><body><p>Caf\xc3\xa9 \xe2\x80\x9cquotes\xe2\x80\x9d "
    "and more\xe2\x80\xa6</p></body></html>";
const std::string kPdf = "%PDF-1.4\n" + std::string(3000, 'x') + "\n%%EOF\n";
const std::string kPng = std::string("\x89PNG\r\n\x1a\n", 8) + std::string("\0\x01\x02\xff", 4) +
                         std::string(500, '\x7f');

class MailTest : public ServiceTest {
 protected:
  void SetUp() override {
    ServiceTest::SetUp();
    g_mime_init();
    AddUser({"alice@example.com", "alice pass"});
    AddUser({"bob@example.com", "bob pass", "--alias", "robert@example.org"});
    AddUser({"carol@example.com", "carol pass", "--extra-password", "carol extra"});
    AddUser({"eve@example.com", "eve pass"});
    alice_ = service().Login("alice@example.com", "alice pass");
  }

  // Uploads the two test files and sends them with kBody; the ids.
  std::string UploadBoth() {
    const Json::Value pdf =
        service().Upload(alice_, "R\xc3\xa9sum\xc3\xa9 2024.pdf", "application/pdf", kPdf);
    const Json::Value png = service().Upload(alice_, "chart.png", "image/png", kPng);
    EXPECT_EQ(StatusCode(pdf), "OK");
    EXPECT_EQ(StatusCode(png), "OK");
    EXPECT_EQ(pdf["att"][0]["name"].asString(), "R\xc3\xa9sum\xc3\xa9 2024.pdf");
    return pdf["att"][0]["id"].asString() + "," + png["att"][0]["id"].asString();
  }

  Json::Value Decrypt(const std::string& session, const std::string& message) {
    return service().Call("decrypt-mime",
                          {{"cipherText", ArmoredPayload(message)}, {"sessionId", session}});
  }

  std::string alice_;
};

std::string Header(const std::string& message, const std::string& name) {
  std::smatch match;
  const std::string headers = HeaderBlock(message);
  if (!std::regex_search(headers, match, std::regex("(^|\n)" + name + ": ([^\n]*)"))) return "";
  return match[2];
}

TEST_F(MailTest, SentMessageArrivesAsPgpMimeWithTransportHeaders) {
  ASSERT_EQ(StatusCode(service().Call("encrypt-send",
                                      {{"bcc", "dave@example.com"},
                                       {"body", kBody},
                                       {"cc", "carol@example.com"},
                                       {"subject", "Quarterly \xe2\x80\x9cnews\xe2\x80\x9d"},
                                       {"to", "bob@example.com"},
                                       {"attachment", UploadBoth()},
                                       {"sessionId", alice_}})),
            "OK");
  const auto mail = Mailbox(state(), "bob@example.com");
  ASSERT_EQ(mail.size(), 1u);
  const std::string& message = mail[0];

  EXPECT_EQ(message.rfind("Return-Path: <alice@example.com>\nDelivered-To: bob@example.com\n", 0),
            0u);
  EXPECT_TRUE(std::regex_search(HeaderBlock(message),
                                std::regex("\nReceived: from localhost [^\n]*\n\t[^\n]*\n\tfor "
                                           "<bob@example.com>; [A-Z][a-z]{2}, ")));
  EXPECT_EQ(Header(message, "From"), "alice@example.com");
  EXPECT_EQ(Header(message, "To"), "bob@example.com");
  EXPECT_EQ(Header(message, "Cc"), "carol@example.com");
  EXPECT_EQ(Header(message, "Bcc"), "") << "blind copies stay blind";
  EXPECT_NE(Header(message, "Date"), "");
  EXPECT_TRUE(std::regex_match(Header(message, "Message-I[Dd]"), std::regex("<[^@>]+@[^>]+>")));
  EXPECT_NE(Header(message, "Subject").find("=?"), std::string::npos) << "encoded, not raw UTF-8";
  EXPECT_TRUE(std::regex_search(
      HeaderBlock(message),
      std::regex("\nContent-Type: multipart/encrypted; protocol=\"application/pgp-encrypted\"; "
                 "boundary=\"[^\"\n]+\"\n")));

  // The structure as a MIME parser sees it.
  GMimeStream* stream = g_mime_stream_mem_new_with_buffer(message.data(), message.size());
  GMimeParser* parser = g_mime_parser_new_with_stream(stream);
  GMimeMessage* parsed = g_mime_parser_construct_message(parser, nullptr);
  ASSERT_NE(parsed, nullptr);
  GMimeObject* root = g_mime_message_get_mime_part(parsed);
  ASSERT_TRUE(GMIME_IS_MULTIPART(root));
  ASSERT_EQ(g_mime_multipart_get_count(GMIME_MULTIPART(root)), 2);
  GMimeObject* version = g_mime_multipart_get_part(GMIME_MULTIPART(root), 0);
  GMimeObject* payload = g_mime_multipart_get_part(GMIME_MULTIPART(root), 1);
  EXPECT_TRUE(g_mime_content_type_is_type(g_mime_object_get_content_type(version), "application",
                                          "pgp-encrypted"));
  EXPECT_STREQ(g_mime_part_get_filename(GMIME_PART(payload)), "encrypted.asc");
  EXPECT_NE(ArmoredPayload(message), "");
  g_object_unref(parsed);
  g_object_unref(parser);
  g_object_unref(stream);

  EXPECT_EQ(Mailbox(state(), "carol@example.com").size(), 1u);
  EXPECT_EQ(Mailbox(state(), "dave@example.com").size(), 1u);
  EXPECT_TRUE(Mailbox(state(), "alice@example.com").empty());
}

TEST_F(MailTest, EachRecipientDecryptsAndOthersAreRefused) {
  ASSERT_EQ(StatusCode(service().Call("encrypt-send", {{"body", kBody},
                                                       {"cc", "carol@example.com"},
                                                       {"subject", "Report"},
                                                       {"to", "bob@example.com"},
                                                       {"attachment", UploadBoth()},
                                                       {"sessionId", alice_}})),
            "OK");
  const std::string bob = service().Login("bob@example.com", "bob pass");
  const std::string carol = service().Login("carol@example.com", "carol pass", "carol extra");
  const std::string eve = service().Login("eve@example.com", "eve pass");
  const std::string message = Mailbox(state(), "bob@example.com").at(0);

  for (const std::string& session : {bob, carol}) {
    const Json::Value clear = Decrypt(session, message);
    ASSERT_EQ(StatusCode(clear), "OK");
    EXPECT_EQ(clear["clearText"].asString(), kBody);
    const Json::Value& files = clear["decryptedAttachments"];
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0]["name"].asString(), "R\xc3\xa9sum\xc3\xa9 2024.pdf");
    EXPECT_EQ(files[0]["contentType"].asString(), "application/pdf");
    EXPECT_EQ(files[0]["size"].asInt64(), static_cast<Json::Int64>(kPdf.size()));
    EXPECT_EQ(files[0]["previewUrl"].asString(), "");
    EXPECT_EQ(files[1]["name"].asString(), "chart.png");
    EXPECT_EQ(files[1]["contentType"].asString(), "image/png");
    EXPECT_EQ(files[1]["size"].asInt64(), static_cast<Json::Int64>(kPng.size()));
    EXPECT_NE(files[1]["previewUrl"].asString(), "");
  }

  const Json::Value refused = Decrypt(eve, message);
  EXPECT_EQ(StatusCode(refused), "NOT_A_RECIPIENT");
  EXPECT_EQ(refused["status"]["message"][0].asString(),
            "This message was not encrypted for eve@example.com");
  EXPECT_FALSE(refused.isMember("clearText"));
  EXPECT_EQ(StatusCode(Decrypt(alice_, message)), "NOT_A_RECIPIENT") << "the sender is no reader";
}

TEST_F(MailTest, AttachmentCopiesAreServedOverHttpsOnly) {
  ASSERT_EQ(StatusCode(service().Call("encrypt-send", {{"body", kBody},
                                                       {"subject", "Files"},
                                                       {"to", "bob@example.com"},
                                                       {"attachment", UploadBoth()},
                                                       {"sessionId", alice_}})),
            "OK");
  const std::string bob = service().Login("bob@example.com", "bob pass");
  const Json::Value files =
      Decrypt(bob, Mailbox(state(), "bob@example.com").at(0))["decryptedAttachments"];
  ASSERT_EQ(files.size(), 2u);

  auto https = service().Https();
  auto pdf = https->Get(files[0]["url"].asCString());
  ASSERT_TRUE(pdf);
  EXPECT_EQ(pdf->status, 200);
  EXPECT_EQ(pdf->body, kPdf);
  EXPECT_EQ(pdf->get_header_value("Content-Type"), "application/pdf");
  EXPECT_EQ(pdf->get_header_value("Content-Disposition").rfind("attachment;", 0), 0u);

  auto png = https->Get(files[1]["previewUrl"].asCString());
  ASSERT_TRUE(png);
  EXPECT_EQ(png->body, kPng);
  EXPECT_EQ(png->get_header_value("Content-Disposition").rfind("inline;", 0), 0u);

  // A PDF has no preview; a guessed token finds nothing; plain HTTP serves none.
  const std::string pdfPreview =
      std::regex_replace(files[0]["url"].asString(), std::regex("^/attachments/"), "/previews/");
  EXPECT_EQ(https->Get(pdfPreview.c_str())->status, 404);
  EXPECT_EQ(https->Get("/attachments/0123456789abcdef0123456789abcdef/x.pdf")->status, 404);
  EXPECT_EQ(service().Plain()->Get(files[0]["url"].asCString())->status, 404);

  // Decrypting again keeps one copy per file, not one per reading.
  const Json::Value again = Decrypt(bob, Mailbox(state(), "bob@example.com").at(0));
  EXPECT_EQ(again["decryptedAttachments"][0]["url"], files[0]["url"]);
}

TEST_F(MailTest, BlindCopiesAreEncryptedForTheirOwnReaderOnly) {
  ASSERT_EQ(StatusCode(service().Call("encrypt-send", {{"bcc", "eve@example.com"},
                                                       {"body", "<p>hi</p>"},
                                                       {"subject", "s"},
                                                       {"to", "bob@example.com"},
                                                       {"sessionId", alice_}})),
            "OK");
  const std::string bob = service().Login("bob@example.com", "bob pass");
  const std::string eve = service().Login("eve@example.com", "eve pass");
  const std::string bobsCopy = Mailbox(state(), "bob@example.com").at(0);
  const std::string evesCopy = Mailbox(state(), "eve@example.com").at(0);
  EXPECT_EQ(StatusCode(Decrypt(eve, evesCopy)), "OK");
  EXPECT_EQ(StatusCode(Decrypt(bob, evesCopy)), "OK");
  EXPECT_EQ(StatusCode(Decrypt(bob, bobsCopy)), "OK");
  EXPECT_EQ(StatusCode(Decrypt(eve, bobsCopy)), "NOT_A_RECIPIENT");
}

TEST_F(MailTest, AliasAndUnknownRecipientsGetKeysAndFolders) {
  ASSERT_EQ(StatusCode(service().Call("encrypt-send", {{"body", "plain words"},
                                                       {"subject", "s"},
                                                       {"to",
                                                        "Robert <robert@example.org>; "
                                                        "stranger@example.net"},
                                                       {"sessionId", alice_}})),
            "OK");
  const auto aliasMail = Mailbox(state(), "robert@example.org");
  ASSERT_EQ(aliasMail.size(), 1u);
  EXPECT_EQ(Header(aliasMail[0], "Delivered-To"), "robert@example.org");
  const std::string bob = service().Login("bob@example.com", "bob pass");
  const Json::Value clear = Decrypt(bob, aliasMail[0]);
  ASSERT_EQ(StatusCode(clear), "OK") << "mail to an alias is for its owner's key";
  EXPECT_EQ(clear["clearText"].asString(), "plain words");
  EXPECT_EQ(clear["decryptedAttachments"].size(), 0u);

  // The stranger registers later and reads the mail with the key made for
  // the address when the mail came.
  ASSERT_EQ(Mailbox(state(), "stranger@example.net").size(), 1u);
  AddUser({"stranger@example.net", "late comer"});
  const std::string stranger = service().Login("stranger@example.net", "late comer");
  EXPECT_EQ(StatusCode(Decrypt(stranger, Mailbox(state(), "stranger@example.net")[0])), "OK");
}

TEST_F(MailTest, EncryptAndEncryptEmlAnswerWithoutDelivering) {
  const Form form = {
      {"body", "<b>x</b>"}, {"subject", "s"}, {"to", "bob@example.com"}, {"sessionId", alice_}};
  const Json::Value armored = service().Call("encrypt", form);
  ASSERT_EQ(StatusCode(armored), "OK");
  EXPECT_EQ(armored["cipherText"].asString().rfind("-----BEGIN PGP MESSAGE-----", 0), 0u);
  const Json::Value eml = service().Call("encrypt-eml", form);
  ASSERT_EQ(StatusCode(eml), "OK");
  EXPECT_NE(eml["cipherText"].asString().find("multipart/encrypted"), std::string::npos);
  EXPECT_TRUE(Mailbox(state(), "bob@example.com").empty());

  // decrypt-mime takes the payload alone or the whole message around it.
  const std::string bob = service().Login("bob@example.com", "bob pass");
  EXPECT_EQ(service()
                .Call("decrypt-mime", {{"cipherText", armored["cipherText"].asString()},
                                       {"sessionId", bob}})["clearText"]
                .asString(),
            "<b>x</b>");
  EXPECT_EQ(service()
                .Call("decrypt-mime", {{"cipherText", eml["cipherText"].asString()},
                                       {"sessionId", bob}})["clearText"]
                .asString(),
            "<b>x</b>");
}

TEST_F(MailTest, SendRefusesBadRecipientsAndForeignAttachments) {
  auto send = [&](const Form& extra) {
    Form form = {{"body", "b"}, {"subject", "s"}, {"sessionId", alice_}};
    form.insert(form.end(), extra.begin(), extra.end());
    return StatusCode(service().Call("encrypt-send", form));
  };
  EXPECT_EQ(send({}), "NO_RECIPIENTS");
  EXPECT_EQ(send({{"to", " , ;"}}), "NO_RECIPIENTS");
  EXPECT_EQ(send({{"to", "bob@example.com,../../etc/passwd"}}), "INVALID_RECIPIENT");
  EXPECT_EQ(send({{"to", "bob@example.com"}, {"attachment", "999"}}), "UNKNOWN_ATTACHMENT");
  EXPECT_EQ(send({{"to", "bob@example.com"}, {"attachment", "1;2"}}), "UNKNOWN_ATTACHMENT");

  const std::string eve = service().Login("eve@example.com", "eve pass");
  const std::string evesUpload =
      service().Upload(eve, "secret.txt", "text/plain", "eve's")["att"][0]["id"].asString();
  EXPECT_EQ(send({{"to", "bob@example.com"}, {"attachment", evesUpload}}), "UNKNOWN_ATTACHMENT");
  EXPECT_TRUE(Mailbox(state(), "bob@example.com").empty());
}

TEST_F(MailTest, DecryptRefusesWhatIsNotOpenPgp) {
  const std::string bob = service().Login("bob@example.com", "bob pass");
  auto decrypt = [&](const std::string& cipherText) {
    return StatusCode(
        service().Call("decrypt-mime", {{"cipherText", cipherText}, {"sessionId", bob}}));
  };
  EXPECT_EQ(decrypt("just some words"), "NOT_OPENPGP");
  EXPECT_EQ(decrypt("-----BEGIN PGP MESSAGE-----\n\nbm90IHBncA==\n-----END PGP MESSAGE-----\n"),
            "NOT_OPENPGP");
  EXPECT_EQ(decrypt(std::string("\x85\x01\x02\x03garbage", 11)), "NOT_OPENPGP");
  EXPECT_EQ(StatusCode(service().Call("decrypt-mime", {{"sessionId", bob}})), "MISSING_PARAMETER");
}

TEST_F(MailTest, UploadNeedsASessionAndAFile) {
  EXPECT_EQ(StatusCode(service().Upload("", "a.txt", "text/plain", "x")), "INVALID_SESSION");
  EXPECT_EQ(StatusCode(service().Upload("feedbeef", "a.txt", "text/plain", "x")),
            "INVALID_SESSION");
  // A name with a path keeps its last part; an empty file is still a file.
  const Json::Value upload = service().Upload(alice_, "C:\\Users\\a\\notes.txt", "text/plain", "");
  ASSERT_EQ(StatusCode(upload), "OK");
  EXPECT_EQ(upload["att"][0]["name"].asString(), "notes.txt");
  EXPECT_GT(upload["att"][0]["id"].asInt64(), 0);

  const std::string boundary = "b0undary";
  const std::string noFile = "--" + boundary +
                             "\r\nContent-Disposition: form-data; name=\"sessionId\"\r\n\r\n" +
                             alice_ + "\r\n--" + boundary + "--\r\n";
  auto reply = service().Https()->Post("/api/upload-attachments", noFile,
                                       ("multipart/form-data; boundary=" + boundary).c_str());
  ASSERT_TRUE(reply);
  EXPECT_EQ(StatusCode(ParseJson(reply->body)), "MISSING_ATTACHMENT");
}

}  // namespace
}  // namespace veilmark::service::testing
