// One operation per service command: typed arguments into the two maps.
#include "api/api_client.h"

namespace veilmark {

std::unique_ptr<ServerReply> ApiClient::GetTempSession() {
  return PostForm(u"get-temp-session", {}, {});
}

std::unique_ptr<ServerReply> ApiClient::RegisterUser(const std::string& sessionId,
                                                     const std::u16string& email,
                                                     const std::u16string& password,
                                                     const std::u16string& securityQuestion,
                                                     const std::u16string& securityAnswer,
                                                     const std::u16string& captcha) {
  return PostForm(u"register",
                  {{"email", email},
                   {"password", password},
                   {"securityQuestion", securityQuestion},
                   {"securityAnswer", securityAnswer},
                   {"captcha", captcha}},
                  {{"sessionId", sessionId}});
}

std::unique_ptr<ServerReply> ApiClient::Login(const std::u16string& email,
                                              const std::u16string& password) {
  return PostForm(u"login", {{"email", email}, {"password", password}}, {});
}

std::unique_ptr<ServerReply> ApiClient::LoginWithOpenId(const std::u16string& provider,
                                                        const std::u16string& googleAppDomain,
                                                        const std::u16string& yahooEmail) {
  return PostForm(
      u"login-with-open-id",
      {{"provider", provider}, {"googleAppDomain", googleAppDomain}, {"yahooEmail", yahooEmail}},
      {{"forcePassword", "true"}});
}

std::unique_ptr<ServerReply> ApiClient::LoginWithLive(const std::u16string& email,
                                                      const std::u16string& password) {
  return PostForm(u"login-with-live", {{"email", email}, {"password", password}}, {});
}

std::unique_ptr<ServerReply> ApiClient::LoginWithAol(const std::u16string& email,
                                                     const std::u16string& password) {
  return PostForm(u"login-with-aol", {{"email", email}, {"password", password}}, {});
}

std::unique_ptr<ServerReply> ApiClient::RetrieveSecurityQuestion(const std::u16string& email) {
  return PostForm(u"retrieve-security-q", {{"email", email}}, {});
}

std::unique_ptr<ServerReply> ApiClient::ResetPassword(const std::u16string& email,
                                                      const std::u16string& securityQuestion,
                                                      const std::u16string& securityAnswer) {
  return PostForm(u"reset-password",
                  {{"email", email},
                   {"securityQuestion", securityQuestion},
                   {"securityAnswer", securityAnswer}},
                  {});
}

std::unique_ptr<ServerReply> ApiClient::ExtraPassword(const std::string& sessionId,
                                                      const std::u16string& password) {
  return PostForm(u"extra-password", {{"password", password}}, {{"sessionId", sessionId}});
}

std::unique_ptr<ServerReply> ApiClient::CurrentUserAliases(const std::string& sessionId) {
  return PostForm(u"curr-user-aliases", {}, {{"sessionId", sessionId}});
}

std::unique_ptr<ServerReply> ApiClient::EncryptSend(
    const std::string& sessionId, const std::u16string& to, const std::u16string& cc,
    const std::u16string& bcc, const std::u16string& subject, const std::u16string& body,
    const std::string& attachment) {
  return PostForm(u"encrypt-send",
                  {{"to", to}, {"cc", cc}, {"bcc", bcc}, {"subject", subject}, {"body", body}},
                  {{"attachment", attachment}, {"sessionId", sessionId}});
}

std::unique_ptr<ServerReply> ApiClient::DecryptMime(const std::string& sessionId,
                                                    const std::string& cipherText) {
  return PostForm(u"decrypt-mime", {}, {{"cipherText", cipherText}, {"sessionId", sessionId}});
}

}  // namespace veilmark
