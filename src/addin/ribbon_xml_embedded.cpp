// The ribbon XML compiled in from resources/ribbon.xml, where no module
// resources exist.
#include <string>

#include "addin/connect_core.h"

namespace veilmark {

extern const char kRibbonXmlText[];

std::string RibbonXml() {
  return kRibbonXmlText;
}

}  // namespace veilmark
