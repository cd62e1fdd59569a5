// The parameters file: reading a file gives what reading its text gives (a
// UTF-8 byte-order mark aside), and writing one key into any file makes that
// key read back as written while every other key reads as before.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "platform/ini.h"
#include "platform/strings.h"
#include "platform/text_file.h"

namespace {

using et::IniFile;
using et::IniText;
using et::fuzz::Check;

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kMissing = "\x01missing";

// A file in memory when the machine has /dev/shm: rewriting a file on a disk
// waits for the disk on every input.
const std::string& FilePath() {
  static const std::string path =
      std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/et_fuzz_ini_" +
      std::to_string(::getpid()) + ".ini";
  return path;
}

bool HasLineEnd(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

// Names and values that a line can carry and a reader gives back unchanged.
bool Writable(std::string_view section, std::string_view key, std::string_view value) {
  if (HasLineEnd(section) || HasLineEnd(key) || HasLineEnd(value)) return false;
  if (et::Trim(section) != section) return false;
  if (key.empty() || et::Trim(key) != key || key.find('=') != std::string_view::npos) return false;
  if (key.front() == ';' || key.front() == '[') return false;
  return et::Trim(value) == value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string section = in.ConsumeRandomLengthString(24);
  const std::string key = in.ConsumeRandomLengthString(24);
  const std::string value = in.ConsumeRandomLengthString(24);
  const std::string content = in.ConsumeRemainingBytesAsString();

  std::string_view body = content;
  if (body.starts_with(kBom)) body.remove_prefix(kBom.size());
  const IniText before = IniText::Parse(body);

  et::WriteFileBytes(FilePath(), content);
  const IniFile file(FilePath());
  Check(file.Read(section, key, kMissing) == before.Read(section, key, kMissing),
        "file and text read differently", key);
  if (!Writable(section, key, value)) return 0;

  file.Write(section, key, value);
  const std::string written = et::ReadFileBytes(FilePath());
  Check(written.starts_with(kBom) == content.starts_with(kBom), "byte-order mark not kept",
        written);
  Check(file.Read(section, key, kMissing) == value, "written key does not read back", written);

  std::string_view after_body = written;
  if (after_body.starts_with(kBom)) after_body.remove_prefix(kBom.size());
  const IniText after = IniText::Parse(after_body);
  for (const IniText::Section& s : before.Sections()) {
    for (const IniText::Entry& e : s.entries) {
      if (et::EqualsIgnoringAsciiCase(s.name, section) && et::EqualsIgnoringAsciiCase(e.key, key)) {
        continue;
      }
      Check(after.Read(s.name, e.key, kMissing) == before.Read(s.name, e.key, kMissing),
            "another key changed", written);
    }
  }
  // Nothing is lost: the sections read before are all still there, in order.
  const auto names_before = before.SectionNames();
  const auto names_after = after.SectionNames();
  Check(names_after.size() >= names_before.size(), "a section was lost", written);
  for (std::size_t i = 0; i < names_before.size(); ++i) {
    Check(names_after[i] == names_before[i], "sections changed order", written);
  }
  return 0;
}
