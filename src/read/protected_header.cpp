#include "read/protected_header.h"

#include "base/text.h"

namespace veilmark {

bool DeclaresPgpMime(std::u16string headers) {
  LowerAscii(headers);
  const std::size_t protocol = headers.find(u"protocol=");
  if (protocol == std::u16string::npos) return false;
  const std::size_t semicolon = headers.find(u';', protocol);
  if (semicolon == std::u16string::npos) return false;
  const std::size_t equals = headers.find(u'=', protocol);
  if (!(equals + 5 < semicolon)) return false;
  // From after the opening quote up to the character before ";", the
  // closing quote dropped.
  return headers.compare(equals + 2, semicolon - equals - 3, u"application/pgp-encrypted") == 0;
}

}  // namespace veilmark
