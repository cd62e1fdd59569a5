// The parameters file: the "CONFIG" section of PARAMETRIQUORVANDELIX.INI next
// to the executable, which says where the user database is and which user and
// company the program acts as. Read once per run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace et {

inline constexpr const char* kParametersFileName = "PARAMETRIQUORVANDELIX.INI";
// The company used when the parameters file names none.
inline constexpr const char* kDefaultCompany = "query_esterno";

// Where the user database is: the keys of "CONFIG" that name it.
struct UserDatabaseLocation {
  std::string database_path;  // "PercorsoDatabase": the database file
  std::string server;         // "Nome Server"
  std::string alias;          // "Alias": an alias defined on the server
  std::string drive_letter;   // "Lettera Disco Server"
};

struct Parameters {
  std::string path;                       // the file read
  std::string user = "0";                 // "Utente", as written
  std::string company = kDefaultCompany;  // "Ditta"
  UserDatabaseLocation user_database;

  // "Utente" as a whole number. Raises ConvertError naming the key and the
  // value when it is not one.
  std::int32_t UserNumber() const;

  // Reads the file once; nullopt when it does not exist.
  static std::optional<Parameters> Read(const std::string& path);
};

}  // namespace et
