#include "runs/settings_declaration.h"

#include <stdexcept>
#include <utility>

namespace et {

SettingValues SettingValues::Read(SettingsTable& table, const SettingKeys& keys) {
  std::vector<std::string_view> names;
  names.reserve(keys.size());
  for (const SettingKey& key : keys) names.push_back(key.name);
  return SettingValues(keys, table.ReadAll(names));
}

SettingValues::SettingValues(SettingKeys keys, std::vector<std::string> values)
    : keys_(std::move(keys)), values_(std::move(values)) {
  if (keys_.size() != values_.size()) {
    throw std::logic_error("SettingValues: one value per declared key");
  }
}

const std::string& SettingValues::Of(std::string_view name) const {
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    if (keys_[i].name == name) return values_[i];
  }
  throw std::logic_error("Settings key not declared by the run: " + std::string(name));
}

void Append(SettingKeys& keys, const SettingKeys& more) {
  keys.insert(keys.end(), more.begin(), more.end());
}

}  // namespace et
