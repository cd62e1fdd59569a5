#include "fb/statement.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "fb/error.h"
#include "fb_test_db.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "value_print.h"

namespace et::fb::test {
namespace {

// A table with a column of every kind the system reads.
class StatementTest : public DatabaseTest {
 protected:
  void SetUp() override {
    Exec(
        {"CREATE TABLE ARTICOLI ("
         "  ID INTEGER NOT NULL PRIMARY KEY,"
         "  CODICE VARCHAR(20),"
         "  SIGLA CHAR(6),"
         "  QTA SMALLINT,"
         "  GRANDE BIGINT,"
         "  PREZZO NUMERIC(15,4),"
         "  SCONTO NUMERIC(5,2),"
         "  PESO DOUBLE PRECISION,"
         "  GIORNO DATE,"
         "  ORA TIME,"
         "  MOMENTO TIMESTAMP,"
         "  ATTIVO BOOLEAN,"
         "  NOTE BLOB SUB_TYPE 1,"
         "  DATI BLOB SUB_TYPE 0,"
         "  NOME_UTF8 VARCHAR(20) CHARACTER SET UTF8)"});
  }

  // The given column of the row with that ID.
  Value Column(const std::string& column, int id) {
    return Scalar("SELECT " + column + " FROM ARTICOLI WHERE ID = " + std::to_string(id));
  }
};

const std::string kEuro = "\xE2\x82\xAC";                 // €
const std::string kOlio = "l\xC2\xB4olio";                // l´olio
const std::string kAccents = "\xC3\xA0\xC3\xA8\xC3\xB2";  // àèò
constexpr std::size_t kMaxText = 32765;                   // bytes of a text parameter

TEST_F(StatementTest, InsertsWithNamedParametersAndReadsByNameAndPosition) {
  {
    Transaction t(db_, TransactionOptions::ServerDefaults());
    // CODICE and SIGLA take the same parameter; QTA gets a text the engine
    // converts, PESO a NULL.
    Statement insert(db_, t,
                     "INSERT INTO ARTICOLI (ID, CODICE, SIGLA, QTA, PESO)\r\n"
                     "VALUES (:ID, :codice, :CODICE, :Qta, :PESO)");
    insert.Set("id", Int(1));
    insert.Set("CODICE", Text(kOlio));
    insert.Set("QTA", Text("5"));
    insert.Set("PESO", Null{});
    insert.Execute(t);
    t.Commit();
  }
  Transaction t(db_, TransactionOptions::ServerDefaults());
  Statement select(db_, t, "SELECT ID, CODICE, SIGLA, QTA, PESO FROM ARTICOLI WHERE CODICE = :C");
  select.Set("C", Text(kOlio));
  select.Execute(t);
  ASSERT_TRUE(select.HasRow());
  EXPECT_EQ(select.Field("id"), Int(1));
  EXPECT_EQ(select.Field("Codice"), Text(kOlio));
  // Six Windows-1252 bytes fill CHAR(6) exactly: the engine counts the bytes
  // of the code page, not those of UTF-8.
  EXPECT_EQ(select.Field(2), Text(kOlio));
  EXPECT_EQ(select.Field("QTA"), Int(5));
  EXPECT_TRUE(IsNull(select.Field(4)));
  EXPECT_FALSE(select.Next());
  EXPECT_FALSE(select.HasRow());
}

TEST_F(StatementTest, TextsTravelAsWindows1252Bytes) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      // text, its Windows-1252 bytes in hexadecimal
      {kEuro, "80"},
      {kOlio, "6CB46F6C696F"},
      {kAccents, "E0E8F2"},
      {"", ""},
  };
  Transaction t(db_, TransactionOptions::ServerDefaults());
  Statement insert(db_, t,
                   "INSERT INTO ARTICOLI (ID, CODICE, NOTE, NOME_UTF8) VALUES (:ID, :T, :T, :T)");
  Statement check(db_, t, "SELECT CODICE, NOTE, NOME_UTF8 FROM ARTICOLI WHERE ID = :ID");
  // The stored bytes, one by one: with no character set, SUBSTRING counts bytes.
  Statement bytes(db_, t,
                  "SELECT ASCII_VAL(SUBSTRING(CODICE FROM CAST(:N AS INTEGER) FOR 1)) "
                  "FROM ARTICOLI WHERE ID = :ID AND CAST(:N AS INTEGER) <= OCTET_LENGTH(CODICE)");
  const auto stored_hex = [&](std::int64_t id) {
    std::string hex;
    for (std::int64_t n = 1;; ++n) {
      bytes.Set("ID", Int(id));
      bytes.Set("N", Int(n));
      bytes.Execute(t);
      if (!bytes.HasRow()) return hex;
      char buf[3];
      std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned>(ValueToInt32(bytes.Field(0))));
      hex += buf;
    }
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].second);
    insert.Set("ID", Int(static_cast<std::int64_t>(i)));
    insert.Set("T", Text(cases[i].first));
    insert.Execute(t);
    check.Set("ID", Int(static_cast<std::int64_t>(i)));
    check.Execute(t);
    ASSERT_TRUE(check.HasRow());
    EXPECT_EQ(check.Field(0), Text(cases[i].first));
    EXPECT_EQ(check.Field(1), Text(cases[i].first));
    EXPECT_EQ(check.Field(2), Text(cases[i].first));  // a Unicode column converts
    EXPECT_EQ(stored_hex(static_cast<std::int64_t>(i)), cases[i].second);
  }
  // A literal in the statement text goes through the same code page.
  Statement literal(db_, t, "SELECT ID FROM ARTICOLI WHERE CODICE = '" + kOlio + "'");
  literal.Execute(t);
  ASSERT_TRUE(literal.HasRow());
  EXPECT_EQ(literal.Field(0), Int(1));
}

