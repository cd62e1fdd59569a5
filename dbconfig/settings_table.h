// The settings table TABX of the business database: one text per key, shared
// by all users (UTENTE NULL) or belonging to one user.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fb/attachment.h"

namespace et {

class SettingsTable {
 public:
  // Reads and writes through `business`, which must outlive the table.
  explicit SettingsTable(fb::Attachment& business);

  // The text of `key` for `user` (> 0) or the shared one (user <= 0);
  // nullopt when there is no row or its text is NULL. Raises
  // fb::DatabaseError.
  std::optional<std::string> Find(const std::string& key, std::int32_t user = 0);
  // Find, with the empty text for "not there".
  std::string Read(const std::string& key, std::int32_t user = 0);
  // The shared texts of `keys`, in their order, read in one transaction with
  // one prepared statement; "" for "not there". Raises fb::DatabaseError.
  std::vector<std::string> ReadAll(const std::vector<std::string_view>& keys);

  // Updates or inserts the row of `key` for `user` (> 0) or the shared row;
  // every apostrophe of the value is stored as "´" and an empty value of a
  // new row as NULL. Committed at once. Raises fb::DatabaseError (a lock
  // conflict, a value too long for its column...).
  void Write(const std::string& key, const std::string& value, std::int32_t user = 0);

  // The next value of a generator (stepped by one). Raises Error for a name
  // that is not a plain generator name, fb::DatabaseError otherwise.
  std::int64_t NextGeneratorValue(const std::string& generator);

 private:
  fb::Attachment& business_;
};

}  // namespace et
