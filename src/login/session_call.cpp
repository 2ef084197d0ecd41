#include "login/session_call.h"

#include <exception>

#include "base/local_files.h"
#include "login/login_flow.h"

namespace veilmark {

std::string EnsureSession(const std::u16string& account, Services& services) {
  std::string session = services.sessions.GetSession(account);
  if (!session.empty()) return session;
  session = RunLoginFlow(account, services.ui, services.api, services.waiter);
  if (!session.empty()) services.sessions.SetSession(account, session);
  return session;
}

WaitEnd LoadFileWaiting(Waiter& waiter, const WaitNotice& notice, const std::u16string& path,
                        std::string& bytes) {
  std::exception_ptr failure;
  const WaitEnd end = waiter.Run(notice, [&](Cancellation&) {
    try {
      bytes = LoadFile(path);
    } catch (...) {
      failure = std::current_exception();
    }
  });
  if (failure && end == WaitEnd::kDone) std::rethrow_exception(failure);
  return end;
}

bool IsCancelledReply(const ServerReply& reply) {
  const auto& messages = reply.status().messages();
  return reply.status().code() == "CLIENT_ERROR" && messages.size() == 1 &&
         messages.front() == kCallCancelled;
}

namespace {

Reply CallWaiting(Services& services, const WaitNotice& notice, const SessionCall& call,
                  const std::string& session) {
  Reply reply;
  const WaitEnd end = services.waiter.Run(notice, [&](Cancellation& cancel) {
    ApiClient api = services.api.Cancellable(cancel);
    reply = call(api, session);
  });
  switch (end) {
    case WaitEnd::kDone:
      return reply;
    case WaitEnd::kCancelled:
      return MakeFailureReply("CLIENT_ERROR", kCallCancelled);
    case WaitEnd::kAbandoned:
      break;
  }
  return nullptr;
}

}  // namespace

Reply CallWithSession(const std::u16string& account, Services& services, const WaitNotice& notice,
                      const SessionCall& call) {
  const std::string session = EnsureSession(account, services);
  if (session.empty()) return nullptr;
  Reply reply = CallWaiting(services, notice, call, session);
  if (!reply || !reply->status().needsLogin()) return reply;
  reply.reset();  // a large reply is not held through the login
  const std::string renewed = RunLoginFlow(account, services.ui, services.api, services.waiter);
  if (renewed.empty()) return nullptr;
  services.sessions.SetSession(account, renewed);
  return CallWaiting(services, notice, call, renewed);
}

}  // namespace veilmark
