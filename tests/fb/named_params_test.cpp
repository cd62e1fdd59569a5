#include "fb/named_params.h"

#include <gtest/gtest.h>

namespace et::fb {
namespace {

struct ParseCase {
  const char* label;
  const char* sql;
  const char* text;
  std::vector<std::string> markers;
};

class ParseNamedParamsTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseNamedParamsTest, ReplacesMarkersOutsideLiteralsAndComments) {
  const ParseCase& c = GetParam();
  const ParsedSql parsed = ParseNamedParams(c.sql);
  EXPECT_EQ(parsed.text, c.text);
  EXPECT_EQ(parsed.markers, c.markers);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseNamedParamsTest,
    ::testing::Values(
        ParseCase{"plain", "SELECT 1 FROM RDB$DATABASE", "SELECT 1 FROM RDB$DATABASE", {}},
        ParseCase{"names in upper case, in order",
                  "UPDATE T SET A=:a1, B = :Info_2$x WHERE C=:ID",
                  "UPDATE T SET A=?, B = ? WHERE C=?",
                  {"A1", "INFO_2$X", "ID"}},
        ParseCase{"repeated name",
                  "WHERE X=:CODICE OR Y=:codice",
                  "WHERE X=? OR Y=?",
                  {"CODICE", "CODICE"}},
        ParseCase{"existing question marks keep their places",
                  "VALUES (?, :A, ?)",
                  "VALUES (?, ?, ?)",
                  {"", "A", ""}},
        ParseCase{"string literal",
                  "WHERE A = ':NOT' AND B = :YES",
                  "WHERE A = ':NOT' AND B = ?",
                  {"YES"}},
        ParseCase{"doubled apostrophe stays inside the literal",
                  "WHERE A = 'it''s :NOT' AND B=:B",
                  "WHERE A = 'it''s :NOT' AND B=?",
                  {"B"}},
        ParseCase{"time literal", "WHERE T = '12:30:00'", "WHERE T = '12:30:00'", {}},
        ParseCase{"quoted identifier",
                  "SELECT \"A:B\" FROM T WHERE X=:X",
                  "SELECT \"A:B\" FROM T WHERE X=?",
                  {"X"}},
        ParseCase{"line comment",
                  "SELECT 1 -- :NOT here\r\nFROM T WHERE X=:X",
                  "SELECT 1 -- :NOT here\r\nFROM T WHERE X=?",
                  {"X"}},
        ParseCase{"block comment",
                  "SELECT /* :NOT\n :NOR */ :X FROM T",
                  "SELECT /* :NOT\n :NOR */ ? FROM T",
                  {"X"}},
        ParseCase{"q literal",
                  "WHERE A = q'{it's :NOT}' AND B=:B",
                  "WHERE A = q'{it's :NOT}' AND B=?",
                  {"B"}},
        ParseCase{"identifier ending in q is no q literal",
                  "SELECT SEQ'A' , :X",
                  "SELECT SEQ'A' , ?",
                  {"X"}},
        ParseCase{
            "colon without a name", "SELECT ': ' || :A, x : 1", "SELECT ': ' || ?, x : 1", {"A"}},
        ParseCase{"name at the very end", "WHERE ID=:ID", "WHERE ID=?", {"ID"}},
        ParseCase{
            "unterminated literal is left to the engine", "WHERE A = ':X", "WHERE A = ':X", {}},
        ParseCase{"non-ASCII bytes kept",
                  "WHERE A = 'l\xC2\xB4olio' AND B=:B",
                  "WHERE A = 'l\xC2\xB4olio' AND B=?",
                  {"B"}}),
    [](const ::testing::TestParamInfo<ParseCase>& param_info) {
      std::string name;
      for (const char* p = param_info.param.label; *p; ++p) {
        name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
      }
      return name;
    });

}  // namespace
}  // namespace et::fb