TEST_F(StatementTest, ColumnNamesAreTheAliases) {
  Transaction t(db_, TransactionOptions::ServerDefaults());
  Statement s(
      db_, t,
      "SELECT ID AS \"Codice Art\", CODICE descr, QTA, COUNT(*) FROM ARTICOLI GROUP BY 1, 2, 3");
  ASSERT_EQ(s.ColumnCount(), 4u);
  EXPECT_EQ(s.ColumnName(0), "Codice Art");
  EXPECT_EQ(s.ColumnName(1), "DESCR");
  EXPECT_EQ(s.ColumnName(2), "QTA");
  EXPECT_EQ(s.ColumnName(3), "COUNT");
  EXPECT_THROW(s.ColumnName(4), ProgrammingError);
}

TEST_F(StatementTest, FieldAccessErrors) {
  Exec({"INSERT INTO ARTICOLI (ID) VALUES (1)"});
  Transaction t(db_, TransactionOptions::ServerDefaults());
  Statement s(db_, t, "SELECT ID FROM ARTICOLI");
  EXPECT_THROW(s.Field(0), ProgrammingError);  // not executed: no row yet
  s.Execute(t);
  EXPECT_EQ(s.Field("ID"), Int(1));
  EXPECT_THROW(s.Field(1), ProgrammingError);
  try {
    s.Field("MISSING");
    ADD_FAILURE() << "no error for an unknown field";
  } catch (const ProgrammingError& e) {
    EXPECT_STREQ(e.what(), "Field 'MISSING' not found");
  }
  EXPECT_THROW(s.Set("NOPE", Int(1)), ProgrammingError);
}

