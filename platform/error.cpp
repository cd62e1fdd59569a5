#include "platform/error.h"

namespace et {

void Error::AddContext(std::string_view context) {
  std::string message;
  message.reserve(context.size() + message_.size());
  message.append(context);
  message.append(message_);
  message_.swap(message);
}

std::string_view ErrorTypeName(const std::exception& e) {
  if (const auto* own = dynamic_cast<const Error*>(&e)) return own->TypeName();
  return "Exception";
}

}  // namespace et
