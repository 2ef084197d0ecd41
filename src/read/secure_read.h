// The read road: recognise a protected message, have the service decrypt it
// (logging in when needed) and show the result in a task pane.
#pragma once

#include <cstdint>
#include <memory>

#include "outlook/object_model.h"
#include "login/session_store.h"
#include "read/cache_manager.h"

namespace veilmark {

// A sent or received mail item whose transport headers declare PGP/MIME.
// Never shows anything; any failed call means "no".
bool IsProtectedMessage(const std::shared_ptr<outlook::Object>& item);

// What DecryptAndShow did: 0 shown or nothing to do, 1 refused by the
// service, or the failing host call's (negative) HRESULT.
inline constexpr std::int32_t kDecryptRefused = 1;

// Shows the decrypted view of `item` in a new pane of `window` (into
// `paneSlot`), from the cache when it holds one. Without a pane factory the
// view is decrypted and cached but not shown. Throws nothing.
std::int32_t DecryptAndShow(outlook::MailItem& item, const std::shared_ptr<outlook::Object>& window,
                            SessionStore& store, CacheManager& cache,
                            outlook::TaskPaneFactory* paneFactory,
                            std::shared_ptr<outlook::TaskPane>& paneSlot);

}  // namespace veilmark
