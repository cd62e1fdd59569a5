#include "dbconfig/transactions.h"

#include <gtest/gtest.h>

#include "fb/statement.h"
#include "fixture/fixture.h"
#include "platform/error.h"
#include "support/temp_dir.h"

namespace et {
namespace {

TEST(ImpostaParametriTransazione, LinesInAscendingCodeOrder) {
  struct Case {
    TransactionCodeSet set;
    std::vector<std::string> lines;
  } cases[] = {
      {0, {}},
      {kSetSnapshot, {"isc_tpb_concurrency", "isc_tpb_nowait"}},
      {kSetReadCommitted, {"isc_tpb_read_committed", "isc_tpb_rec_version"}},
      {CodeBit(7) | CodeBit(2), {"isc_tpb_concurrency", "isc_tpb_nowait"}},
      // Bit 0 and bits above 20 stand for no parameter.
      {CodeBit(0) | CodeBit(21) | CodeBit(31), {}},
      {CodeBit(1) | CodeBit(20), {"isc_tpb_consistency", "isc_tpb_no_auto_undo"}},
  };
  for (const auto& c : cases) {
    TransactionParams params;
    ImpostaParametriTransazione(params, c.set);
    EXPECT_EQ(params.lines, c.lines) << "set " << c.set;
  }
  EXPECT_EQ(kSetSnapshot, 132u);
  EXPECT_EQ(kSetReadCommitted, 163840u);
}

TEST(ImpostaParametriTransazione, AppendsToWhatIsThere) {
  TransactionParams params{{"isc_tpb_read"}};
  ImpostaParametriTransazione(params, CodeBit(9));
  EXPECT_EQ(params.lines, (std::vector<std::string>{"isc_tpb_read", "isc_tpb_write"}));
}

class TransactionsOnADatabase : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = temp_.File("t.fdb");
    test::CreateUserDatabase(path_);
    attachment_ = fb::Attachment::Attach(path_, "SYSDBA", "velutrina");
  }
  // Isolation mode and lock timeout of the transaction, as the engine sees it.
  std::pair<std::string, std::string> Seen(fb::Transaction& t) {
    fb::Statement s(t,
                    "SELECT MON$ISOLATION_MODE, MON$LOCK_TIMEOUT FROM MON$TRANSACTIONS "
                    "WHERE MON$TRANSACTION_ID = CURRENT_TRANSACTION");
    s.Execute();
    EXPECT_TRUE(s.HasRow());
    return {test::FixtureText(s.Field(0)), test::FixtureText(s.Field(1))};
  }
  test::TempDir temp_;
  std::string path_;
  fb::Attachment attachment_;
};

TEST_F(TransactionsOnADatabase, KindsOfTransaction) {
  fb::Transaction snapshot = CreaTransazioneSnapshot(attachment_);
  EXPECT_EQ(Seen(snapshot), (std::pair<std::string, std::string>{"1", "0"}));  // concurrency, no wait
  fb::Transaction read_committed = CreaTransazioneReadCommitted(attachment_);
  EXPECT_EQ(Seen(read_committed).first, "2");  // read committed, record version
  fb::Transaction defaults = CreaTransazione(attachment_, 0);
  EXPECT_EQ(Seen(defaults), (std::pair<std::string, std::string>{"1", "-1"}));  // snapshot, wait
}

TEST_F(TransactionsOnADatabase, NotAttachedRaises) {
  fb::Attachment none;
  EXPECT_THROW(CreaTransazione(none, 0), Error);
}

TEST_F(TransactionsOnADatabase, EsisteTabella) {
  EXPECT_TRUE(EsisteTabella(attachment_, "UTENTI"));
  EXPECT_FALSE(EsisteTabella(attachment_, "utenti"));  // stored in capitals
  EXPECT_FALSE(EsisteTabella(attachment_, "TABX"));
  EXPECT_FALSE(EsisteTabella(attachment_, "X' OR '1'='1"));
}

TEST(EsisteTabellaNew, FalseOnANewEmptyDatabase) {
  test::TempDir temp;
  fb::Attachment a = fb::Attachment::ExecuteCreateDatabase(
      "CREATE DATABASE '" + temp.File("e.fdb") + "' USER \"SYSDBA\" PASSWORD \"velutrina\" ");
  EXPECT_FALSE(EsisteTabella(a, "UTENTI"));
}

}  // namespace
}  // namespace et
