// Whether a message's transport headers declare PGP/MIME.
#pragma once

#include <string>

namespace veilmark {

// True when the first "protocol=" parameter holds the quoted value
// application/pgp-encrypted (any case), followed directly by ";". Unquoted
// values and a protocol that ends its header line are not recognised.
bool DeclaresPgpMime(std::u16string headers);

}  // namespace veilmark
