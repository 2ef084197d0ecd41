// The host object model (addin/host.h) over Outlook's and Office's objects,
// called late-bound by member name. Each adapter holds its own reference to
// the object it stands for.
#pragma once

#include <memory>

#include "addin/com/com_ptr.h"
#include "addin/host.h"

namespace veilmark::com {

std::shared_ptr<host::Application> AdaptApplication(IDispatch* application);
std::shared_ptr<host::Explorer> AdaptExplorer(IDispatch* explorer);
std::shared_ptr<host::Inspector> AdaptInspector(IDispatch* inspector);
// An object of a kind not known yet: a selected item, a ribbon control.
std::shared_ptr<host::Object> AdaptObject(IDispatch* object);
std::shared_ptr<host::TaskPaneFactory> AdaptTaskPaneFactory(IDispatch* factory);

// The COM object behind an adapter made here; null for anything else.
IDispatch* AdaptedDispatch(const host::Object* object);

}  // namespace veilmark::com
