#include "fb/named_params.h"

#include "platform/strings.h"

namespace et::fb {
namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsNameChar(char c) { return IsLetter(c) || (c >= '0' && c <= '9') || c == '_' || c == '$'; }

// The closing delimiter of a q'<open>...<close>' literal.
char QuoteCloser(char open) {
  switch (open) {
    case '(':
      return ')';
    case '[':
      return ']';
    case '{':
      return '}';
    case '<':
      return '>';
    default:
      return open;
  }
}

// The index just past the end of a piece that ends with `closing`, searching
// from `from`; the end of the text when it never closes (the engine then
// reports the unterminated piece).
std::size_t SkipPast(std::string_view sql, std::size_t from, std::string_view closing) {
  const std::size_t at = sql.find(closing, from);
  return at == std::string_view::npos ? sql.size() : at + closing.size();
}

}  // namespace

ParsedSql ParseNamedParams(std::string_view sql) {
  ParsedSql out;
  out.text.reserve(sql.size());
  std::size_t i = 0;
  while (i < sql.size()) {
    const char c = sql[i];
    const char next = i + 1 < sql.size() ? sql[i + 1] : '\0';
    std::size_t end = i + 1;  // end of the piece copied unchanged
    if (c == '\'') {
      end = SkipPast(sql, i + 1, "'");  // a doubled '' reopens at once
    } else if (c == '"') {
      end = SkipPast(sql, i + 1, "\"");
    } else if (c == '-' && next == '-') {
      end = SkipPast(sql, i + 2, "\n");
    } else if (c == '/' && next == '*') {
      end = SkipPast(sql, i + 2, "*/");
    } else if ((c == 'q' || c == 'Q') && next == '\'' && i + 2 < sql.size() &&
               (i == 0 || !IsNameChar(sql[i - 1]))) {
      const char closer[] = {QuoteCloser(sql[i + 2]), '\'', '\0'};
      end = SkipPast(sql, i + 3, closer);
    } else if (c == '?') {
      out.markers.emplace_back();
    } else if (c == ':' && IsLetter(next)) {
      std::string name;
      std::size_t j = i + 1;
      while (j < sql.size() && IsNameChar(sql[j])) name += AsciiUpper(sql[j++]);
      out.text += '?';
      out.markers.push_back(std::move(name));
      i = j;
      continue;
    }
    out.text.append(sql.substr(i, end - i));
    i = end;
  }
  return out;
}

}  // namespace et::fb
