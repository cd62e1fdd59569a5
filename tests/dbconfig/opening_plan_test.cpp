// The names a database is looked for under, worked out without a connection.
#include "dbconfig/opening_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace et {
namespace {

constexpr const char* kFailed = "Apertura / creazione del database non riuscita!";
constexpr const char* kNetworkError =
    "Errore: nonostante le configurazioni, il particolare percorso di rete sta rendendo "
    "impossibile l'attivazione del database";

struct PlanCase {
  std::string name;
  std::string directory;
  std::string file_name;
  DatabaseLocation location;
  OpeningPlan plan;
};

class Plans : public ::testing::TestWithParam<PlanCase> {};

TEST_P(Plans, NamesInTheOrderTheyAreTried) {
  const PlanCase& c = GetParam();
  EXPECT_EQ(PlanOpening(c.directory, c.file_name, c.location), c.plan);
}

INSTANTIATE_TEST_SUITE_P(
    PlanOpening, Plans,
    ::testing::Values(
        PlanCase{"LocalDirectoryThenTheServerAsked",
                 "/dati/",
                 "ditta.fdb",
                 {},
                 {{"/dati/ditta.fdb"}, true, "/dati/ditta.fdb", kFailed, "/dati/ditta.fdb"}},
        PlanCase{
            "EmptyFileNameMeansArchivio",
            "/dati/",
            "",
            {},
            {{"/dati/archivio.fdb"}, true, "/dati/archivio.fdb", kFailed, "/dati/archivio.fdb"}},
        PlanCase{"KnownServerWithItsDrive",
                 "C:\\Dati\\",
                 "a.fdb",
                 {.server = "SRV", .drive_letter = "E"},
                 {{"C:\\Dati\\a.fdb", "SRV:E:\\Dati\\a.fdb"}, false, "", "", "C:\\Dati\\a.fdb"}},
        PlanCase{"AliasFirst",
                 "/dati/",
                 "a.fdb",
                 {.server = "SRV", .alias = "ditta"},
                 {{"SRV:ditta", "/dati/a.fdb", "SRV:/dati/a.fdb"}, false, "", "", "/dati/a.fdb"}},
        PlanCase{"AnAliasNeedsItsServer",
                 "/dati/",
                 "a.fdb",
                 {.alias = "ditta"},
                 {{"/dati/a.fdb"}, true, "/dati/a.fdb", kFailed, "/dati/a.fdb"}},
        PlanCase{"NamedPipeIsLast",
                 "/dati/",
                 "a.fdb",
                 {.server = "SRV", .alias = "ditta", .database_path = "D:\\Dati"},
                 {{"SRV:ditta", "\\\\SRV\\D:\\Dati\\a.fdb"}, false, "", "", "/dati/a.fdb"}},
        PlanCase{"ShareNamedByADriveLetter",
                 "\\\\SRV\\D\\Dati\\",
                 "a.fdb",
                 {.server = "SRV"},
                 {{"SRV:D:\\Dati\\a.fdb", "SRV:SRV:D:\\Dati\\a.fdb"},
                  false,
                  "",
                  "",
                  "\\\\SRV\\D\\Dati\\a.fdb"}},
        PlanCase{"NamedShareWithItsPathOnTheServer",
                 "\\\\SRV\\ARCHIVI\\Dati\\",
                 "a.fdb",
                 {.path_on_server = "D:\\Archivi\\"},
                 {{"SRV:D:\\Archivi\\a.fdb"},
                  false,
                  "",
                  kNetworkError,
                  "\\\\SRV\\ARCHIVI\\Dati\\a.fdb"}},
        PlanCase{"NamedShareWithoutItsPathTriesNothing",
                 "\\\\SRV\\ARCHIVI\\Dati\\",
                 "a.fdb",
                 {},
                 {{},
                  false,
                  "",
                  "Attenzione: il disco con gli archivi è stato condiviso in rete con un nome - "
                  "ARCHIVI - e non con la lettera che lo identifica. Si consiglia di correggere la "
                  "condivisione oppure di correggere manualmente la sezione Percorso Nel Server "
                  "nel file Dati.ini accanto al database",
                  "\\\\SRV\\ARCHIVI\\Dati\\a.fdb"}}),
    [](const auto& instance) { return instance.param.name; });

}  // namespace
}  // namespace et
