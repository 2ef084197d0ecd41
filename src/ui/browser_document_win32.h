// The source of a loaded browser document, as the browser would save it.
#pragma once

#include <optional>
#include <string>

struct IUnknown;

namespace veilmark {

// Saves `document` (an object with IPersistStreamInit, such as MSHTML's
// document) into a memory stream and gives the bytes; none when it cannot.
std::optional<std::string> SaveDocumentSource(IUnknown* document);

}  // namespace veilmark
