#include "fb/metadata.h"

#include "fb/statement.h"
#include "fb/transaction.h"

namespace et::fb {

bool TableExists(Attachment& attachment, const std::string& name) {
  Transaction transaction(attachment, TransactionOptions::ReadCommitted());
  Statement statement(attachment, transaction,
                      "SELECT 1 FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = :NAME");
  statement.Set("NAME", Text(name));
  statement.Execute(transaction);
  return statement.HasRow();
}

}  // namespace et::fb
