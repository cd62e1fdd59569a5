// The bytes an export file gets for a column, against a table with a column
// of every kind the system reads.
#include "exports/field_bytes.h"

#include <gtest/gtest.h>

#include <string>

#include "fb/fb_test_db.h"
#include "fb/transaction.h"
#include "platform/codepage.h"
#include "platform/error.h"

namespace et {
namespace {

using fb::Statement;
using fb::Transaction;
using fb::TransactionOptions;

const std::string kEuro = "\xE2\x82\xAC";                 // €
const std::string kAccents = "\xC3\xA0\xC3\xA8\xC3\xB2";  // àèò

class FieldBytesTest : public fb::test::DatabaseTest {
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
         "  NOME_UTF8 VARCHAR(20) CHARACTER SET UTF8,"
         "  LUNGO VARCHAR(300))"});
  }
};

// The bytes are those of the value's text form: for every kind of column,
// NULLs, every byte value in single-byte texts (trailing blanks of CHAR kept)
// and Unicode texts, under a decimal comma and a decimal point.
TEST_F(FieldBytesTest, AreTheBytesOfTheValueText) {
  std::string all_bytes;
  for (int b = 1; b < 256; ++b) all_bytes += static_cast<char>(b);
  Exec(
      {"INSERT INTO ARTICOLI (ID, CODICE, SIGLA, QTA, GRANDE, PREZZO, SCONTO, PESO, GIORNO, "
       "ORA, MOMENTO, ATTIVO, NOTE, NOME_UTF8) VALUES (1, 'A;B', 'AB', -7, "
       "-9223372036854775808, 12.5000, -0.05, 0.1, '2024-02-29', "
       "'13:45:30', '2024-02-29 13:45:30', TRUE, 'nota', 'x')",
       "INSERT INTO ARTICOLI (ID, PREZZO, SCONTO) VALUES (2, 0, 100)",
       "INSERT INTO ARTICOLI (ID) VALUES (3)"});
  {
    Transaction t(db_, TransactionOptions::ServerDefaults());
    Statement update(db_, t, "UPDATE ARTICOLI SET LUNGO = :B, NOME_UTF8 = :U WHERE ID = 2");
    update.Set("B", fb::Text(Cp1252ToUtf8(all_bytes)));
    update.Set("U", fb::Text(kEuro + kAccents));
    update.Execute(t);
    t.Commit();
  }
  Transaction t(db_, TransactionOptions::ServerDefaults());
  Statement s(db_, t,
              "SELECT ID, CODICE, SIGLA, QTA, GRANDE, PREZZO, SCONTO, PESO, GIORNO, ORA, MOMENTO, "
              "ATTIVO, NOTE, NOME_UTF8, LUNGO, PREZZO * 1000 AS MILLE FROM ARTICOLI ORDER BY ID");
  RegionalSettings high_separator;
  high_separator.decimal_separator = '\xB7';  // outside ASCII: the way of the value
  int rows = 0;
  for (s.Execute(t); s.HasRow(); s.Next(), ++rows) {
    for (std::size_t i = 0; i < s.ColumnCount(); ++i) {
      for (const RegionalSettings& rs :
           {RegionalSettings::Italian(), RegionalSettings{}, high_separator}) {
        SCOPED_TRACE(s.ColumnName(i) + " of row " + std::to_string(rows + 1));
        std::string out = "1;";
        AppendFieldBytes(s, i, rs, out);
        EXPECT_EQ(out, "1;" + Utf8ToCp1252(fb::ValueToText(s.Field(i), rs)));
      }
    }
  }
  EXPECT_EQ(rows, 3);
  s.Execute(t);
  std::string out;
  AppendFieldBytes(s, s.ColumnIndex("sigla"), RegionalSettings{}, out);
  EXPECT_EQ(out, "AB    ");
  s.Next();
  out.clear();
  AppendFieldBytes(s, s.ColumnIndex("LUNGO"), RegionalSettings{}, out);
  EXPECT_EQ(out, all_bytes);
  out.clear();
  AppendFieldBytes(s, s.ColumnIndex("NOME_UTF8"), RegionalSettings{}, out);
  EXPECT_EQ(out, "\x80\xE0\xE8\xF2");
}

TEST_F(FieldBytesTest, AFieldOutOfRangeOrWithoutARowIsAProgrammingError) {
  Exec({"INSERT INTO ARTICOLI (ID) VALUES (1)"});
  Transaction t(db_, TransactionOptions::ServerDefaults());
  Statement s(db_, t, "SELECT ID FROM ARTICOLI");
  std::string out;
  EXPECT_THROW(AppendFieldBytes(s, 0, RegionalSettings{}, out), ProgrammingError);  // no row yet
  s.Execute(t);
  EXPECT_THROW(AppendFieldBytes(s, 1, RegionalSettings{}, out), ProgrammingError);
  EXPECT_FALSE(s.Next());
  EXPECT_THROW(AppendFieldBytes(s, 0, RegionalSettings{}, out), ProgrammingError);
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace et
