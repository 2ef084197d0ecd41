// Running a service call with an account's session: the one place that logs
// in when the service no longer knows the session.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "api/server_reply.h"
#include "login/services.h"

namespace veilmark {

// One service call, run on a worker thread: it gets a client whose exchange
// stops on cancellation, and touches nothing of Outlook.
using SessionCall = std::function<Reply(ApiClient& api, const std::string& sessionId)>;

// The text of a call cancelled by the user, as its reply's message.
inline constexpr char kCallCancelled[] = "The operation was cancelled";

// Whether `reply` is that of a call the user cancelled.
bool IsCancelledReply(const ServerReply& reply);

// The account's stored session, logging in first when there is none; empty
// when the user gave up the login.
std::string EnsureSession(const std::u16string& account, Services& services);

// Reads back a file the mail client saved, on a worker while the UI thread
// waits showing `notice`: a large attachment would hold it for long. Throws
// LoadFile's ProtocolException on this thread. kCancelled and kAbandoned end
// the road as for a call.
WaitEnd LoadFileWaiting(Waiter& waiter, const WaitNotice& notice, const std::u16string& path,
                        std::string& bytes);

// Runs `call` with the account's session, on a worker while the UI thread
// waits showing `notice`. When the reply asks for a login, logs in once (on
// this thread), stores the new session and runs the call again. Null when
// the user gave up a login or the add-in is going; a CLIENT_ERROR reply
// with kCallCancelled when the user cancelled the wait.
Reply CallWithSession(const std::u16string& account, Services& services, const WaitNotice& notice,
                      const SessionCall& call);

}  // namespace veilmark
