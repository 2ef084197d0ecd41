// One operation per service command: typed arguments into the two maps.
#include "api/api_client.h"

namespace veilmark {

std::unique_ptr<ServerReply> ApiClient::getTempSession() {
  return postForm(u"get-temp-session", {}, {});
}

std::unique_ptr<ServerReply> ApiClient::registerUser(const std::string& sessionId,
                                                     const std::u16string& email,
                                                     const std::u16string& password,
                                                     const std::u16string& securityQuestion,
                                                     const std::u16string& securityAnswer,
                                                     const std::u16string& captcha) {
  return postForm(u"register",
                  {{"email", email},
                   {"password", password},
                   {"securityQuestion", securityQuestion},
                   {"securityAnswer", securityAnswer},
                   {"captcha", captcha}},
                  {{"sessionId", sessionId}});
}

std::unique_ptr<ServerReply> ApiClient::login(const std::u16string& email,
                                              const std::u16string& password) {
  return postForm(u"login", {{"email", email}, {"password", password}}, {});
}

std::unique_ptr<ServerReply> ApiClient::loginWithOpenId(const std::u16string& provider,
                                                        const std::u16string& googleAppDomain,
                                                        const std::u16string& yahooEmail) {
  return postForm(
      u"login-with-open-id",
      {{"provider", provider}, {"googleAppDomain", googleAppDomain}, {"yahooEmail", yahooEmail}},
      {{"forcePassword", "true"}});
}

std::unique_ptr<ServerReply> ApiClient::loginWithLive(const std::u16string& email,
                                                      const std::u16string& password) {
  return postForm(u"login-with-live", {{"email", email}, {"password", password}}, {});
}

std::unique_ptr<ServerReply> ApiClient::loginWithAol(const std::u16string& email,
                                                     const std::u16string& password) {
  return postForm(u"login-with-aol", {{"email", email}, {"password", password}}, {});
}

std::unique_ptr<ServerReply> ApiClient::retrieveSecurityQuestion(const std::u16string& email) {
  return postForm(u"retrieve-security-q", {{"email", email}}, {});
}

std::unique_ptr<ServerReply> ApiClient::resetPassword(const std::u16string& email,
                                                      const std::u16string& securityQuestion,
                                                      const std::u16string& securityAnswer) {
  return postForm(u"reset-password",
                  {{"email", email},
                   {"securityQuestion", securityQuestion},
                   {"securityAnswer", securityAnswer}},
                  {});
}

std::unique_ptr<ServerReply> ApiClient::extraPassword(const std::string& sessionId,
                                                      const std::u16string& password) {
  return postForm(u"extra-password", {{"password", password}}, {{"sessionId", sessionId}});
}

std::unique_ptr<ServerReply> ApiClient::currentUserAliases(const std::string& sessionId) {
  return postForm(u"curr-user-aliases", {}, {{"sessionId", sessionId}});
}

std::unique_ptr<ServerReply> ApiClient::currentUser(const std::string& sessionId) {
  return postForm(u"curr-user", {}, {{"sessionId", sessionId}});
}

std::unique_ptr<ServerReply> ApiClient::logout(const std::string& sessionId) {
  return postForm(u"logout", {}, {{"sessionId", sessionId}});
}

std::unique_ptr<ServerReply> ApiClient::encryptCommand(
    const std::string& sessionId, const std::u16string& to, const std::u16string& cc,
    const std::u16string& bcc, const std::u16string& subject, const std::u16string& body,
    const std::string& attachment, std::u16string_view command) {
  return postForm(command,
                  {{"to", to}, {"cc", cc}, {"bcc", bcc}, {"subject", subject}, {"body", body}},
                  {{"attachment", attachment}, {"sessionId", sessionId}});
}

std::unique_ptr<ServerReply> ApiClient::encrypt(const std::string& sessionId,
                                                const std::u16string& to, const std::u16string& cc,
                                                const std::u16string& bcc,
                                                const std::u16string& subject,
                                                const std::u16string& body,
                                                const std::string& attachment) {
  return encryptCommand(sessionId, to, cc, bcc, subject, body, attachment, u"encrypt");
}

std::unique_ptr<ServerReply> ApiClient::encryptEml(
    const std::string& sessionId, const std::u16string& to, const std::u16string& cc,
    const std::u16string& bcc, const std::u16string& subject, const std::u16string& body,
    const std::string& attachment) {
  return encryptCommand(sessionId, to, cc, bcc, subject, body, attachment, u"encrypt-eml");
}

std::unique_ptr<ServerReply> ApiClient::encryptSend(
    const std::string& sessionId, const std::u16string& to, const std::u16string& cc,
    const std::u16string& bcc, const std::u16string& subject, const std::u16string& body,
    const std::string& attachment) {
  return encryptCommand(sessionId, to, cc, bcc, subject, body, attachment, u"encrypt-send");
}

std::unique_ptr<ServerReply> ApiClient::decryptMime(const std::string& sessionId,
                                                    const std::string& cipherText) {
  return postForm(u"decrypt-mime", {}, {{"cipherText", cipherText}, {"sessionId", sessionId}});
}

}  // namespace veilmark
