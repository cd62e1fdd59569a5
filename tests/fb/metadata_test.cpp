#include "fb/metadata.h"

#include <gtest/gtest.h>

#include "fb_test_db.h"
#include "platform/error.h"

namespace et::fb::test {
namespace {

class MetadataTest : public DatabaseTest {};

TEST_F(MetadataTest, TableExistsComparesTheStoredName) {
  EXPECT_FALSE(TableExists(db_, "UTENTI"));  // a new, empty database
  Exec({"CREATE TABLE UTENTI (ID INTEGER)", "CREATE TABLE \"Mixed\" (ID INTEGER)"});
  EXPECT_TRUE(TableExists(db_, "UTENTI"));
  EXPECT_FALSE(TableExists(db_, "utenti"));  // unquoted names are stored in capitals
  EXPECT_TRUE(TableExists(db_, "Mixed"));
  EXPECT_FALSE(TableExists(db_, "TABX"));
  // The name is a bound parameter, never statement text.
  EXPECT_FALSE(TableExists(db_, "X' OR '1'='1"));
}

TEST_F(MetadataTest, TableExistsOnADetachedDatabaseRaises) {
  Attachment none;
  EXPECT_THROW(TableExists(none, "UTENTI"), ProgrammingError);
}

}  // namespace
}  // namespace et::fb::test
