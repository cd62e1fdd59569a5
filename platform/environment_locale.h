// The locale the environment names, loaded without changing the process's.
#pragma once

#include <langinfo.h>
#include <locale.h>

#include <string>

namespace et {

// Loads categories of the locale the environment names (LC_ALL, then the
// category's own variable, then LANG). A locale object of our own is used
// instead of setlocale so that the process stays in the C locale: printf,
// strtod and the streams keep '.' whatever the user's settings are.
class EnvironmentLocale {
 public:
  // category_mask: LC_NUMERIC_MASK, LC_TIME_MASK, LC_CTYPE_MASK, ...
  explicit EnvironmentLocale(int category_mask);
  ~EnvironmentLocale();
  EnvironmentLocale(const EnvironmentLocale&) = delete;
  EnvironmentLocale& operator=(const EnvironmentLocale&) = delete;

  // False when the named locale cannot be loaded.
  bool Loaded() const { return loc_ != nullptr; }
  // One item of the loaded locale (RADIXCHAR, D_FMT, CODESET, ...); only when Loaded().
  std::string Info(nl_item item) const;

 private:
  locale_t loc_;
};

// True when the character encoding of the environment's locale (LC_CTYPE) is
// UTF-8; false for any other and when the locale cannot be loaded.
bool EnvironmentUsesUtf8();

}  // namespace et
