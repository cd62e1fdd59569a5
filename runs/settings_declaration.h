// The settings keys a run reads from the settings table, declared once per
// run kind: the run reads all of them in one go and parses the values into
// its typed settings, and "exporttotale-admin check" walks the same list.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "dbconfig/settings_table.h"

namespace et {

// What a key holds, as the check shows and tries it.
enum class SettingKind {
  kText,
  kWholeNumber,
  kServer,         // a server's address, which may carry a user and password
  kUrl,            // a trigger URL: the check parses it and resolves its host
  kPlainFileName,  // a file of the export directory: no path, no control character
  kFlag,           // "1" switches it on; anything else leaves it off
};

struct SettingKey {
  std::string_view name;
  bool required;  // an empty or missing value stops the run
  SettingKind kind;
  bool secret = false;  // never shown: the check prints "***"
};

using SettingKeys = std::vector<SettingKey>;

// The values of a run's keys, as the settings table holds them: the shared
// row of each key, "" when it is missing or NULL.
class SettingValues {
 public:
  // Reads every key in one transaction. Raises fb::DatabaseError.
  static SettingValues Read(SettingsTable& table, const SettingKeys& keys);
  // Values given directly, in the order of `keys`, for parsing without a
  // database.
  SettingValues(SettingKeys keys, std::vector<std::string> values);

  // The value of a declared key. A key the run did not declare is a
  // programming error (std::logic_error).
  const std::string& Of(std::string_view name) const;

  const SettingKeys& Keys() const { return keys_; }

 private:
  SettingKeys keys_;
  std::vector<std::string> values_;
};

// Appends the keys of `more` to `keys`.
void Append(SettingKeys& keys, const SettingKeys& more);

}  // namespace et
