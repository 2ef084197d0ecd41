// The Outlook object model (outlook/object_model.h) over Outlook's and
// Office's objects, called late-bound by member name. Each adapter holds its
// own reference to the object it stands for.
#pragma once

#include <memory>
#include <vector>

#include "base/com_ptr_win32.h"
#include "base/event_sink_win32.h"
#include "outlook/object_model.h"

namespace veilmark::com {

// Serves the events of `events` for the sink `sink` when it is advised
// through the adapters of one application, instead of the adapters' own
// translation into the sink's calls: how the connection object answers its
// core's events through its own Invoke.
struct BoundHandler {
  const void* sink;
  IID events;
  EventHandler handler;
};

// An application, and the explorers and inspectors collections it hands
// out, share their advises: a sink advised through one is unadvised through
// any other.
std::shared_ptr<outlook::Application> AdaptApplication(IDispatch* application,
                                                       std::vector<BoundHandler> bound = {});
std::shared_ptr<outlook::Explorer> AdaptExplorer(IDispatch* explorer);
std::shared_ptr<outlook::Inspector> AdaptInspector(IDispatch* inspector);
// An object of a kind not known yet: a selected item, a ribbon control.
std::shared_ptr<outlook::Object> AdaptObject(IDispatch* object);
std::shared_ptr<outlook::TaskPaneFactory> AdaptTaskPaneFactory(IDispatch* factory);

// The COM object behind an adapter made here; null for anything else.
IDispatch* AdaptedDispatch(const outlook::Object* object);

}  // namespace veilmark::com
