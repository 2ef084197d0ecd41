// Getting a session for a mail account: the interactive login and the check
// that the service user who logged in owns the account's address.
#pragma once

#include <string>

#include "api/api_client.h"
#include "api/server_reply.h"
#include "ui/ui.h"
#include "ui/wait.h"

namespace veilmark {

inline constexpr char16_t kSupportAddress[] = u"support@veilmark.com";

// The interactive login; the new session identifier, or empty when the user
// gave up (closing a dialog or cancelling a call's wait) or the login cannot
// lead to a session. Its service calls wait on `waiter`. Stores nothing.
std::string RunLoginFlow(const std::u16string& account, Ui& ui, ApiClient& api, Waiter& waiter);

// The address without the dots before its "@" (how the service compares
// addresses of users registered through Google).
std::u16string CleanAccount(const std::u16string& address);
bool IsGoogleUser(const VeilmarkUser& user);

}  // namespace veilmark
