// A connection that records the database names it is asked to attach and to
// create, standing in for servers that cannot exist here (Windows named
// pipes, shares, drive letters). Names listed as attachable or creatable
// succeed; every other attempt fails as the engine would. A name listed as
// held fails its first attaches as a file another process holds does.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "dbconfig/database_connection.h"
#include "fb/error.h"

namespace et::test {

// The ISC codes of the engine's refusal of a file that another process holds:
// an I/O error of the "lock" operation, because the file is already opened
// by another engine instance.
inline constexpr int kIscIoError = 335544344;
inline constexpr int kIscAlreadyOpened = 335545107;

inline fb::DatabaseError HeldByAnotherProcess(const std::string& name) {
  return fb::DatabaseError("I/O error during \"lock\" operation for file \"" + name +
                               "\"\n-Database already opened with engine instance, "
                               "incompatible with current",
                           {kIscIoError, kIscAlreadyOpened}, "08001");
}

class RecordingConnection final : public DatabaseConnection {
 public:
  // `held`: how many attaches of the name fail as held before it attaches
  // (when it is attachable).
  RecordingConnection(std::set<std::string> attachable, std::set<std::string> creatable,
                      std::map<std::string, int> held = {})
      : attachable_(std::move(attachable)),
        creatable_(std::move(creatable)),
        held_(std::move(held)) {}

  void Close() override { connected_ = false; }
  bool Connected() const override { return connected_; }

  std::vector<std::string> tried;
  std::vector<DatabaseCredentials> credentials_seen;

 protected:
  void AttachEngine(const std::string& name, const DatabaseCredentials& credentials) override {
    tried.push_back("attach " + name);
    credentials_seen.push_back(credentials);
    if (auto held = held_.find(name); held != held_.end() && held->second != 0) {
      if (held->second > 0) --held->second;  // a negative count: held for good
      throw HeldByAnotherProcess(name);
    }
    if (!attachable_.count(name)) throw fb::DatabaseError("cannot attach " + name);
    connected_ = true;
  }
  void CreateEngine(const std::string& name, const DatabaseCredentials& credentials) override {
    tried.push_back("create " + name);
    credentials_seen.push_back(credentials);
    if (!creatable_.count(name)) throw fb::DatabaseError("cannot create " + name);
    connected_ = true;
  }

 private:
  std::set<std::string> attachable_;
  std::set<std::string> creatable_;
  std::map<std::string, int> held_;
  bool connected_ = false;
};

}  // namespace et::test