// Raw gives each column as the row holds it: texts as their stored bytes
// (trailing blanks of CHAR kept, Unicode columns flagged), integers and
// NUMERICs as scaled numbers, everything else for Field to read.
TEST_F(StatementTest, RawGivesTheStoredBytesAndNumbers) {
  std::string all_bytes;
  for (int b = 1; b < 256; ++b) all_bytes += static_cast<char>(b);
  Exec({"ALTER TABLE ARTICOLI ADD LUNGO VARCHAR(300)",
        "INSERT INTO ARTICOLI (ID, SIGLA, QTA, GRANDE, PREZZO, SCONTO, PESO, GIORNO, ATTIVO, "
        "NOTE) VALUES (1, 'AB', -7, -9223372036854775808, 12.5000, -0.05, 0.1, '2024-02-29', "
        "TRUE, 'nota')",
        "INSERT INTO ARTICOLI (ID) VALUES (2)"});
  {
    Transaction t(db_, TransactionOptions::ServerDefaults());
    Statement update(db_, t, "UPDATE ARTICOLI SET LUNGO = :B, NOME_UTF8 = :U WHERE ID = 1");
    update.Set("B", Text(Cp1252ToUtf8(all_bytes)));
    update.Set("U", Text(kEuro + kAccents));
    update.Execute(t);
    t.Commit();
  }
  using Kind = RawField::Kind;
  const struct {
    const char* column;
    Kind kind;
    std::string text;  // kText
    bool utf8;         // kText
    Scaled number;     // kNumber
  } cases[] = {
      {"SIGLA", Kind::kText, "AB    ", false, {}},
      {"LUNGO", Kind::kText, all_bytes, false, {}},
      {"NOME_UTF8", Kind::kText, kEuro + kAccents, true, {}},
      {"QTA", Kind::kNumber, "", false, {-7, 0}},
      {"GRANDE", Kind::kNumber, "", false, {INT64_MIN, 0}},
      {"PREZZO", Kind::kNumber, "", false, {125000, -4}},
      {"SCONTO", Kind::kNumber, "", false, {-5, -2}},
      {"PREZZO * 1000", Kind::kNumber, "", false, {125000000, -4}},
      {"PESO", Kind::kOther, "", false, {}},
      {"GIORNO", Kind::kOther, "", false, {}},
      {"ATTIVO", Kind::kOther, "", false, {}},
      {"NOTE", Kind::kOther, "", false, {}},
  };
  Transaction t(db_, TransactionOptions::ServerDefaults());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.column);
    Statement s(db_, t, std::string("SELECT ") + c.column + " FROM ARTICOLI ORDER BY ID");
    s.Execute(t);
    const RawField raw = s.Raw(0);
    EXPECT_EQ(raw.kind, c.kind);
    if (c.kind == Kind::kText) {
      EXPECT_EQ(raw.text, c.text);
      EXPECT_EQ(raw.utf8, c.utf8);
    }
    if (c.kind == Kind::kNumber) {
      EXPECT_EQ(raw.number, c.number);
    }
    ASSERT_TRUE(s.Next());  // the row of NULLs
    EXPECT_EQ(s.Raw(0).kind, Kind::kNull);
  }
}

TEST_F(StatementTest, ColumnIndexAndRawErrors) {
  Exec({"INSERT INTO ARTICOLI (ID, CODICE) VALUES (1, 'A')"});
  Transaction t(db_, TransactionOptions::ServerDefaults());
  Statement s(db_, t, "SELECT ID, CODICE AS Descr FROM ARTICOLI");
  EXPECT_EQ(s.ColumnIndex("id"), 0u);
  EXPECT_EQ(s.ColumnIndex("DESCR"), 1u);
  try {
    s.ColumnIndex("MISSING");
    ADD_FAILURE() << "no error for an unknown column";
  } catch (const ProgrammingError& e) {
    EXPECT_STREQ(e.what(), "Field 'MISSING' not found");
  }
  EXPECT_THROW(s.Raw(0), ProgrammingError);  // no row yet
  s.Execute(t);
  EXPECT_THROW(s.Raw(2), ProgrammingError);
  // A value read earlier stays valid while other columns of the row are read.
  const Value& id = s.Field(0);
  EXPECT_EQ(s.Field(1), Text("A"));
  EXPECT_EQ(s.Raw(1).text, "A");
  EXPECT_EQ(id, Int(1));
  EXPECT_FALSE(s.Next());
  EXPECT_THROW(s.Raw(0), ProgrammingError);  // past the last row
}

