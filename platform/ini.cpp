#include "platform/ini.h"

#include <sys/stat.h>

#include <cerrno>
#include <unordered_map>

#include "platform/strings.h"
#include "platform/text_file.h"

namespace et {
namespace {

// A line of the text with the line end that followed it ("" for a last line
// without one).
struct RawLine {
  std::string_view text;
  std::string_view end;
};

std::vector<RawLine> SplitLines(std::string_view text) {
  std::vector<RawLine> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t stop = text.find_first_of("\r\n", start);
    if (stop == std::string_view::npos) {
      lines.push_back({text.substr(start), {}});
      break;
    }
    // CR LF is one line end; a lone CR or a lone LF is one too, so LF CR
    // ends a line and then an empty one.
    const std::size_t end_length =
        (text[stop] == '\r' && stop + 1 < text.size() && text[stop + 1] == '\n') ? 2 : 1;
    lines.push_back({text.substr(start, stop - start), text.substr(stop, end_length)});
    start = stop + end_length;
  }
  return lines;
}

// What one line of an INI text is, by the reading rules of ini.h.
struct LineMeaning {
  enum class Kind { kNothing, kSection, kEntry } kind = Kind::kNothing;
  std::string_view name;  // section name or key
  std::optional<std::string_view> value;
};

LineMeaning Classify(std::string_view raw) {
  const std::string_view line = Trim(raw);
  if (line.empty() || line.front() == ';') return {};
  if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
    return {LineMeaning::Kind::kSection, Trim(line.substr(1, line.size() - 2)), std::nullopt};
  }
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return {LineMeaning::Kind::kEntry, line, std::nullopt};
  return {LineMeaning::Kind::kEntry, TrimRight(line.substr(0, eq)), TrimLeft(line.substr(eq + 1))};
}

// Follows the sections of a text line by line and tells which lines belong
// to a section that counts: the first of each name; a repeated section and
// the lines before the first section belong to none. Names seen are kept by
// their folded spelling, so each header costs the same however many came
// before it.
class SectionTracker {
 public:
  // Returns the meaning of the line and updates the current section.
  LineMeaning Next(std::string_view raw) {
    LineMeaning m = Classify(raw);
    if (m.kind == LineMeaning::Kind::kSection) {
      current_.reset();
      const auto [it, added] = index_.try_emplace(AsciiLowered(m.name), names_.size());
      if (added) {
        current_ = it->second;
        names_.emplace_back(m.name);
      }
    }
    return m;
  }
  // Index (in order of first appearance) of the section the last line is in.
  std::optional<std::size_t> Current() const { return current_; }
  // Name of that section, as first spelled.
  std::string_view CurrentName() const { return current_ ? names_[*current_] : std::string_view{}; }

 private:
  std::vector<std::string> names_;                      // as first spelled
  std::unordered_map<std::string, std::size_t> index_;  // folded name -> index in names_
  std::optional<std::size_t> current_;
};

std::string EntryLine(std::string_view key, std::string_view value) {
  std::string line(key);
  line += '=';
  line += value;
  return line;
}

// A UTF-8 byte-order mark that Windows editors put at the start of a file.
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string ReadIniFile(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR)) return {};
  return ReadFileBytes(path);
}

}  // namespace

IniText IniText::Parse(std::string_view text) {
  IniText ini;
  SectionTracker tracker;
  for (const RawLine& raw : SplitLines(text)) {
    const LineMeaning m = tracker.Next(raw.text);
    if (m.kind == LineMeaning::Kind::kSection) {
      if (tracker.Current()) ini.sections_.push_back({std::string(m.name), {}});
    } else if (m.kind == LineMeaning::Kind::kEntry && tracker.Current()) {
      Entry entry{std::string(m.name), std::nullopt};
      if (m.value) entry.value = std::string(*m.value);
      ini.sections_.back().entries.push_back(std::move(entry));
    }
  }
  return ini;
}

