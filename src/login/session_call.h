// Running a service call with an account's session: the one place that logs
// in when the service no longer knows the session.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "api/server_reply.h"
#include "login/services.h"

namespace veilmark {

using SessionCall = std::function<Reply(const std::string& sessionId)>;

// The account's stored session, logging in first when there is none; empty
// when the user gave up the login.
std::string EnsureSession(const std::u16string& account, Services& services);

// Runs `call` with the account's session. When the reply asks for a login,
// logs in once, stores the new session and runs the call again. Null when
// the user gave up a login.
Reply CallWithSession(const std::u16string& account, Services& services, const SessionCall& call);

}  // namespace veilmark
