#include "platform/error.h"

#include <utility>

namespace et {

Error::Error(std::string message) : message_(std::move(message)), what_(message_) {}

void Error::AddContext(std::string_view context, ContextBreak brk) {
  const std::string_view separator = brk == ContextBreak::kNewLine ? "\r\n" : "\r";
  std::string composed;
  composed.reserve(context.size() + separator.size() + what_.size());
  composed.append(context).append(separator).append(what_);
  what_.swap(composed);
}

std::string_view ErrorTypeName(const std::exception& e) {
  if (const auto* own = dynamic_cast<const Error*>(&e)) return own->TypeName();
  return "Exception";
}

}  // namespace et
