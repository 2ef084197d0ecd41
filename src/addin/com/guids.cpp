// Defines the GUIDs the widl headers declare.
// clang-format off
#include <initguid.h>
// clang-format on

#include "addin/com/guids.h"
