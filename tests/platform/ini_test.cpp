#include "platform/ini.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/error.h"
#include "support/temp_dir.h"

namespace et {
namespace {

struct ReadCase {
  const char* name;
  const char* text;
  const char* section;
  const char* key;
  const char* expected;  // read with the default "DEF"
};

TEST(IniTextTest, ReadsByTheWindowsRules) {
  const ReadCase cases[] = {
      {"plain entry", "[query_esterno]\r\nArchivio=/d/a.fdb\r\n", "query_esterno", "Archivio",
       "/d/a.fdb"},
      {"LF CR gives an empty line", "[query_esterno]\n\rArchivio=C:\\Dati\\a.fdb", "query_esterno",
       "Archivio", "C:\\Dati\\a.fdb"},
      {"lone CR ends lines", "[s]\rk=v\rz=w", "s", "z", "w"},
      {"lone LF ends lines", "[s]\nk=v\nz=w\n", "s", "z", "w"},
      {"section name without regard to case", "[QUERY_ESTERNO]\r\nArchivio=x", "query_esterno",
       "Archivio", "x"},
      {"key without regard to case", "[s]\r\narchivio=x", "S", "ARCHIVIO", "x"},
      {"only ASCII letters fold", "[citt\u00E0]\r\nk=x", "CITT\u00E0", "K", "x"},
      {"non-ASCII letters do not fold", "[citt\u00E0]\r\nk=x", "CITT\u00C0", "k", "DEF"},
      {"repeated section ignored", "[s]\r\nk=first\r\n[S]\r\nk=second\r\n", "s", "k", "first"},
      {"lines of a repeated section ignored", "[s]\r\nk=1\r\n[S]\r\nother=2\r\n", "s", "other",
       "DEF"},
      {"section after a repeated one counts", "[s]\r\n[S]\r\nx=1\r\n[t]\r\nx=2", "t", "x", "2"},
      {"first entry of a key counts", "[s]\r\nk=1\r\nK=2\r\n", "s", "k", "1"},
      {"key without '=' reads as default", "[s]\r\nk\r\n", "s", "k", "DEF"},
      {"key without '=' still comes first", "[s]\r\nk\r\nk=2\r\n", "s", "k", "DEF"},
      {"empty value is not the default", "[s]\r\nk=\r\n", "s", "k", ""},
      {"comment line", "[s]\r\n;k=1\r\nk=2\r\n", "s", "k", "2"},
      {"indented comment line", "[s]\r\n   ; k=1\r\nk=2\r\n", "s", "k", "2"},
      {"semicolon inside a value is kept", "[s]\r\nk=a;b\r\n", "s", "k", "a;b"},
      {"blanks around key and value", "[s]\r\n   k  =  v w  \r\n", "s", "k", "v w"},
      {"tabs and control characters trimmed", "\t[ s ]\x01\r\n\tk\t=\tv\t\x1F", "s", "k", "v"},
      {"key with inner blanks", "[CONFIG]\r\nNome Server = PC1\r\n", "config", "nome server",
       "PC1"},
      {"value keeps later '='", "[s]\r\nk=a=b\r\n", "s", "k", "a=b"},
      {"value keeps its quotes", "[s]\r\nk=\"a b\"\r\n", "s", "k", "\"a b\""},
      {"lines before the first section ignored", "k=1\r\n[s]\r\nx=2\r\n", "s", "k", "DEF"},
      {"empty and blank lines inside a section", "[s]\r\n\r\n  \r\n\n\rk=v", "s", "k", "v"},
      {"unclosed header is an entry", "[s]\r\n[t\r\nk=v", "s", "k", "v"},
      {"unclosed header is not a section", "[s]\r\n[t\r\nk=v", "t", "k", "DEF"},
      {"header text trimmed inside brackets", "[  s  ]\r\nk=v", "s", "k", "v"},
      {"missing section", "[s]\r\nk=v", "t", "k", "DEF"},
      {"missing key", "[s]\r\nk=v", "s", "x", "DEF"},
      {"key of another section", "[s]\r\nk=v\r\n[t]\r\nx=1", "t", "k", "DEF"},
      {"empty text", "", "s", "k", "DEF"},
  };
  for (const ReadCase& c : cases) {
    EXPECT_EQ(IniText::Parse(c.text).Read(c.section, c.key, "DEF"), c.expected) << c.name;
  }
}

TEST(IniTextTest, DefaultArgumentIsEmpty) {
  EXPECT_EQ(IniText::Parse("[s]\r\nk=v").Read("s", "x"), "");
}

TEST(IniTextTest, SectionNamesInOrderOfFirstAppearanceAsFirstSpelled) {
  const IniText ini = IniText::Parse(
      "x=0\r\n[Uno]\r\na=1\r\n[Due <INATTIVA>]\r\n[UNO]\r\n[tre]\r\n; [quattro]\r\n");
  EXPECT_EQ(ini.SectionNames(), (std::vector<std::string>{"Uno", "Due <INATTIVA>", "tre"}));
}

TEST(IniTextTest, WrittenFormDropsWhatTheReaderIgnores) {
  const IniText ini = IniText::Parse(
      "before=1\r\n"
      "; comment\r\n"
      "[query_esterno]\n\r"
      "  Archivio = C:\\a.fdb  \r\n"
      "\r\n"
      "; another comment\r\n"
      "flag\r\n"
      "empty=\r\n"
      "[Query_Esterno]\r\n"
      "Archivio=ignored\r\n"
      "[Altra]\r"
      "k=v");
  EXPECT_EQ(ini.Serialize(),
            "[query_esterno]\r\n"
            "Archivio=C:\\a.fdb\r\n"
            "flag\r\n"
            "empty=\r\n"
            "\r\n"
            "[Altra]\r\n"
            "k=v\r\n"
            "\r\n");
}

TEST(IniTextTest, WrittenFormOfAnEmptyTextIsEmpty) { EXPECT_EQ(IniText().Serialize(), ""); }

TEST(IniTextTest, WriteSetsTheFirstEntryAndKeepsItsSpelling) {
  IniText ini = IniText::Parse("[query_esterno]\n\rARCHIVIO=old\r\narchivio=second\r\n");
  ini.Write("QUERY_ESTERNO", "Archivio", "new");
  EXPECT_EQ(ini.Serialize(), "[query_esterno]\r\nARCHIVIO=new\r\narchivio=second\r\n\r\n");
  EXPECT_EQ(ini.Read("query_esterno", "archivio"), "new");
}

TEST(IniTextTest, WriteGivesAValueToAKeyWithoutOne) {
  IniText ini = IniText::Parse("[s]\r\nflag\r\n");
  ini.Write("s", "FLAG", "1");
  EXPECT_EQ(ini.Serialize(), "[s]\r\nflag=1\r\n\r\n");
}

TEST(IniTextTest, WriteAppendsANewKeyAtTheEndOfItsSection) {
  IniText ini = IniText::Parse("[a]\r\nx=1\r\n[b]\r\ny=2\r\n");
  ini.Write("A", "z", "3");
  EXPECT_EQ(ini.Serialize(), "[a]\r\nx=1\r\nz=3\r\n\r\n[b]\r\ny=2\r\n\r\n");
}

TEST(IniTextTest, WriteAppendsAMissingSectionAtTheEnd) {
  IniText ini = IniText::Parse("[a]\r\nx=1\r\n");
  ini.Write("nuova", "k", "");
  EXPECT_EQ(ini.Serialize(), "[a]\r\nx=1\r\n\r\n[nuova]\r\nk=\r\n\r\n");

  IniText empty;
  empty.Write("s", "k", "v");
  EXPECT_EQ(empty.Serialize(), "[s]\r\nk=v\r\n\r\n");
}

TEST(IniTextTest, WrittenFormReadsBackTheSame) {
  const IniText ini = IniText::Parse("[s]\n\rk = v\r\nflag\r\n[t]\rx=y=z");
  const IniText again = IniText::Parse(ini.Serialize());
  EXPECT_EQ(again.Serialize(), ini.Serialize());
  EXPECT_EQ(again.Read("s", "k"), "v");
  EXPECT_EQ(again.Read("t", "x"), "y=z");
  EXPECT_EQ(again.Read("s", "flag", "D"), "D");
}

class IniFileTest : public testing::Test {
 protected:
  test::TempDir tmp_;
};

TEST_F(IniFileTest, MissingFileReadsAsEmpty) {
  const IniFile ini(tmp_.File("dati.ini"));
  EXPECT_EQ(ini.Read("CONFIG", "Nome Server", "DEF"), "DEF");
  const IniFile in_missing_dir(tmp_.File("nowhere/dati.ini"));
  EXPECT_EQ(in_missing_dir.Read("CONFIG", "Nome Server", "DEF"), "DEF");
}

TEST_F(IniFileTest, ReadsUtf8TextWithOrWithoutByteOrderMark) {
  test::WriteFile(tmp_.File("a.ini"), "[CONFIG]\r\nDitta=Caff\u00E8\r\n");
  test::WriteFile(tmp_.File("b.ini"), "\xEF\xBB\xBF[CONFIG]\r\nDitta=Caff\u00E8\r\n");
  EXPECT_EQ(IniFile(tmp_.File("a.ini")).Read("config", "ditta"), "Caff\u00E8");
  EXPECT_EQ(IniFile(tmp_.File("b.ini")).Read("config", "ditta"), "Caff\u00E8");
}

TEST_F(IniFileTest, ReadSeesTheFileAsItIsNow) {
  const IniFile ini(tmp_.File("dati.ini"));
  test::WriteFile(ini.Path(), "[CONFIG]\r\nAlias=uno\r\n");
  EXPECT_EQ(ini.Read("CONFIG", "Alias"), "uno");
  test::WriteFile(ini.Path(), "[CONFIG]\r\nAlias=due\r\n");
  EXPECT_EQ(ini.Read("CONFIG", "Alias"), "due");
}

struct WriteCase {
  const char* name;
  const char* before;  // nullptr: no file
  const char* key;
  const char* value;
  const char* after;
};

TEST_F(IniFileTest, WriteChangesOneKeyAndKeepsEveryOtherLine) {
  const WriteCase cases[] = {
      {"missing file is created", nullptr, "Nome Server", "PC1", "[CONFIG]\r\nNome Server=PC1\r\n"},
      {"empty file", "", "Nome Server", "PC1", "[CONFIG]\r\nNome Server=PC1\r\n"},
      {"existing key replaced in place, spelling kept",
       "; intro\r\n[config]\r\n; note\r\n  nome server = OLD \r\nAlias=a\r\n\r\n[Altro]\r\nx=1\r\n",
       "Nome Server", "PC1",
       "; intro\r\n[config]\r\n; note\r\nnome server=PC1\r\nAlias=a\r\n\r\n[Altro]\r\nx=1\r\n"},
      {"new key after the section's last entry",
       "[CONFIG]\r\nAlias=a\r\n; trailing comment\r\n\r\n[Altro]\r\nx=1\r\n",
       "Lettera Disco Server", "D",
       "[CONFIG]\r\nAlias=a\r\nLettera Disco Server=D\r\n; trailing "
       "comment\r\n\r\n[Altro]\r\nx=1\r\n"},
      {"new key under a header alone at the end", "[CONFIG]", "Nome Server", "PC1",
       "[CONFIG]\r\nNome Server=PC1\r\n"},
      {"new section after text without final line end", "[Altro]\r\nx=1", "Nome Server", "PC1",
       "[Altro]\r\nx=1\r\n\r\n[CONFIG]\r\nNome Server=PC1\r\n"},
      {"new section after a final empty line", "[Altro]\r\nx=1\r\n\r\n", "Nome Server", "PC1",
       "[Altro]\r\nx=1\r\n\r\n[CONFIG]\r\nNome Server=PC1\r\n"},
      {"line ends of the file are kept", "[Altro]\nx=1\n", "Nome Server", "PC1",
       "[Altro]\nx=1\n\n[CONFIG]\nNome Server=PC1\n"},
      {"repeated section is not the one written",
       "[CONFIG]\r\nA=1\r\n[config]\r\nNome Server=old\r\n", "Nome Server", "PC1",
       "[CONFIG]\r\nA=1\r\nNome Server=PC1\r\n[config]\r\nNome Server=old\r\n"},
      {"key before the first section does not count", "Nome Server=x\r\n[CONFIG]\r\n",
       "Nome Server", "PC1", "Nome Server=x\r\n[CONFIG]\r\nNome Server=PC1\r\n"},
      {"key without '=' gets the value", "[CONFIG]\r\nNome Server\r\n", "Nome Server", "PC1",
       "[CONFIG]\r\nNome Server=PC1\r\n"},
      {"empty value", "[CONFIG]\r\nNome Server=PC1\r\n", "Nome Server", "",
       "[CONFIG]\r\nNome Server=\r\n"},
      {"byte-order mark kept", "\xEF\xBB\xBF[CONFIG]\r\nNome Server=x\r\n", "Nome Server", "PC1",
       "\xEF\xBB\xBF[CONFIG]\r\nNome Server=PC1\r\n"},
      {"UTF-8 value", "[CONFIG]\r\n", "Alias", "citt\u00E0", "[CONFIG]\r\nAlias=citt\u00E0\r\n"},
  };
  int n = 0;
  for (const WriteCase& c : cases) {
    const std::string path = tmp_.File("case" + std::to_string(n++) + ".ini");
    if (c.before) test::WriteFile(path, c.before);
    const IniFile ini(path);
    ini.Write("CONFIG", c.key, c.value);
    EXPECT_EQ(test::ReadFile(path), c.after) << c.name;
    EXPECT_EQ(ini.Read("CONFIG", c.key, "DEF"), c.value) << c.name;
  }
}

TEST_F(IniFileTest, SecondWriteOfAnotherKeyKeepsTheFirst) {
  const IniFile ini(tmp_.File("dati.ini"));
  ini.Write("CONFIG", "Nome Server", "PC1");
  ini.Write("CONFIG", "Lettera Disco Server", "D");
  EXPECT_EQ(test::ReadFile(ini.Path()),
            "[CONFIG]\r\nNome Server=PC1\r\nLettera Disco Server=D\r\n");
}

TEST_F(IniFileTest, WriteFailureRaisesIoErrorWithThePlatformDescription) {
  const std::string path = tmp_.File("missing-dir/dati.ini");
  const IniFile ini(path);
  try {
    ini.Write("CONFIG", "Nome Server", "PC1");
    FAIL() << "no error raised";
  } catch (const IoError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find(path), std::string::npos) << message;
    EXPECT_NE(message.find(std::strerror(ENOENT)), std::string::npos) << message;
  }
}

}  // namespace
}  // namespace et
