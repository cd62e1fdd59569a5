// A connection that records the database names it is asked to attach and to
// create, standing in for servers that cannot exist here (Windows named
// pipes, shares, drive letters). Names listed as attachable or creatable
// succeed; every other attempt fails as the engine would.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "dbconfig/database_connection.h"
#include "fb/error.h"

namespace et::test {

class RecordingConnection final : public DatabaseConnection {
 public:
  RecordingConnection(std::set<std::string> attachable, std::set<std::string> creatable)
      : attachable_(std::move(attachable)), creatable_(std::move(creatable)) {}

  void Open() override {
    tried.push_back("attach " + database_name);
    params_seen.push_back(params);
    if (!attachable_.count(database_name))
      throw fb::DatabaseError("cannot attach " + database_name);
    connected_ = true;
  }
  void CreateDatabase() override {
    tried.push_back("create " + database_name);
    params_seen.push_back(params);
    if (!creatable_.count(database_name)) throw fb::DatabaseError("cannot create " + database_name);
    connected_ = true;
  }
  void Close() override { connected_ = false; }
  bool Connected() const override { return connected_; }

  std::vector<std::string> tried;
  std::vector<std::vector<std::string>> params_seen;

 private:
  std::set<std::string> attachable_;
  std::set<std::string> creatable_;
  bool connected_ = false;
};

}  // namespace et::test
