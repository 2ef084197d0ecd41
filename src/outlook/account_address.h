// The mail account a message belongs to: the key of the session store and
// the address the logged-in service user must own.
#pragma once

#include <string>

#include "outlook/object_model.h"
#include "ui/ui.h"

namespace veilmark {

// For a sent or received message the address it was received by; for one
// being composed its sending account's address; the current user's SMTP
// address where neither is usable. A-Z lower-cased, nothing else changed.
// Empty when nothing could be read. Shows a message only through the
// current-user fallback.
std::u16string GetAccountAddress(outlook::MailItem& item, Ui& ui);

// The profile's current user's SMTP address as read, or empty after telling
// the user which step failed.
std::u16string GetCurrentUserSmtpAddress(outlook::MailItem& item, Ui& ui);

}  // namespace veilmark
