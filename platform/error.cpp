#include "platform/error.h"

namespace et {

std::string_view ErrorTypeName(const std::exception& e) {
  if (const auto* own = dynamic_cast<const Error*>(&e)) return own->TypeName();
  return "Exception";
}

}  // namespace et