std::string IniText::Read(std::string_view section, std::string_view key,
                          std::string_view default_value) const {
  for (const Section& s : sections_) {
    if (!EqualsIgnoringAsciiCase(s.name, section)) continue;
    for (const Entry& e : s.entries) {
      if (EqualsIgnoringAsciiCase(e.key, key))
        return e.value ? *e.value : std::string(default_value);
    }
    break;
  }
  return std::string(default_value);
}

void IniText::Write(std::string_view section, std::string_view key, std::string_view value) {
  for (Section& s : sections_) {
    if (!EqualsIgnoringAsciiCase(s.name, section)) continue;
    for (Entry& e : s.entries) {
      if (EqualsIgnoringAsciiCase(e.key, key)) {
        e.value = std::string(value);
        return;
      }
    }
    s.entries.push_back({std::string(key), std::string(value)});
    return;
  }
  sections_.push_back({std::string(section), {{std::string(key), std::string(value)}}});
}

std::vector<std::string> IniText::SectionNames() const {
  std::vector<std::string> names;
  for (const Section& s : sections_) names.push_back(s.name);
  return names;
}

std::string IniText::Serialize() const {
  std::string out;
  for (const Section& s : sections_) {
    out += '[';
    out += s.name;
    out += "]\r\n";
    for (const Entry& e : s.entries) {
      out += e.value ? EntryLine(e.key, *e.value) : e.key;
      out += "\r\n";
    }
    out += "\r\n";
  }
  return out;
}

IniFile::IniFile(std::string path) : path_(std::move(path)) {}

std::string IniFile::Read(std::string_view section, std::string_view key,
                          std::string_view default_value) const {
  return Load().Read(section, key, default_value);
}

IniText IniFile::Load() const {
  const std::string content = ReadIniFile(path_);
  std::string_view text = content;
  if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
  return IniText::Parse(text);
}

void IniFile::Write(std::string_view section, std::string_view key, std::string_view value) const {
  const std::string content = ReadIniFile(path_);
  std::string_view body = content;
  const bool has_bom = body.starts_with(kUtf8Bom);
  if (has_bom) body.remove_prefix(kUtf8Bom.size());

  const std::vector<RawLine> lines = SplitLines(body);
  // New lines take the line end the file already uses.
  std::string_view eol = "\r\n";
  for (const RawLine& l : lines) {
    if (!l.end.empty()) {
      eol = l.end;
      break;
    }
  }

  // Find the entry a reader would take, or else where the section's entries end.
  std::optional<std::size_t> header, last_entry, key_line;
  std::string_view key_spelling;
  SectionTracker tracker;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const LineMeaning m = tracker.Next(lines[i].text);
    const bool in_target =
        tracker.Current() && EqualsIgnoringAsciiCase(tracker.CurrentName(), section);
    if (!in_target) continue;
    if (m.kind == LineMeaning::Kind::kSection) header = i;
    if (m.kind == LineMeaning::Kind::kEntry) {
      last_entry = i;
      if (!key_line && EqualsIgnoringAsciiCase(m.name, key)) {
        key_line = i;
        key_spelling = m.name;
      }
    }
  }

  // The new entry goes after the section's last entry (or its header).
  std::optional<std::size_t> insert_after;
  if (!key_line && header) insert_after = last_entry ? last_entry : header;

  std::string out(has_bom ? kUtf8Bom : std::string_view{});
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const bool last = i + 1 == lines.size();
    std::string_view end = lines[i].end;
    // A last line without a line end gets one when something follows it.
    if (end.empty() && (insert_after == i || (last && !header))) end = eol;
    out += (key_line == i) ? EntryLine(key_spelling, value) : std::string(lines[i].text);
    out += end;
    if (insert_after == i) {
      out += EntryLine(key, value);
      out += eol;
    }
  }
  if (!header) {
    // One empty line keeps the new section apart from the one before it.
    if (!lines.empty() && !Trim(lines.back().text).empty()) out += eol;
    out += '[';
    out += section;
    out += ']';
    out += eol;
    out += EntryLine(key, value);
    out += eol;
  }
  WriteFileBytes(path_, out);
}

}  // namespace et
