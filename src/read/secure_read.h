// The read road: recognise a protected message, have the service decrypt it
// (logging in when needed) and show the result in a task pane.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "login/services.h"
#include "outlook/object_model.h"
#include "read/cache_manager.h"

namespace veilmark {

// A sent or received mail item whose transport headers declare PGP/MIME.
// Never shows anything; any failed call means "no".
bool IsProtectedMessage(const std::shared_ptr<outlook::Object>& item);

// Shows the decrypted view of `item` in a new pane of `window` (into
// `paneSlot`), from the cache when it holds one. Without a pane factory the
// view is decrypted and cached but not shown. S_FALSE when the service
// refused; otherwise S_OK (shown, nothing to show, a login given up, or a
// local failure the user was told of) or the failing Outlook call's HRESULT.
// Throws nothing. The service call and the view's composition run on a
// worker; when `stillWanted` answers false once they end (the window closed
// or the selection moved on meanwhile), the result is only cached.
HRESULT DecryptAndShow(outlook::MailItem& item, const std::shared_ptr<outlook::Object>& window,
                       Services& services, CacheManager& cache,
                       outlook::TaskPaneFactory* paneFactory,
                       std::shared_ptr<outlook::TaskPane>& paneSlot,
                       const std::function<bool()>& stillWanted = nullptr);

inline constexpr char16_t kDecryptingNotice[] = u"Decrypting the message\u2026";

}  // namespace veilmark
