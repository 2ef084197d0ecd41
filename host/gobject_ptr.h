// Owners for GLib and GMime allocations: objects are released with
// g_object_unref, strings with g_free.
#pragma once

#include <glib-object.h>
#include <glib.h>

#include <memory>

namespace veilmark::hostapp {

struct GObjectUnref {
  void operator()(gpointer object) const {
    if (object) g_object_unref(object);
  }
};

template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GFree {
  void operator()(gpointer memory) const { g_free(memory); }
};

using GString8 = std::unique_ptr<char, GFree>;

}  // namespace veilmark::hostapp