TEST_F(StatementTest, ValuesOfEveryKindRoundTrip) {
  std::string bytes;
  for (int b = 0; b < 256; ++b) bytes += static_cast<char>(b);
  const std::vector<std::pair<std::string, Value>> cases = {
      {"GRANDE", Int(-9000000000000000000)},
      {"PREZZO", Scaled{123456, -4}},
      {"SCONTO", Scaled{-5, -2}},
      {"PESO", 0.1},
      {"GIORNO", Date{2024, 2, 29}},
      {"ORA", Time{13, 45, 30, 1234}},
      {"MOMENTO", Timestamp{{1999, 12, 31}, {23, 59, 59, 9999}}},
      {"ATTIVO", true},
      {"ATTIVO", false},
      {"DATI", Text(bytes)},  // a binary blob keeps its bytes as they are
  };
  Transaction t(db_, TransactionOptions::ServerDefaults());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const auto& [column, value] = cases[i];
    SCOPED_TRACE(column + " " + ::testing::PrintToString(value));
    Statement insert(db_, t, "INSERT INTO ARTICOLI (ID, " + column + ") VALUES (:ID, :V)");
    insert.Set("ID", Int(static_cast<std::int64_t>(i)));
    insert.Set("V", value);
    insert.Execute(t);
    Statement select(db_, t, "SELECT " + column + " FROM ARTICOLI WHERE ID = :ID");
    select.Set("ID", Int(static_cast<std::int64_t>(i)));
    select.Execute(t);
    ASSERT_TRUE(select.HasRow());
    EXPECT_EQ(select.Field(0), value);
  }
}

TEST_F(StatementTest, TheEngineConvertsValuesToTheParameterType) {
  struct Case {
    std::string column;
    Value bound;
    Value stored;
    std::string italian;  // the stored value's text with Italian settings
  };
  const std::vector<Case> cases = {
      {"QTA", Text("5"), Int(5), "5"},
      {"PREZZO", 12.5, Scaled{125000, -4}, "12,5"},
      {"PREZZO", Text("-0.0750"), Scaled{-750, -4}, "-0,075"},
      {"SCONTO", Int(12), Scaled{1200, -2}, "12"},
      {"SCONTO", Scaled{12345, -3}, Scaled{1235, -2}, "12,35"},  // rounded to the scale
      {"CODICE", Scaled{-1250, -2}, Text("-12.50"), "-12.50"},
      {"GIORNO", Text("2024-03-01"), Date{2024, 3, 1}, "01/03/2024"},
      {"MOMENTO", Date{2024, 3, 1}, Timestamp{{2024, 3, 1}, {}}, "01/03/2024"},
      {"MOMENTO", Text("2024-03-01 08:30:00"), Timestamp{{2024, 3, 1}, {8, 30, 0, 0}},
       "01/03/2024 08:30:00"},
  };
  Transaction t(db_, TransactionOptions::ServerDefaults());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.column + " " + ::testing::PrintToString(c.bound));
    Statement insert(db_, t, "INSERT INTO ARTICOLI (ID, " + c.column + ") VALUES (:ID, :V)");
    insert.Set("ID", Int(static_cast<std::int64_t>(i)));
    insert.Set("V", c.bound);
    insert.Execute(t);
    Statement select(db_, t, "SELECT " + c.column + " FROM ARTICOLI WHERE ID = :ID");
    select.Set("ID", Int(static_cast<std::int64_t>(i)));
    select.Execute(t);
    ASSERT_TRUE(select.HasRow());
    EXPECT_EQ(select.Field(0), c.stored);
    EXPECT_EQ(ValueToText(select.Field(0), RegionalSettings::Italian()), c.italian);
  }
}

// The input message is laid out when the statement is prepared; a value of
// another kind than the one before, or a text longer than the parameter
// declares, is still sent in a type of its own and converted by the engine.
TEST_F(StatementTest, OneParameterTakesValuesOfEveryKindInTurn) {
  const std::string twenty(20, 'x');
  const std::vector<std::pair<Value, Value>> cases = {
      // bound, stored in CODICE VARCHAR(20)
      {Text("abc"), Text("abc")},
      {Int(5), Text("5")},
      {Null{}, Null{}},
      {Scaled{-1250, -2}, Text("-12.50")},
      {Date{2024, 3, 1}, Text("2024-03-01")},
      {Text(twenty), Text(twenty)},
      {Text(twenty + "   "), Text(twenty)},  // trailing blanks give way
      {Text(kOlio), Text(kOlio)},
  };
  Transaction t(db_, TransactionOptions::ServerDefaults());
  Statement insert(db_, t, "INSERT INTO ARTICOLI (ID, CODICE) VALUES (:ID, :V)");
  Statement select(db_, t, "SELECT CODICE FROM ARTICOLI WHERE ID = :ID");
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(::testing::PrintToString(cases[i].first));
    insert.Set("ID", Int(static_cast<std::int64_t>(i)));
    insert.Set("V", cases[i].first);
    insert.Execute(t);
    select.Set("ID", Int(static_cast<std::int64_t>(i)));
    select.Execute(t);
    ASSERT_TRUE(select.HasRow());
    EXPECT_EQ(select.Field(0), cases[i].second);
  }
  insert.Set("ID", Int(100));
  insert.Set("V", Text(twenty + "y"));
  try {
    insert.Execute(t);
    ADD_FAILURE() << "a text longer than the column was stored";
  } catch (const DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("string right truncation"), std::string::npos) << e.what();
  }
  insert.Set("V", Text(std::string(kMaxText + 1, 'z')));
  try {
    insert.Execute(t);
    ADD_FAILURE() << "a text longer than any parameter was sent";
  } catch (const DatabaseError& e) {
    EXPECT_STREQ(e.what(), "A text of 32766 bytes is longer than a parameter takes (32765)");
  }
}

