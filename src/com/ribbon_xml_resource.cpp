// The ribbon XML from the module's "XML" 201 resource.
#include "addin/connect_core.h"
#include "com/module.h"
#include "resource_ids.h"

namespace veilmark {

std::string RibbonXml() {
  std::string_view bytes;
  // Empty when missing: the connection object reports the loader's error.
  if (!VM_TRY_HR(com::LoadModuleResource(L"XML", IDR_RIBBON_XML, bytes))) return {};
  return std::string(bytes);
}

}  // namespace veilmark
