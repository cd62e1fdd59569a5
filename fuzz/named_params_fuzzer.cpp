// The named-parameter translator: every ":NAME" it replaces becomes one "?"
// with its name in upper case, nothing else of the text changes length, and
// translating the result again finds only its "?" markers.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fb/named_params.h"
#include "fuzz/fuzz_check.h"

namespace {

using et::fuzz::Check;

bool IsUpperName(std::string_view name) {
  if (name.empty() || name[0] < 'A' || name[0] > 'Z') return false;
  for (char c : name) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$';
    if (!ok) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view sql(reinterpret_cast<const char*>(data), size);
  const et::fb::ParsedSql parsed = et::fb::ParseNamedParams(sql);

  std::size_t removed = 0;
  for (const std::string& name : parsed.markers) {
    if (name.empty()) continue;
    Check(IsUpperName(name), "marker name is not a name in upper case", name);
    removed += name.size();  // ":NAME" became "?"
  }
  Check(parsed.text.size() + removed == sql.size(), "text changed beyond its markers", parsed.text);
  if (sql.find(':') == std::string_view::npos) {
    Check(parsed.text == sql, "text without ':' changed", parsed.text);
  }

  const et::fb::ParsedSql again = et::fb::ParseNamedParams(parsed.text);
  Check(again.text == parsed.text, "translating twice changed the text", again.text);
  Check(again.markers.size() == parsed.markers.size(), "translating twice changed the markers",
        again.text);
  for (const std::string& name : again.markers) {
    Check(name.empty(), "a name survived the first translation", name);
  }
  return 0;
}
