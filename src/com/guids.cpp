// Defines the GUIDs the widl headers declare.
// clang-format off
#include <initguid.h>
// clang-format on

#include "com/guids.h"
