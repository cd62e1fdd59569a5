// The guard against publishing a collapsed file: when it holds a file back,
// when it lets it through, and the counts it keeps in the export directory.
#include "publish/publication_guard.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/temp_dir.h"

namespace et {
namespace {

TEST(CollapseReason, OnlyADropBeyondTheLimitHoldsAFileBack) {
  const struct {
    long long previous;
    long long current;
    int max_drop;
    bool held;
  } cases[] = {
      {60000, 40, 10, true},     {60000, 54000, 10, false}, {60000, 53999, 10, true},
      {60000, 60000, 10, false}, {100, 200, 10, false},     {1, 0, 99, true},
      {1, 0, 100, false},        {60000, 0, 100, false},    {60000, 0, 0, false},
      {0, 0, 1, false},          {3, 2, 33, true},          {3, 2, 34, false},
  };
  for (const auto& c : cases) {
    const auto reason = CollapseReason("ESTRAZQ.CSV", c.previous, c.current, c.max_drop);
    EXPECT_EQ(reason.has_value(), c.held)
        << c.previous << " -> " << c.current << " limit " << c.max_drop;
  }
  EXPECT_EQ(*CollapseReason("ESTRAZQ.CSV", 60000, 40, 10),
            "File ESTRAZQ.CSV non pubblicato: 40 righe di dati contro 60000 dell'ultimo "
            "caricamento riuscito (calo oltre il 10%)");
}

TEST(PublicationGuard, ComparesWithTheLastSuccessfulUploadOfTheSameRunKind) {
  test::TempDir dir;
  PublicationGuard stock(dir.Path(), "giacenze", 10, false);
  // A first run has nothing to compare with.
  EXPECT_TRUE(stock.Check("ESTRAZQ.CSV", 40).publish);
  stock.RecordUpload("ESTRAZQ.CSV", 60000);

  const GuardVerdict collapsed = stock.Check("ESTRAZQ.CSV", 40);
  EXPECT_FALSE(collapsed.publish);
  EXPECT_NE(collapsed.reason.find("40 righe di dati contro 60000"), std::string::npos);
  const GuardVerdict within = stock.Check("ESTRAZQ.CSV", 55000);
  EXPECT_TRUE(within.publish);
  EXPECT_TRUE(within.reason.empty());

  // Another run kind, another file name, and a new guard over the same
  // directory (the next run) each see only their own counts.
  PublicationGuard prices(dir.Path(), "listini", 10, false);
  EXPECT_TRUE(prices.Check("ESTRAZQ.CSV", 40).publish);
  EXPECT_TRUE(PublicationGuard(dir.Path(), "giacenze", 10, false).Check("altro.csv", 0).publish);
  EXPECT_FALSE(
      PublicationGuard(dir.Path(), "giacenze", 10, false).Check("ESTRAZQ.CSV", 40).publish);

  // A held-back file leaves the count of the last upload in place; an
  // upload that goes through replaces it.
  stock.RecordUpload("ESTRAZQ.CSV", 50);
  EXPECT_TRUE(stock.Check("ESTRAZQ.CSV", 46).publish);
  prices.RecordUpload("listini.csv", 10);
  EXPECT_TRUE(stock.Check("ESTRAZQ.CSV", 46).publish);
}

TEST(PublicationGuard, TheOverridePublishesAndSaysWhatItLetThrough) {
  test::TempDir dir;
  PublicationGuard(dir.Path(), "giacenze", 10, false).RecordUpload("ESTRAZQ.CSV", 60000);
  const GuardVerdict verdict =
      PublicationGuard(dir.Path(), "giacenze", 10, true).Check("ESTRAZQ.CSV", 40);
  EXPECT_TRUE(verdict.publish);
  EXPECT_NE(verdict.reason.find("40 righe di dati contro 60000"), std::string::npos);
}

TEST(PublicationGuard, WithoutALimitNothingIsHeldButTheCountsAreKept) {
  test::TempDir dir;
  PublicationGuard off(dir.Path(), "giacenze", 0, false);
  off.RecordUpload("ESTRAZQ.CSV", 60000);
  EXPECT_TRUE(off.Check("ESTRAZQ.CSV", 0).publish);
  EXPECT_FALSE(PublicationGuard(dir.Path(), "giacenze", 50, false).Check("ESTRAZQ.CSV", 0).publish);
}

TEST(PublicationGuard, DamagedCountsAreNoCountsAndAreWrittenAnew) {
  for (const char* damaged :
       {"", "{", "[1,2]", "{\"giacenze\": 3}", "{\"giacenze\": {\"ESTRAZQ.CSV\": \"tanti\"}}"}) {
    SCOPED_TRACE(damaged);
    test::TempDir dir;
    test::WriteFile(dir.File(kPublishedLinesFileName), damaged);
    PublicationGuard guard(dir.Path(), "giacenze", 10, false);
    EXPECT_TRUE(guard.Check("ESTRAZQ.CSV", 1).publish);
    guard.RecordUpload("ESTRAZQ.CSV", 100);
    EXPECT_FALSE(guard.Check("ESTRAZQ.CSV", 1).publish);
  }
}

TEST(PublishAnywayRequested, OnlyTheValueOne) {
  const struct {
    const char* value;
    bool requested;
  } cases[] = {{nullptr, false}, {"", false},   {"0", false},
               {"1", true},      {"si", false}, {" 1", false}};
  for (const auto& c : cases) {
    if (c.value) {
      ::setenv(kPublishAnywayVariable, c.value, 1);
    } else {
      ::unsetenv(kPublishAnywayVariable);
    }
    EXPECT_EQ(PublishAnywayRequested(), c.requested) << (c.value ? c.value : "(unset)");
  }
  ::unsetenv(kPublishAnywayVariable);
}

}  // namespace
}  // namespace et
