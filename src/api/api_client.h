// The service client: one form POST per command, plus the multipart upload.
// Holds only its exchange and endpoint; failures come back as replies.
#pragma once

#include <cstddef>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "api/api_endpoint.h"
#include "api/http_exchange.h"
#include "api/server_reply.h"
#include "base/checked_size.h"

namespace veilmark {

// Values meant for people (addresses, passwords, subjects), sent as UTF-8.
using TextParams = std::map<std::string, std::u16string>;
// Values already in their transfer bytes (session ids, message sources);
// viewed, not copied: a message source can be tens of megabytes, and the
// maps live only for the one call.
using ByteParams = std::map<std::string, std::string_view>;

// The largest request body the client sends. A command whose body would be
// larger (or whose size does not even fit in size_t, as on the i686 DLL)
// is not sent: its reply is CLIENT_ERROR with kPayloadTooLarge.
inline constexpr std::size_t kMaxPayloadBytes = std::size_t{256} * 1024 * 1024;
inline constexpr char kPayloadTooLarge[] =
    "The request is too large to send: the Veilmark service takes at most 256 MiB";

// Name-ordered, text parameters first, empty values left out, "json=true" last.
// Throws std::length_error when the size does not fit in size_t.
std::string BuildFormBody(const TextParams& textParams, const ByteParams& byteParams);
// Its size, computed without wrapping (not ok() when it does not fit).
CheckedSize FormBodySize(const TextParams& textParams, const ByteParams& byteParams);

// The fixed prefix and the time; lengthened in the rare case the file holds
// that text, which would otherwise end the file part early.
std::string MakeBoundary(std::time_t now, std::string_view data = {});
// Throws std::length_error when the size does not fit in size_t.
std::string BuildMultipartBody(std::string_view boundary, std::string_view data,
                               std::u16string_view fileName, std::string_view sessionId);
// The multipart body's size from the lengths of its variable parts (the
// file name as quoted, UTF-8), computed without wrapping.
CheckedSize MultipartBodySize(std::size_t boundary, std::size_t data, std::size_t quotedFileName,
                              std::size_t contentType, std::size_t sessionId);

// decrypt-mime's body for a cipher text in a file, encoded straight from the
// file so that only the body is held, never the cipher text beside it. The
// session field comes last: a repeat after a login replaces only the tail.
// The bytes are those BuildFormBody makes of the same fields.
class DecryptMimeBody {
 public:
  // Throws ProtocolException("Unable to load file") when the file cannot be read.
  explicit DecryptMimeBody(const std::u16string& cipherFile);

  std::size_t cipherBytes() const { return cipherBytes_; }
  // Over kMaxPayloadBytes already without the session: not built.
  bool tooLarge() const { return tooLarge_; }
  // The whole body with this session in it.
  const std::string& WithSession(std::string_view sessionId);

 private:
  std::string body_;
  std::size_t sessionAt_ = 0;  // where the session field starts
  std::size_t cipherBytes_ = 0;
  bool tooLarge_ = false;
};

class ApiClient {
 public:
  ApiClient(HttpExchange& exchange, ApiEndpoint endpoint);

  std::unique_ptr<ServerReply> PostForm(std::u16string_view command, const TextParams& textParams,
                                        const ByteParams& byteParams);
  std::unique_ptr<ServerReply> UploadAttachment(const std::string& sessionId, std::string_view data,
                                                std::u16string_view fileName);

  std::unique_ptr<ServerReply> GetTempSession();
  std::unique_ptr<ServerReply> RegisterUser(const std::string& sessionId,
                                            const std::u16string& email,
                                            const std::u16string& password,
                                            const std::u16string& securityQuestion,
                                            const std::u16string& securityAnswer,
                                            const std::u16string& captcha);
  std::unique_ptr<ServerReply> Login(const std::u16string& email, const std::u16string& password);
  std::unique_ptr<ServerReply> LoginWithOpenId(const std::u16string& provider,
                                               const std::u16string& googleAppDomain,
                                               const std::u16string& yahooEmail);
  std::unique_ptr<ServerReply> LoginWithLive(const std::u16string& email,
                                             const std::u16string& password);
  std::unique_ptr<ServerReply> LoginWithAol(const std::u16string& email,
                                            const std::u16string& password);
  std::unique_ptr<ServerReply> RetrieveSecurityQuestion(const std::u16string& email);
  std::unique_ptr<ServerReply> ResetPassword(const std::u16string& email,
                                             const std::u16string& securityQuestion,
                                             const std::u16string& securityAnswer);
  std::unique_ptr<ServerReply> ExtraPassword(const std::string& sessionId,
                                             const std::u16string& password);
  std::unique_ptr<ServerReply> CurrentUserAliases(const std::string& sessionId);
  std::unique_ptr<ServerReply> EncryptSend(const std::string& sessionId, const std::u16string& to,
                                           const std::u16string& cc, const std::u16string& bcc,
                                           const std::u16string& subject,
                                           const std::u16string& body,
                                           const std::string& attachment);
  std::unique_ptr<ServerReply> DecryptMime(const std::string& sessionId,
                                           const std::string& cipherText);
  // The same request, its body built once from the cipher text's file.
  std::unique_ptr<ServerReply> DecryptMime(const std::string& sessionId, DecryptMimeBody& body);

  // A client of the same service whose exchanges stop when `cancel` is
  // requested.
  ApiClient Cancellable(Cancellation& cancel) const {
    ApiClient client(exchange_, endpoint_);
    client.cancel_ = &cancel;
    return client;
  }

  // The service this client talks to.
  const ApiEndpoint& endpoint() const { return endpoint_; }

 private:
  std::unique_ptr<ServerReply> Exchange(std::u16string path, std::u16string headers,
                                        std::string_view body);

  HttpExchange& exchange_;
  ApiEndpoint endpoint_;
  Cancellation* cancel_ = nullptr;
};

}  // namespace veilmark