TEST_F(StatementTest, ATextThatIsNoNumberFailsWithTheEngineMessage) {
  Transaction t(db_, TransactionOptions::ServerDefaults());
  Statement insert(db_, t, "INSERT INTO ARTICOLI (ID, QTA) VALUES (1, :Q)");
  insert.Set("Q", Text("cinque"));
  try {
    insert.Execute(t);
    ADD_FAILURE() << "no error";
  } catch (const DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find("conversion error from string \"cinque\""),
              std::string::npos)
        << e.what();
  }
}

TEST_F(StatementTest, TextBlobRoundTripsThroughABoundString) {
  // Longer than any VARCHAR parameter, with characters outside ASCII.
  std::string text;
  for (int i = 0; text.size() < 100000; ++i) {
    text += "riga " + std::to_string(i) + " " + kOlio + " " + kEuro + "\r\n";
  }
  {
    Transaction t(db_, TransactionOptions::ServerDefaults());
    Statement insert(db_, t, "INSERT INTO ARTICOLI (ID, NOTE) VALUES (1, :NOTE)");
    insert.Set("NOTE", Text(text));
    insert.Execute(t);
    Statement other(db_, t, "INSERT INTO ARTICOLI (ID, NOTE) VALUES (:ID, :NOTE)");
    other.Set("ID", Int(2));
    other.Set("NOTE", Text(""));
    other.Execute(t);
    other.Set("ID", Int(3));
    other.Set("NOTE", Null{});
    other.Execute(t);
    t.Commit();
  }
  EXPECT_EQ(Column("NOTE", 1), Text(text));
  EXPECT_EQ(Column("NOTE", 2), Text(""));
  EXPECT_TRUE(IsNull(Column("NOTE", 3)));
  // Stored as Windows-1252: "´" and "€" take one byte each instead of 2 and 3.
  std::size_t lines = 0;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(Column("OCTET_LENGTH(NOTE)", 1),
            Int(static_cast<std::int64_t>(text.size() - lines * (1 + 2))));
}

TEST_F(StatementTest, AFailedStatementCarriesTheEngineMessage) {
  Transaction t(db_, TransactionOptions::ServerDefaults());
  try {
    Statement s(db_, t, "SELECT * FROM NOSUCH_TABLE");
    ADD_FAILURE() << "prepared a statement on a missing table";
  } catch (const DatabaseError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("Table unknown"), std::string::npos) << message;
    EXPECT_NE(message.find("NOSUCH_TABLE"), std::string::npos) << message;
    EXPECT_EQ(e.TypeName(), "EDatabaseError");
  }
  Statement insert(db_, t, "INSERT INTO ARTICOLI (ID) VALUES (:ID)");
  insert.Set("ID", Int(7));
  insert.Execute(t);
  try {
    insert.Execute(t);
    ADD_FAILURE() << "inserted a duplicate key";
  } catch (const DatabaseError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("violation of PRIMARY or UNIQUE KEY constraint"), std::string::npos)
        << message;
    EXPECT_NE(message.find("\"ARTICOLI\""), std::string::npos) << message;
  }
  // The statement and its transaction stay usable after a failure.
  insert.Set("ID", Int(8));
  insert.Execute(t);
  Statement count(db_, t, "SELECT COUNT(*) FROM ARTICOLI WHERE ID IN (7, 8)");
  count.Execute(t);
  EXPECT_EQ(count.Field(0), Int(2));
}

