// The status vector shared by the calls of this layer. Every interface call
// clears the status it is given, so a failure must be raised before the
// status goes to the next call.
#include <firebird/Interface.h>
#include <gtest/gtest.h>

#include <string>

#include "fb/client.h"
#include "fb/error.h"
#include "support/temp_dir.h"

namespace et::fb::test {
namespace {

using detail::Owned;
using detail::Status;

// Makes a call that fails: attaching a file that does not exist.
Owned<Firebird::IAttachment> AttachMissing(Status& status, const std::string& path) {
  Owned<Firebird::IProvider> provider(detail::Master()->getDispatcher());
  return Owned<Firebird::IAttachment>(
      provider->attachDatabase(status.get(), path.c_str(), 0, nullptr));
}

TEST(StatusTest, AFailureIsRaisedBeforeTheNextCallCanClearIt) {
  et::test::TempDir dir;
  const std::string missing = dir.File("missing.fdb");
  Status status;
  Owned<Firebird::IAttachment> none = AttachMissing(status, missing);
  ASSERT_TRUE(status.Failed());
  EXPECT_FALSE(none);
  // A second call on the same status would clear the first failure; handing
  // the status to it raises that failure instead, and the call is not made.
  Firebird::IXpbBuilder* builder = nullptr;
  try {
    builder = detail::Util()->getXpbBuilder(status.get(), Firebird::IXpbBuilder::DPB, nullptr, 0);
    ADD_FAILURE() << "the earlier failure was lost";
  } catch (const DatabaseError& e) {
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos) << e.what();
    EXPECT_NE(e.Code(), 0);
  }
  EXPECT_EQ(builder, nullptr);
  EXPECT_TRUE(status.Failed());  // still there for Check
  EXPECT_THROW(status.Check(), DatabaseError);

  // A failure looked at and cleared on purpose lets the status go on.
  status.Clear();
  Owned<Firebird::IXpbBuilder> dpb(
      detail::Util()->getXpbBuilder(status.get(), Firebird::IXpbBuilder::DPB, nullptr, 0));
  EXPECT_FALSE(status.Failed());
  EXPECT_TRUE(dpb);
}

TEST(StatusTest, CheckedPassesTheResultOnOrRaises) {
  Status status;
  Owned<Firebird::IXpbBuilder> dpb(
      detail::Util()->getXpbBuilder(status.get(), Firebird::IXpbBuilder::DPB, nullptr, 0));
  dpb->insertInt(status.get(), isc_dpb_sql_dialect, 3);
  EXPECT_EQ(status.Checked(dpb->getBufferLength(status.get())), 7u);  // version, tag, length, 4

  et::test::TempDir dir;
  Status failing;
  EXPECT_THROW((void)failing.Checked(AttachMissing(failing, dir.File("x.fdb")).Get()),
               DatabaseError);
}

}  // namespace
}  // namespace et::fb::test
