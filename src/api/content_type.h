// MIME type of an uploaded attachment, from its file name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace veilmark {

std::string ContentTypeFor(std::u16string_view fileName);

}  // namespace veilmark