TEST_F(StatementTest, TextIsSentUntouchedWithoutNamedParameters) {
  Transaction t(db_, TransactionOptions::ServerDefaults());
  Statement literal(db_, t, "SELECT ':ID' FROM RDB$DATABASE", ParamMode::kNone);
  literal.Execute(t);
  EXPECT_EQ(literal.Field(0), Text(":ID"));
  try {
    Statement named(db_, t, "SELECT ID FROM ARTICOLI WHERE ID = :ID", ParamMode::kNone);
    ADD_FAILURE() << "the engine took a named marker";
  } catch (const DatabaseError& e) {
    // The engine does not know the marker: it reads ":ID" as a column.
    EXPECT_NE(std::string(e.what()).find("ID"), std::string::npos) << e.what();
  }
}

TEST_F(StatementTest, PreparedOnceAndExecutedWithSeveralParameterSets) {
  Transaction t(db_, TransactionOptions::ServerDefaults());
  Statement insert(db_, t,
                   "INSERT INTO ARTICOLI (ID, CODICE, PREZZO) VALUES (:ID, :CODICE, :PREZZO)");
  const std::vector<std::tuple<int, Value, Value>> rows = {
      {1, Text("A1"), Scaled{100, -2}},
      {2, Null{}, 2.5},
      {3, Text(kEuro), Null{}},
  };
  for (const auto& [id, codice, prezzo] : rows) {
    insert.Set("ID", Int(id));
    insert.Set("CODICE", codice);
    insert.Set("PREZZO", prezzo);
    insert.Execute(t);
  }
  // Parameters stay bound between executions.
  insert.Set("ID", Int(4));
  insert.Execute(t);

  Statement select(db_, t, "SELECT CODICE, PREZZO FROM ARTICOLI WHERE ID = :ID");
  const std::vector<std::tuple<int, Value, Value>> expected = {
      {1, Text("A1"), Scaled{10000, -4}},
      {2, Null{}, Scaled{25000, -4}},
      {3, Text(kEuro), Null{}},
      {4, Text(kEuro), Null{}},
  };
  for (const auto& [id, codice, prezzo] : expected) {
    SCOPED_TRACE(id);
    select.Set("ID", Int(id));
    select.Execute(t);
    ASSERT_TRUE(select.HasRow());
    EXPECT_EQ(select.Field("CODICE"), codice);
    EXPECT_EQ(select.Field("PREZZO"), prezzo);
    EXPECT_FALSE(select.Next());
  }

  Statement update(db_, t, "UPDATE ARTICOLI SET QTA = :Q WHERE ID > :MIN");
  update.Set("Q", Int(9));
  update.Set("MIN", Int(1));
  update.Execute(t);
  Statement quantities(db_, t,
                       "SELECT LIST(X) FROM (SELECT ID || '=' || COALESCE(QTA, 0) X "
                       "FROM ARTICOLI ORDER BY ID)");
  quantities.Execute(t);
  EXPECT_EQ(quantities.Field(0), Text("1=0,2=9,3=9,4=9"));
  update.Set("Q", Int(7));
  update.Set("MIN", Int(100));
  update.Execute(t);
  quantities.Execute(t);
  EXPECT_EQ(quantities.Field(0), Text("1=0,2=9,3=9,4=9"));
}

