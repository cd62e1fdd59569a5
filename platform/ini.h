// INI texts with the Windows rules, used for the parameters file, dati.ini and
// the user settings text kept in the user database.
//
// Reading rules: lines end at CR LF, lone LF or lone CR; each line is trimmed
// of blanks and control characters; empty lines and lines starting with ';'
// are skipped; "[name]" opens a section (name trimmed); a section name seen a
// second time is ignored with all its lines; "key=value" is an entry (key
// without trailing blanks, value without leading blanks; the line's own trim
// already removed the value's trailing blanks); a line without '=' is a key
// without a value, which reads as the default; lines before the first section
// are ignored. Section and key names compare without regard to case (ASCII);
// within a section the first entry of a key counts.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace et {

class IniText {
 public:
  struct Entry {
    std::string key;
    std::optional<std::string> value;  // nullopt: a key written without '='
  };
  struct Section {
    std::string name;  // as first spelled
    std::vector<Entry> entries;
  };

  IniText() = default;
  // Parses a text by the reading rules above.
  static IniText Parse(std::string_view text);

  // Value of the key in the section, or the default when either is missing or
  // the key has no value.
  std::string Read(std::string_view section, std::string_view key,
                   std::string_view default_value = {}) const;

  // Sets the key: the first entry of that key (found without regard to case)
  // keeps its spelling and takes the value; otherwise the entry is appended to
  // the section; a missing section is appended at the end.
  void Write(std::string_view section, std::string_view key, std::string_view value);

  // Section names in order of first appearance, as first spelled.
  std::vector<std::string> SectionNames() const;

  // The written form: for each section "[name]", its entries as "key=value"
  // (or the key alone), then one empty line; every line ends with CR LF.
  std::string Serialize() const;

  const std::vector<Section>& Sections() const { return sections_; }

 private:
  std::vector<Section> sections_;
};

// An INI file on disk (UTF-8 text). A missing file reads as empty.
class IniFile {
 public:
  explicit IniFile(std::string path);

  const std::string& Path() const { return path_; }

  // Value of the key, read from the file as it is now.
  std::string Read(std::string_view section, std::string_view key,
                   std::string_view default_value = {}) const;

  // The whole file read once, for a caller that reads several keys.
  IniText Load() const;

  // Writes one key and keeps every other line of the file as it stands
  // (comments included); creates the file when it is missing. Raises IoError
  // with the platform's description when the file cannot be written.
  void Write(std::string_view section, std::string_view key, std::string_view value) const;

 private:
  std::string path_;
};

}  // namespace et
