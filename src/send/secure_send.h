// The Send Secure button of the compose window: the message goes out through
// the service, which protects and delivers it, instead of through the mail
// client.
#pragma once

#include <memory>

#include "login/services.h"
#include "outlook/object_model.h"

namespace veilmark {

// Validates the recipients and the subject, uploads the attachments, has the
// service send the message and closes the window once it has. A failed host
// call ends with its HRESULT; S_FALSE follows anything the user was told and
// a login given up midway; otherwise the last host call's success code.
// The draft saved for the attachments is deleted only after the service has
// accepted the message. Throws nothing.
HRESULT OnSecureSendClick(const std::shared_ptr<outlook::Object>& ribbonControl,
                          Services& services);

}  // namespace veilmark
