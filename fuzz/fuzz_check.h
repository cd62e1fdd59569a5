// What the fuzz targets share: a check that stops the run with a message, so
// that libFuzzer records the input that broke a property.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace et::fuzz {

// Aborts with `what` (and the text it concerns) when `ok` is false.
inline void Check(bool ok, const char* what, std::string_view text = {}) {
  if (ok) return;
  std::fprintf(stderr, "property broken: %s [%.*s]\n", what, static_cast<int>(text.size()),
               text.data());
  std::abort();
}

}  // namespace et::fuzz
