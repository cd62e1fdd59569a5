#include "platform/environment_locale.h"

#include "platform/strings.h"

namespace et {

EnvironmentLocale::EnvironmentLocale(int category_mask)
    : loc_(::newlocale(category_mask, "", nullptr)) {}

EnvironmentLocale::~EnvironmentLocale() {
  if (loc_) ::freelocale(loc_);
}

std::string EnvironmentLocale::Info(nl_item item) const { return ::nl_langinfo_l(item, loc_); }

bool EnvironmentUsesUtf8() {
  const EnvironmentLocale ctype(LC_CTYPE_MASK);
  if (!ctype.Loaded()) return false;
  // glibc names it "UTF-8"; other C libraries have been seen to say "utf8".
  const std::string codeset = ctype.Info(CODESET);
  return EqualsIgnoringAsciiCase(codeset, "UTF-8") || EqualsIgnoringAsciiCase(codeset, "UTF8");
}

}  // namespace et