TEST_F(StatementTest, ReExecutingRestartsTheCursorWhileOthersStayOpen) {
  Exec({"INSERT INTO ARTICOLI (ID) VALUES (1)", "INSERT INTO ARTICOLI (ID) VALUES (2)",
        "INSERT INTO ARTICOLI (ID) VALUES (3)"});
  Transaction t(db_, TransactionOptions::ServerDefaults());
  Statement outer(db_, t, "SELECT ID FROM ARTICOLI ORDER BY ID");
  Statement inner(db_, t, "SELECT COUNT(*) FROM ARTICOLI WHERE ID <= :ID");
  std::vector<Value> counts;
  for (outer.Execute(t); outer.HasRow(); outer.Next()) {
    inner.Set("ID", outer.Field(0));
    inner.Execute(t);
    counts.push_back(inner.Field(0));
  }
  EXPECT_EQ(counts, (std::vector<Value>{Int(1), Int(2), Int(3)}));

  outer.Execute(t);
  outer.Next();
  EXPECT_EQ(outer.Field(0), Int(2));
  outer.Execute(t);  // the open cursor is closed and the query starts over
  EXPECT_EQ(outer.Field(0), Int(1));
  outer.Close();
  EXPECT_FALSE(outer.HasRow());
  EXPECT_FALSE(outer.Next());
}

TEST_F(StatementTest, ReturningAndProcedureOutputsFormOneRow) {
  Exec(
      {"CREATE PROCEDURE RADDOPPIA (X INTEGER) RETURNS (Y INTEGER, T VARCHAR(10)) AS "
       "BEGIN Y = X * 2; T = 'ok'; END"});
  Transaction t(db_, TransactionOptions::ServerDefaults());
  Statement proc(db_, t, "EXECUTE PROCEDURE RADDOPPIA(:X)");
  proc.Set("X", Int(21));
  proc.Execute(t);
  ASSERT_TRUE(proc.HasRow());
  EXPECT_EQ(proc.Field("Y"), Int(42));
  EXPECT_EQ(proc.Field("T"), Text("ok"));
  EXPECT_FALSE(proc.Next());

  Statement insert(db_, t, "INSERT INTO ARTICOLI (ID, CODICE) VALUES (5, :C) RETURNING ID, CODICE");
  insert.Set("C", Text(kEuro));
  insert.Execute(t);
  ASSERT_TRUE(insert.HasRow());
  EXPECT_EQ(insert.Field(0), Int(5));
  EXPECT_EQ(insert.Field(1), Text(kEuro));
}

TEST_F(StatementTest, StreamsManyRowsOneAtATime) {
  constexpr int kRows = 20000;
  Exec(
      {"EXECUTE BLOCK AS DECLARE I INTEGER = 1; BEGIN "
       "WHILE (I <= " +
       std::to_string(kRows) +
       ") DO BEGIN "
       "INSERT INTO ARTICOLI (ID, CODICE, NOTE) VALUES (:I, 'C' || :I, 'nota ' || :I); "
       "I = I + 1; END END"});
  Transaction t(db_, TransactionOptions::ServerDefaults());
  Statement s(db_, t, "SELECT ID, CODICE, NOTE FROM ARTICOLI ORDER BY ID");
  int count = 0;
  std::int64_t sum = 0;
  bool in_order = true;
  for (s.Execute(t); s.HasRow(); s.Next()) {
    ++count;
    const auto id = std::get<Scaled>(s.Field(0)).value;
    in_order = in_order && id == count;
    sum += id;
    if (count == kRows) {
      EXPECT_EQ(s.Field(1), Text("C" + std::to_string(kRows)));
      EXPECT_EQ(s.Field(2), Text("nota " + std::to_string(kRows)));
    }
  }
  EXPECT_EQ(count, kRows);
  EXPECT_TRUE(in_order);
  EXPECT_EQ(sum, static_cast<std::int64_t>(kRows) * (kRows + 1) / 2);
  EXPECT_FALSE(s.Next());
}

TEST_F(StatementTest, StatementMoves) {
  Exec({"INSERT INTO ARTICOLI (ID) VALUES (1)"});
  Transaction t(db_, TransactionOptions::ServerDefaults());
  Statement a(db_, t, "SELECT ID FROM ARTICOLI");
  a.Execute(t);
  Statement b = std::move(a);
  EXPECT_TRUE(b.HasRow());
  EXPECT_EQ(b.Field(0), Int(1));
  Statement c(db_, t, "SELECT 2 FROM RDB$DATABASE");
  c = std::move(b);
  EXPECT_EQ(c.Field(0), Int(1));
  EXPECT_FALSE(a.HasRow());  // NOLINT(bugprone-use-after-move): moved-from is empty
  EXPECT_THROW(a.Execute(t), ProgrammingError);
}

}  // namespace
}  // namespace et::fb::test
