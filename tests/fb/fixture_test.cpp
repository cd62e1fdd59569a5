// The fixture builder that every suite, the demo and the benchmarks share:
// the schema it creates, the data its helpers write and the installation it
// lays out.
#include "fixture/fixture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "fb/error.h"
#include "platform/ini.h"
#include "support/temp_dir.h"

namespace et::test {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class FixtureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("archivio.fdb");
    CreateBusinessDatabase(path_);
    db_ = std::make_unique<BusinessDb>(path_);
  }

  TempDir dir_;
  std::string path_;
  std::unique_ptr<BusinessDb> db_;
};

// ---- Schema ---------------------------------------------------------------

TEST_F(FixtureTest, CreatesEveryTableWithTheColumnsTheStatementsRead) {
  struct Case {
    const char* table;
    std::vector<std::string> columns;
  };
  const std::vector<Case> cases = {
      {"PROGMAG",
       {"MAGAZZINO", "CODICE", "IDAPERTURA", "QUANTITAPRESENTE", "ORDINICLI", "QPRECARICATA"}},
      {"ANAMAG", {"CODICE", "CLASSIFICAZIONE1", "CLASSIFICAZIONE2"}},
      {"CLASSIFICAZIONE1", {"DESCRIZIONE", "DESCRIZIONE1"}},
      {"CLASSIFICAZIONE2", {"DESCRIZIONE", "DESCRIZIONE1"}},
      {"FASCESCDT", {"IDFASCIA", "IDLISTINO"}},
      {"LISTSC", {"ID", "TIPO", "CAMPOSEL1", "CAMPOSEL2", "CAMPOSEL3"}},
      {"LISTSCDTNET",
       {"IDLISTSC", "CODICEARTICOLO", "ESTCODICE", "QUANTITASCAGLIONE", "PREZZO",
        "DATAINIZIOVALIDITA", "DATAFINEVALIDITA"}},
      {"LISTSCDTSCO", {"IDLISTSC", "SCONTO1", "DATAINIZIOVALIDITA", "DATAFINEVALIDITA"}},
      {"FASCESC", {"ID", "LISTINORICARICO"}},
      {"CLIENTI", {"CODICE", "TIPOPREZZO", "INFO1", "INFO2"}},
      {"LOGPROMOSTOCK", {"CODICEARTICOLO", "ESTENSIONE", "DATAPROMO", "STATUS", "QUANTITAORDINE"}},
      {"TABX", {"CODICE", "NOME", "TESTO", "UTENTE"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    std::set<std::string> actual;
    for (const auto& row : db_->QueryRows(
             "SELECT TRIM(RDB$FIELD_NAME) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = :T",
             {{"T", fb::Text(c.table)}}))
      actual.insert(row[0]);
    for (const std::string& column : c.columns) EXPECT_TRUE(actual.count(column)) << column;
    // The statements read each table as it is named, without quotes but one.
    EXPECT_NO_THROW(db_->Query(std::string("SELECT COUNT(*) FROM \"") + c.table + "\""));
  }
  EXPECT_EQ(db_->QueryText("SELECT COUNT(*) FROM RDB$GENERATORS "
                           "WHERE RDB$GENERATOR_NAME = 'CODICETABXCOUNTER'"),
            "1");
  // The procedure's outputs, in the order the price-list statement selects them.
  EXPECT_EQ(db_->QueryRows("SELECT TRIM(RDB$PARAMETER_NAME) FROM RDB$PROCEDURE_PARAMETERS "
                           "WHERE RDB$PROCEDURE_NAME = 'PREPARAPREZZO' "
                           "AND RDB$PARAMETER_TYPE = 1 ORDER BY RDB$PARAMETER_NUMBER"),
            (Rows{{"ARTICOLO"},
                  {"DESCRIZIONE"},
                  {"PREZZONETTO"},
                  {"SCONTOUNO"},
                  {"SCONTODUE"},
                  {"SCONTOTRE"},
                  {"LISTINO_APP"}}));
}

TEST_F(FixtureTest, CreatingOverAnExistingDatabaseFails) {
  db_->Close();
  EXPECT_THROW(CreateBusinessDatabase(path_), fb::DatabaseError);
}

// The column types decide the texts the exports write; these are the texts
// the tests of the exports expect.
TEST_F(FixtureTest, ColumnTypesGiveTheTextsTheExportsWrite) {
  db_->AddStock(std::vector<StockRow>{
      {.magazzino = 1, .codice = "A100", .idapertura = 3, .quantitapresente = 10},
      {.magazzino = 2,
       .codice = "A100",
       .idapertura = 0,
       .quantitapresente = 3,
       .ordinicli = 0.5}});
  // A stock sum is an exact decimal with no trailing zeros in its text.
  const std::vector<Row> sum =
      db_->Query("SELECT SUM(QUANTITAPRESENTE-ORDINICLI+QPRECARICATA) FROM \"PROGMAG\"");
  EXPECT_EQ(sum.at(0).at(0), fb::Value(fb::Scaled{12500, -3}));
  EXPECT_EQ(FixtureText(sum[0][0]), "12.5");

  // Prices through REPLACE(ROUND(x,2)||'','.',','): always two decimals.
  struct PriceCase {
    double price;
    const char* text;
  };
  const std::vector<PriceCase> prices = {
      {12.5, "12,50"}, {10, "10,00"},   {0, "0,00"},     {12, "12,00"},
      {11.5, "11,50"}, {10.9, "10,90"}, {0.125, "0,13"}, {1234567.891, "1234567,89"}};
  for (const PriceCase& p : prices) {
    db_->AddNetPrice(
        {.idlistsc = 1, .codicearticolo = "P", .quantitascaglione = 1, .prezzo = p.price});
  }
  const Rows texts = db_->QueryRows(
      "SELECT REPLACE(ROUND(PREZZO,2)||'','.',','), PREZZO FROM LISTSCDTNET ORDER BY PREZZO");
  ASSERT_EQ(texts.size(), prices.size());
  for (const PriceCase& p : prices) {
    bool found = false;
    for (const auto& row : texts) {
      if (row[0] == p.text) found = true;
    }
    EXPECT_TRUE(found) << p.price << " should read " << p.text;
  }
  // Prices come back as doubles, untouched.
  EXPECT_EQ(db_->Query("SELECT PREZZO FROM LISTSCDTNET WHERE PREZZO > 1000").at(0).at(0),
            fb::Value(1234567.891));

  // A promotional quantity with decimals exists as such.
  db_->AddNetPrice({.idlistsc = 2, .codicearticolo = "Q", .quantitascaglione = 12.75});
  EXPECT_EQ(db_->QueryText("SELECT QUANTITASCAGLIONE FROM LISTSCDTNET WHERE IDLISTSC = 2"),
            "12.75");

  // INFO1 takes the preset number and markup texts; INFO2 is a number.
  db_->AddCustomer({.codice = "C1"});
  db_->Exec("UPDATE CLIENTI SET INFO1=0, INFO2=NULL");
  EXPECT_EQ(db_->QueryRows("SELECT INFO1, INFO2 FROM CLIENTI"), (Rows{{"0", kNullText}}));
  db_->Exec("UPDATE CLIENTI SET INFO1=:INFO1, INFO2=:INFO2",
            {{"INFO1", fb::Text("1234,57")}, {"INFO2", fb::Int(2)}});
  const std::vector<Row> info = db_->Query("SELECT INFO1, INFO2 FROM CLIENTI");
  EXPECT_EQ(info.at(0).at(0), fb::Value(std::string("1234,57")));
  EXPECT_EQ(info.at(0).at(1), fb::Int(2));
}

// ---- PREPARAPREZZO --------------------------------------------------------

TEST_F(FixtureTest, PreparaPrezzoReturnsTheBandsRowsValidAtTheDate) {
  // Band 3: always valid, valid from today, valid until yesterday, valid
  // from tomorrow, valid today only. Band 4 is another band.
  db_->AddPreparedPrice({.fascia = 3,
                         .articolo = "OPEN",
                         .descrizione = "sempre",
                         .prezzonetto = 12.5,
                         .scontouno = 10,
                         .listino_app = 17});
  db_->AddPreparedPrice(
      {.fascia = 3, .articolo = "FROMTODAY", .prezzonetto = 1, .datainizio = Day::Today()});
  db_->AddPreparedPrice(
      {.fascia = 3, .articolo = "PAST", .prezzonetto = 2, .datafine = Day::Today(-1)});
  db_->AddPreparedPrice(
      {.fascia = 3, .articolo = "FUTURE", .prezzonetto = 3, .datainizio = Day::Today(1)});
  db_->AddPreparedPrice({.fascia = 3,
                         .articolo = "TODAY",
                         .prezzonetto = 4,
                         .datainizio = Day::Today(),
                         .datafine = Day::Today()});
  db_->AddPreparedPrice({.fascia = 4, .articolo = "OTHERBAND", .prezzonetto = 5});

  struct Case {
    std::string call;
    Rows articles;
  };
  const std::vector<Case> cases = {
      {"PREPARAPREZZO(3,'',CURRENT_DATE)", {{"OPEN"}, {"FROMTODAY"}, {"TODAY"}}},
      {"PREPARAPREZZO(3,'',DATEADD(-1 DAY TO CURRENT_DATE))", {{"OPEN"}, {"PAST"}}},
      {"PREPARAPREZZO(3,'',DATEADD(1 DAY TO CURRENT_DATE))", {{"OPEN"}, {"FROMTODAY"}, {"FUTURE"}}},
      {"PREPARAPREZZO(4,'',CURRENT_DATE)", {{"OTHERBAND"}}},
      {"PREPARAPREZZO(9,'',CURRENT_DATE)", {}},
      {"PREPARAPREZZO(3,'FU',DATEADD(1 DAY TO CURRENT_DATE))", {{"FUTURE"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    EXPECT_EQ(db_->QueryRows("SELECT ARTICOLO FROM " + c.call), c.articles);
  }

  // Every output of a row, and the texts the price-list statement makes.
  EXPECT_EQ(db_->QueryRows("SELECT ARTICOLO, DESCRIZIONE, PREZZONETTO, SCONTOUNO, SCONTODUE, "
                           "SCONTOTRE, LISTINO_APP FROM PREPARAPREZZO(3,'',CURRENT_DATE) "
                           "WHERE ARTICOLO = 'OPEN'"),
            (Rows{{"OPEN", "sempre", "12.5", "10", "0", "0", "17"}}));
  EXPECT_EQ(db_->QueryRows("SELECT REPLACE(ROUND(P.PREZZONETTO,2)||'','.',','), "
                           "REPLACE(ROUND(P.SCONTOUNO,2)||'','.',',') "
                           "FROM PREPARAPREZZO(3,'',CURRENT_DATE) P WHERE P.ARTICOLO = 'OPEN'"),
            (Rows{{"12,50", "10,00"}}));
}

TEST_F(FixtureTest, FixedDaysAreCalendarDays) {
  db_->AddPreparedPrice({.fascia = 1,
                         .articolo = "MARCH",
                         .prezzonetto = 1,
                         .datainizio = Day::On(2024, 3, 1),
                         .datafine = Day::On(2024, 3, 31)});
  EXPECT_EQ(db_->QueryRows("SELECT ARTICOLO FROM PREPARAPREZZO(1,'',DATE '2024-03-31')"),
            (Rows{{"MARCH"}}));
  EXPECT_EQ(db_->QueryRows("SELECT ARTICOLO FROM PREPARAPREZZO(1,'',DATE '2024-04-01')"), Rows{});
  EXPECT_EQ(db_->QueryRows("SELECT DATAINIZIO, DATAFINE FROM FIXTURE_PREZZI"),
            (Rows{{"2024-03-01", "2024-03-31"}}));
}

TEST_F(FixtureTest, TodayIsTheServersDate) {
  const fb::Date today = db_->Today();
  const fb::Date tomorrow = db_->Today(1);
  EXPECT_EQ(FixtureText(today), db_->QueryText("SELECT CURRENT_DATE FROM RDB$DATABASE"));
  EXPECT_EQ(FixtureText(tomorrow), db_->QueryText("SELECT CURRENT_DATE + 1 FROM RDB$DATABASE"));
}

// ---- Settings table and its generator -------------------------------------

TEST_F(FixtureTest, CodiceTabxCounterSteps) {
  const std::string first = db_->QueryText("SELECT GEN_ID(CODICETABXCOUNTER,1) FROM RDB$DATABASE;");
  const std::string second =
      db_->QueryText("SELECT GEN_ID(CODICETABXCOUNTER,1) FROM RDB$DATABASE;");
  EXPECT_EQ(std::stoll(second), std::stoll(first) + 1);

  // Rows written by the helpers take their numbers from it.
  db_->SetTabX("CAT_HOSTFTP", "127.0.0.1");
  EXPECT_EQ(db_->QueryText("SELECT CODICE FROM TABX WHERE NOME = 'CAT_HOSTFTP'"),
            std::to_string(std::stoll(second) + 1));
}

TEST_F(FixtureTest, SetTabXKeepsOneSharedRowAndLeavesUserRows) {
  db_->SetTabX("DIRCATINTERNET", "/old/");
  db_->SetUserTabX("DIRCATINTERNET", "/user2/", 2);
  db_->SetTabX("DIRCATINTERNET", "/new/");
  db_->SetUserTabX("DIRCATINTERNET", "/user2bis/", 2);
  db_->SetTabX("EMPTY", std::nullopt);
  const std::string long_value(1000, 'x');
  db_->SetTabX("LONG", long_value);

  EXPECT_EQ(db_->QueryRows("SELECT NOME, TESTO, UTENTE FROM TABX WHERE NOME <> 'LONG' "
                           "ORDER BY NOME, UTENTE NULLS FIRST"),
            (Rows{{"DIRCATINTERNET", "/new/", kNullText},
                  {"DIRCATINTERNET", "/user2bis/", "2"},
                  {"EMPTY", kNullText, kNullText}}));
  EXPECT_TRUE(db_->QueryText("SELECT TESTO FROM TABX WHERE NOME = 'LONG'") == long_value);
  EXPECT_EQ(db_->QueryText("SELECT COUNT(DISTINCT CODICE) FROM TABX"), "4");

  db_->RemoveTabX("DIRCATINTERNET");
  EXPECT_EQ(db_->QueryText("SELECT COUNT(*) FROM TABX WHERE NOME = 'DIRCATINTERNET'"), "0");
}

// ---- Other helpers --------------------------------------------------------

TEST_F(FixtureTest, RowHelpersWriteNullsAndRelativeDates) {
  db_->AddStock({.magazzino = 2,
                 .codice = std::nullopt,
                 .idapertura = 0,
                 .quantitapresente = 1.5,
                 .ordinicli = std::nullopt});
  EXPECT_EQ(db_->QueryRows("SELECT MAGAZZINO, CODICE, IDAPERTURA, QUANTITAPRESENTE, ORDINICLI, "
                           "QPRECARICATA FROM PROGMAG"),
            (Rows{{"2", kNullText, "0", "1.5", kNullText, "0"}}));

  db_->AddNetPrice({.idlistsc = 7,
                    .codicearticolo = "ART100",
                    .quantitascaglione = 20,
                    .prezzo = 9.9,
                    .datainiziovalidita = Day::Today(-14),
                    .datafinevalidita = Day::Today(16)});
  db_->AddNetPrice({.idlistsc = 7, .codicearticolo = "ART100", .estcodice = std::nullopt});
  EXPECT_EQ(db_->QueryRows("SELECT ESTCODICE, DATAINIZIOVALIDITA - CURRENT_DATE, "
                           "DATAFINEVALIDITA - CURRENT_DATE FROM LISTSCDTNET ORDER BY PREZZO"),
            (Rows{{kNullText, kNullText, kNullText}, {"0", "-14", "16"}}));

  db_->AddPromoLog({.codicearticolo = "ART100", .quantitaordine = 3});
  db_->AddPromoLog({.codicearticolo = "ART100",
                    .datapromo = Day::Today(-14),
                    .status = "ANNULLATO",
                    .quantitaordine = 4});
  EXPECT_EQ(db_->QueryRows("SELECT ESTENSIONE, DATAPROMO - CURRENT_DATE, STATUS, QUANTITAORDINE "
                           "FROM LOGPROMOSTOCK ORDER BY QUANTITAORDINE"),
            (Rows{{kNullText, "0", "ATTIVO", "3"}, {kNullText, "-14", "ANNULLATO", "4"}}));

  db_->AddDiscount({.idlistsc = 20, .sconto1 = 12.125, .datafinevalidita = Day::Today(0)});
  db_->AddPriceBand({.id = 3, .listinoricarico = 20});
  db_->AddPriceBand({.id = 4});
  db_->AddPriceList({.id = 17});
  db_->LinkBandToList(3, 17);
  db_->AddCustomer({.codice = "C0001", .tipoprezzo = 3});
  db_->AddCustomer({.codice = "C0003"});
  EXPECT_EQ(db_->QueryRows("SELECT SCONTO1, DATAINIZIOVALIDITA, DATAFINEVALIDITA - CURRENT_DATE "
                           "FROM LISTSCDTSCO"),
            (Rows{{"12.125", kNullText, "0"}}));
  EXPECT_EQ(db_->QueryRows("SELECT ID, LISTINORICARICO FROM FASCESC ORDER BY ID"),
            (Rows{{"3", "20"}, {"4", kNullText}}));
  EXPECT_EQ(db_->QueryRows("SELECT F.IDFASCIA, L.ID, L.TIPO FROM FASCESCDT F "
                           "JOIN LISTSC L ON F.IDLISTINO = L.ID"),
            (Rows{{"3", "17", "N"}}));
  EXPECT_EQ(
      db_->QueryRows("SELECT CODICE, TIPOPREZZO, INFO1, INFO2 FROM CLIENTI ORDER BY CODICE"),
      (Rows{{"C0001", "3", kNullText, kNullText}, {"C0003", kNullText, kNullText, kNullText}}));

  // Texts travel as Windows-1252 and come back as they went in.
  db_->AddClassification1({.descrizione = "S1", .descrizione1 = "Sconto più alto"});
  db_->AddArticle(
      {.codice = "VT100", .descrizione = "Cacciavite d´acciaio", .classificazione1 = "S1"});
  EXPECT_EQ(db_->QueryRows("SELECT A.DESCRIZIONE, C.DESCRIZIONE1, OCTET_LENGTH(A.DESCRIZIONE) "
                           "FROM ANAMAG A JOIN CLASSIFICAZIONE1 C ON C.DESCRIZIONE = "
                           "A.CLASSIFICAZIONE1"),
            (Rows{{"Cacciavite d´acciaio", "Sconto più alto", "20"}}));
}

TEST_F(FixtureTest, ExecManyWritesEveryRowInOneStatementAndBulkStockCounts) {
  AddBulkStock(*db_, 25);
  EXPECT_EQ(db_->QueryRows("SELECT COUNT(*), COUNT(DISTINCT CODICE), MIN(CODICE), MAX(CODICE) "
                           "FROM PROGMAG"),
            (Rows{{"25", "7", "ART000000", "ART000006"}}));
  // Warehouse 1 rows belong to stock opening 3, the others to opening 0.
  EXPECT_EQ(
      db_->QueryRows("SELECT MAGAZZINO, MIN(IDAPERTURA), MAX(IDAPERTURA), COUNT(*) "
                     "FROM PROGMAG GROUP BY MAGAZZINO ORDER BY MAGAZZINO"),
      (Rows{
          {"1", "3", "3", "7"}, {"2", "0", "0", "6"}, {"3", "0", "0", "6"}, {"4", "0", "0", "6"}}));
  // Some rows have nothing available, and the export leaves them out.
  const int empty = std::stoi(db_->QueryText(
      "SELECT COUNT(*) FROM PROGMAG WHERE QUANTITAPRESENTE-ORDINICLI+QPRECARICATA <= 0"));
  EXPECT_GT(empty, 0);
  EXPECT_LT(empty, 25);
}

TEST_F(FixtureTest, SampleDataLoads) {
  AddSampleData(*db_);
  EXPECT_EQ(db_->QueryRows("SELECT a.CODICE, SUM(QUANTITAPRESENTE-ORDINICLI+QPRECARICATA) "
                           "FROM PROGMAG a WHERE ((MAGAZZINO=1 AND IDAPERTURA=3) OR "
                           "(MAGAZZINO IN (2,3) AND IDAPERTURA=0)) AND "
                           "QUANTITAPRESENTE-ORDINICLI+QPRECARICATA > 0 "
                           "GROUP BY a.CODICE ORDER BY a.CODICE"),
            (Rows{{"A100", "12.5"}, {"B200", "5"}, {"VT100", "39"}}));
  EXPECT_EQ(db_->QueryRows("SELECT ARTICOLO FROM PREPARAPREZZO(3,'',CURRENT_DATE)"),
            (Rows{{"VT100"}, {"A100"}, {"B200"}}));
  EXPECT_EQ(db_->QueryText("SELECT TESTO FROM TABX WHERE NOME='ListinoStock' AND UTENTE IS NULL"),
            "7");
}

// ---- Script splitting -----------------------------------------------------

TEST(SplitSqlScriptTest, SplitsAtTheCurrentTerminatorOnly) {
  struct Case {
    const char* name;
    std::string script;
    std::vector<std::string> statements;
  };
  const std::vector<Case> cases = {
      {"plain",
       "CREATE TABLE A (X INTEGER);\nCREATE TABLE B (Y INTEGER);\n",
       {"CREATE TABLE A (X INTEGER)", "CREATE TABLE B (Y INTEGER)"}},
      {"no final terminator", "SELECT 1 FROM RDB$DATABASE", {"SELECT 1 FROM RDB$DATABASE"}},
      {"terminator inside literals and quoted names",
       "INSERT INTO \"T;X\" VALUES ('a;b', 'it''s;');",
       {"INSERT INTO \"T;X\" VALUES ('a;b', 'it''s;')"}},
      {"comments dropped",
       "-- a comment; with a terminator\nSELECT /* ; */ 1 FROM X; -- tail\n",
       {"SELECT   1 FROM X"}},
      {"SET TERM",
       "SET TERM ^ ;\nCREATE PROCEDURE P AS BEGIN EXIT; END^\nSET TERM ; ^\nSELECT 2 FROM X;",
       {"CREATE PROCEDURE P AS BEGIN EXIT; END", "SELECT 2 FROM X"}},
      {"only comments and blanks", "  -- nothing\n\n/* here */ ;", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SplitSqlScript(c.script), c.statements);
  }
}

// ---- User database --------------------------------------------------------

TEST(UserDatabaseTest, UtentiHasTheColumnsOfItsDefinition) {
  TempDir dir;
  const std::string path = dir.File("utenti.fdb");
  CreateUserDatabase(path);
  FixtureDb db(path);
  // Name, field type (7 smallint, 37 varchar, 261 blob), blob sub-type,
  // character length, NOT NULL.
  EXPECT_EQ(db.QueryRows("SELECT TRIM(RF.RDB$FIELD_NAME), F.RDB$FIELD_TYPE, "
                         "COALESCE(F.RDB$FIELD_SUB_TYPE, 0), COALESCE(F.RDB$CHARACTER_LENGTH, 0), "
                         "COALESCE(RF.RDB$NULL_FLAG, 0) "
                         "FROM RDB$RELATION_FIELDS RF JOIN RDB$FIELDS F "
                         "ON F.RDB$FIELD_NAME = RF.RDB$FIELD_SOURCE "
                         "WHERE RF.RDB$RELATION_NAME = 'UTENTI' ORDER BY RF.RDB$FIELD_POSITION"),
            (Rows{{"CODICE", "7", "0", "0", "1"},
                  {"NOMEUTENTE", "37", "0", "20", "0"},
                  {"PWDUTENTE", "37", "0", "80", "0"},
                  {"PROFILOSICUREZZA", "7", "0", "0", "0"},
                  {"PROGETTO", "7", "0", "0", "0"},
                  {"DESCRIZIONE", "37", "0", "128", "0"},
                  {"EMAIL", "37", "0", "128", "0"},
                  {"NOTE", "261", "1", "0", "0"},
                  {"INFO1", "37", "0", "10", "0"},
                  {"INFO2", "37", "0", "10", "0"},
                  {"SOFTDES", "261", "1", "0", "0"},
                  {"DITTA", "37", "0", "64", "0"},
                  {"MANTIENISTDMIN", "7", "0", "0", "0"},
                  {"ABILITASCELTADISCO", "7", "0", "0", "0"},
                  {"ULTIMODISCOSCELTO", "37", "0", "1", "0"},
                  {"ACCESSOSOFTDES", "7", "0", "0", "0"},
                  {"UTENTEINATTIVO", "7", "0", "0", "0"}}));
  EXPECT_EQ(db.QueryRows("SELECT TRIM(RC.RDB$CONSTRAINT_TYPE), TRIM(S.RDB$FIELD_NAME) "
                         "FROM RDB$RELATION_CONSTRAINTS RC JOIN RDB$INDEX_SEGMENTS S "
                         "ON S.RDB$INDEX_NAME = RC.RDB$INDEX_NAME "
                         "WHERE RC.RDB$CONSTRAINT_NAME = 'UTENTI_CHIAVEPRIMARIA'"),
            (Rows{{"PRIMARY KEY", "CODICE"}}));
  EXPECT_EQ(db.QueryText("SELECT COUNT(*) FROM UTENTI"), "0");
}

// ---- Installation ---------------------------------------------------------

// A program to copy: any executable file serves.
std::string MakeProgram(const TempDir& dir) {
  const std::string path = dir.File("exporttotale");
  WriteFile(path, "#!/bin/sh\nexit 0\n");
  std::filesystem::permissions(path, std::filesystem::perms::owner_all |
                                         std::filesystem::perms::group_read |
                                         std::filesystem::perms::group_exec);
  return path;
}

TEST(InstallationTest, LaysOutAWorkingConfiguration) {
  TempDir src;
  const std::string program = MakeProgram(src);
  std::string root;
  {
    Installation inst(program);
    root = inst.Root();

    // The program is a copy, not a link, and stays executable.
    EXPECT_EQ(inst.Program(), inst.BinDir() + "exporttotale");
    EXPECT_FALSE(std::filesystem::is_symlink(inst.Program()));
    EXPECT_EQ(ReadFile(inst.Program()), "#!/bin/sh\nexit 0\n");
    EXPECT_EQ(std::system(inst.Program().c_str()), 0);

    IniFile ini(inst.ParametersFile());
    EXPECT_EQ(ini.Read("CONFIG", "Utente"), "1");
    EXPECT_EQ(ini.Read("CONFIG", "Ditta"), "query_esterno");
    EXPECT_EQ(ini.Read("CONFIG", "PercorsoDatabase"), inst.UserDbFile());
    EXPECT_EQ(ini.Read("CONFIG", "Nome Server"), "");
    EXPECT_TRUE(std::filesystem::is_directory(inst.ExportDir()));
    EXPECT_EQ(inst.ExportDir().back(), '/');

    {
      FixtureDb users = inst.Users();
      const std::vector<Row> rows =
          users.Query("SELECT CODICE, NOMEUTENTE, DITTA, SOFTDES FROM UTENTI");
      ASSERT_EQ(rows.size(), 1u);
      EXPECT_EQ(FixtureText(rows[0][0]), "1");
      EXPECT_EQ(FixtureText(rows[0][2]), "query_esterno");
      EXPECT_EQ(rows[0][3], fb::Value("[query_esterno]\n\rArchivio=" + inst.BusinessDbFile()));
      EXPECT_EQ(IniText::Parse(FixtureText(rows[0][3])).Read("query_esterno", "Archivio"),
                inst.BusinessDbFile());
    }

    inst.SetTabX("CAT_TIPOEXPPERGIACENZE", "1");
    inst.SetUserTabX("CAT_TIPOEXPPERGIACENZE", "2", 1);
    {
      BusinessDb business = inst.Business();
      EXPECT_EQ(business.QueryRows("SELECT NOME, TESTO, UTENTE FROM TABX ORDER BY CODICE"),
                (Rows{{"DIRCATINTERNET", inst.ExportDir(), kNullText},
                      {"CAT_TIPOEXPPERGIACENZE", "1", kNullText},
                      {"CAT_TIPOEXPPERGIACENZE", "2", "1"}}));
    }
  }
  // A temporary installation goes away with its object.
  EXPECT_FALSE(std::filesystem::exists(root));
}

TEST(InstallationTest, GivenRootIsKeptAndLaidOutAgain) {
  TempDir dir;
  const InstallationOptions options{.root = dir.File("demo"), .utente = 4, .ditta = "ditta2"};
  {
    Installation first(options);
    first.SetTabX("LEFTOVER", "x");
    EXPECT_TRUE(first.Program().empty());
  }
  Installation again(options);
  EXPECT_EQ(again.Root(), dir.File("demo"));
  EXPECT_EQ(IniFile(again.ParametersFile()).Read("CONFIG", "Utente"), "4");
  // New databases: the earlier settings are gone.
  EXPECT_EQ(again.Business().QueryText("SELECT COUNT(*) FROM TABX"), "1");
  EXPECT_EQ(again.Users().QueryRows("SELECT CODICE, DITTA FROM UTENTI"), (Rows{{"4", "ditta2"}}));
}

// The embedded engine lets one process hold a database file: a program run on
// it works only once the fixture has let it go.
TEST(FixtureDbTest, CloseLetsAnotherProcessAttach) {
  TempDir dir;
  const std::string path = dir.File("archivio.fdb");
  CreateBusinessDatabase(path);
  const std::string isql =
      "printf 'SELECT COUNT(*) FROM TABX;\\n' | isql-fb -q -user SYSDBA "
      "-password velutrina " +
      path + " >/dev/null 2>&1";
  FixtureDb db(path);
  db.Exec("INSERT INTO TABX (CODICE, NOME) VALUES (1, 'K')");
  EXPECT_NE(std::system(isql.c_str()), 0) << "isql-fb attached while the fixture held the file";
  db.Close();
  EXPECT_EQ(std::system(isql.c_str()), 0);
  EXPECT_THROW(db.Exec("DELETE FROM TABX"), Error);
}

// Through a running server (scripts/test starts one and names it in
// EXPORTTOTALE_FB_SERVER).
TEST(FixtureServerTest, DatabasesThroughTheServer) {
  const char* server = std::getenv("EXPORTTOTALE_FB_SERVER");
  if (!server || !*server) GTEST_SKIP() << "EXPORTTOTALE_FB_SERVER not set";
  TempDir dir;
  Installation inst(InstallationOptions{.root = dir.File("srv"), .server = server});
  EXPECT_EQ(inst.BusinessDbName(), std::string(server) + ":" + inst.BusinessDbFile());
  EXPECT_EQ(IniFile(inst.ParametersFile()).Read("CONFIG", "Nome Server"), server);
  BusinessDb business = inst.Business();
  business.AddPreparedPrice({.fascia = 3, .articolo = "VT100", .prezzonetto = 12.5});
  EXPECT_EQ(business.QueryRows("SELECT ARTICOLO FROM PREPARAPREZZO(3,'',CURRENT_DATE)"),
            (Rows{{"VT100"}}));
  EXPECT_TRUE(std::filesystem::exists(inst.BusinessDbFile()));
}

}  // namespace
}  // namespace et::test
