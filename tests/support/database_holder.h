// Another process attached to a database, as a run holds its databases: an
// embedded database file is then refused to every other process.
#pragma once

#include <stdexcept>
#include <string>

#include "support/subprocess.h"

namespace et::test {

class DatabaseHolder {
 public:
  // Returns once the other process has attached.
  explicit DatabaseHolder(const std::string& database)
      : process_(std::string(ET_BINARY_DIR) + "/exporttotale-fixture", {"hold", database}) {
    const std::string line = process_.ReadLine();
    if (line != "attached") throw std::runtime_error("holder of " + database + " said: " + line);
  }

  // Ends the other process, and with it its attachment.
  void Release() { process_.Stop(); }

 private:
  BackgroundProcess process_;
};

}  // namespace et::test
