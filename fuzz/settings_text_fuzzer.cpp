// The user settings text: whatever the text, reading it, writing the model
// back and reading that again gives the same sections, keys and values, and
// the model holds only what the reading rules can produce.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <unordered_set>

#include "fuzz/fuzz_check.h"
#include "platform/ini.h"
#include "platform/strings.h"

namespace {

using et::IniText;
using et::fuzz::Check;

bool SameModel(const IniText& a, const IniText& b) {
  const auto& sa = a.Sections();
  const auto& sb = b.Sections();
  if (sa.size() != sb.size()) return false;
  for (std::size_t i = 0; i < sa.size(); ++i) {
    if (sa[i].name != sb[i].name || sa[i].entries.size() != sb[i].entries.size()) return false;
    for (std::size_t j = 0; j < sa[i].entries.size(); ++j) {
      if (sa[i].entries[j].key != sb[i].entries[j].key ||
          sa[i].entries[j].value != sb[i].entries[j].value) {
        return false;
      }
    }
  }
  return true;
}

bool HasLineEnd(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

void CheckModel(const IniText& ini) {
  std::unordered_set<std::string> names;
  for (const IniText::Section& s : ini.Sections()) {
    Check(names.insert(et::AsciiLowered(s.name)).second, "section name repeated", s.name);
    Check(et::Trim(s.name) == s.name, "section name not trimmed", s.name);
    Check(!HasLineEnd(s.name), "line end in a section name", s.name);
    for (const IniText::Entry& e : s.entries) {
      Check(et::TrimRight(e.key) == e.key, "key with trailing blanks", e.key);
      Check(!HasLineEnd(e.key), "line end in a key", e.key);
      Check(e.value.has_value() || !e.key.empty(), "empty key without a value", e.key);
      Check(!e.key.starts_with(';'), "comment read as a key", e.key);
      if (e.value) {
        Check(e.key.find('=') == std::string::npos, "'=' in a key with a value", e.key);
        Check(et::Trim(*e.value) == *e.value, "value not trimmed", *e.value);
        Check(!HasLineEnd(*e.value), "line end in a value", *e.value);
      }
    }
    // Read gives the first entry of each key.
    if (!s.entries.empty()) {
      const IniText::Entry& first = s.entries.front();
      const std::string expected = first.value ? *first.value
                                               : std::string(
                                                     "\x01"
                                                     "default");
      Check(ini.Read(s.name, first.key,
                     "\x01"
                     "default") == expected,
            "Read missed the first entry", first.key);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const IniText first = IniText::Parse(text);
  CheckModel(first);
  const std::string written = first.Serialize();
  const IniText second = IniText::Parse(written);
  Check(SameModel(first, second), "read, write, read changed the model", written);
  Check(second.Serialize() == written, "writing the model again changed the text", written);
  return 0;
}
