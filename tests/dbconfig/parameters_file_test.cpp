#include "dbconfig/parameters_file.h"

#include <gtest/gtest.h>

#include "platform/error.h"
#include "support/temp_dir.h"

namespace et {
namespace {

TEST(ParametersFile, MissingFileIsNotThere) {
  test::TempDir temp;
  EXPECT_EQ(Parameters::Read(temp.File("p.ini")), std::nullopt);
}

TEST(ParametersFile, ReadsTheConfigSection) {
  struct Case {
    const char* what;
    std::string content;
    std::string user, company, path, server, alias, drive;
  } cases[] = {
      {"every key",
       "[CONFIG]\r\nUtente=7\r\nDitta=ACME\r\nPercorsoDatabase=/u/utenti.fdb\r\n"
       "Nome Server=SRV\r\nAlias=utenti\r\nLettera Disco Server=E\r\n",
       "7", "ACME", "/u/utenti.fdb", "SRV", "utenti", "E"},
      {"names without regard to case, values trimmed", "[config]\r\nutente = 12 \r\nDITTA=x\r\n",
       "12", "x", "", "", "", ""},
      {"defaults", "[CONFIG]\r\n", "0", "query_esterno", "", "", "", ""},
      {"another section only", "[ALTRO]\r\nUtente=7\r\n", "0", "query_esterno", "", "", "", ""},
      {"empty file", "", "0", "query_esterno", "", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir temp;
    test::WriteFile(temp.File("p.ini"), c.content);
    const std::optional<Parameters> p = Parameters::Read(temp.File("p.ini"));
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->path, temp.File("p.ini"));
    EXPECT_EQ(p->user, c.user);
    EXPECT_EQ(p->company, c.company);
    EXPECT_EQ(p->user_database.database_path, c.path);
    EXPECT_EQ(p->user_database.server, c.server);
    EXPECT_EQ(p->user_database.alias, c.alias);
    EXPECT_EQ(p->user_database.drive_letter, c.drive);
  }
}

TEST(ParametersFile, UserNumber) {
  Parameters p;
  for (const auto& [text, number] : std::vector<std::pair<std::string, std::int32_t>>{
           {"0", 0}, {"7", 7}, {"-3", -3}, {"2147483647", 2147483647}}) {
    p.user = text;
    EXPECT_EQ(p.UserNumber(), number) << text;
  }
}

TEST(ParametersFile, UserThatIsNotANumberNamesKeyAndValue) {
  Parameters p;
  for (const std::string text : {"", "abc", "1 OR 1=1", "4x", "2147483648"}) {
    SCOPED_TRACE(text);
    p.user = text;
    try {
      p.UserNumber();
      ADD_FAILURE() << "accepted";
    } catch (const ConvertError& e) {
      EXPECT_EQ(std::string(e.what()),
                "Valore \"" + text +
                    "\" della chiave \"Utente\" del file parametri non valido: serve un numero "
                    "intero");
    }
  }
}

}  // namespace
}  // namespace et
