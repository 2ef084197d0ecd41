#include "login/session_call.h"

#include "login/login_flow.h"

namespace veilmark {

std::string EnsureSession(const std::u16string& account, Services& services) {
  std::string session = services.sessions.GetSession(account);
  if (!session.empty()) return session;
  session = RunLoginFlow(account, services.ui, services.api);
  if (!session.empty()) services.sessions.SetSession(account, session);
  return session;
}

Reply CallWithSession(const std::u16string& account, Services& services, const SessionCall& call) {
  const std::string session = EnsureSession(account, services);
  if (session.empty()) return nullptr;
  Reply reply = call(session);
  if (!reply->status().needsLogin()) return reply;
  reply.reset();  // a large reply is not held through the login
  const std::string renewed = RunLoginFlow(account, services.ui, services.api);
  if (renewed.empty()) return nullptr;
  services.sessions.SetSession(account, renewed);
  return call(renewed);
}

}  // namespace veilmark
