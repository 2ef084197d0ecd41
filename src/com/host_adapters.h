// The host object model (outlook/object_model.h) over Outlook's and Office's objects,
// called late-bound by member name. Each adapter holds its own reference to
// the object it stands for.
#pragma once

#include <memory>

#include "com/com_ptr.h"
#include "outlook/object_model.h"

namespace veilmark::com {

std::shared_ptr<outlook::Application> AdaptApplication(IDispatch* application);
std::shared_ptr<outlook::Explorer> AdaptExplorer(IDispatch* explorer);
std::shared_ptr<outlook::Inspector> AdaptInspector(IDispatch* inspector);
// An object of a kind not known yet: a selected item, a ribbon control.
std::shared_ptr<outlook::Object> AdaptObject(IDispatch* object);
std::shared_ptr<outlook::TaskPaneFactory> AdaptTaskPaneFactory(IDispatch* factory);

// The COM object behind an adapter made here; null for anything else.
IDispatch* AdaptedDispatch(const outlook::Object* object);

}  // namespace veilmark::com
