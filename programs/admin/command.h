// A command of exporttotale-admin: its words, its help, and how much of the
// configuration chain it needs opened before it runs. The program opens that
// much, and no more, before calling it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dbconfig/database_connection.h"
#include "dbconfig/parameters_file.h"
#include "dbconfig/settings_table.h"
#include "dbconfig/user_database.h"
#include "platform/error.h"
#include "platform/ui.h"
#include "runs/run.h"

namespace et::admin {

inline constexpr const char* kProgram = "exporttotale-admin";

// Exit statuses, listed in the help.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// How much a command needs opened; each stage includes the ones before it.
enum class Needs {
  kNothing,           // check, which follows the chain on its own step by step
  kUserDatabase,      // the parameters file and the user database it names
  kBusinessDatabase,  // and the business database named by the user's "Archivio"
};

// A command line the program cannot act on; the help of the command follows
// the message.
class UsageError : public Error {
 public:
  UsageError(std::string message, std::string command)
      : Error(std::move(message)), command_(std::move(command)) {}
  const std::string& Command() const { return command_; }

 private:
  std::string command_;
};

struct Options {
  std::string dir;                   // directory of the parameters file
  std::optional<std::int32_t> user;  // --user
  bool help = false;
  bool version = false;             // --version
  bool value_from_stdin = false;    // --stdin: the last argument is read from standard input
  std::optional<RunKind> run_kind;  // -p or -s, for check
  bool without_upload = false;      // --senza-upload, for check
};

// What the program opened for a command, as its Needs say.
class Opened {
 public:
  // Opens the parameters file at `parameters_path` and what `needs` adds.
  // Raises Error when the parameters file is missing, the user's "Archivio"
  // is empty, or a database cannot be opened.
  Opened(Needs needs, const std::string& parameters_path, UserInterface& ui);

  const et::Parameters& Parameters() const { return *parameters_; }
  UserDatabase& Users() { return *users_; }
  SettingsTable& Business() { return *settings_; }

 private:
  std::optional<et::Parameters> parameters_;
  std::optional<UserDatabase> users_;
  std::unique_ptr<DatabaseConnection> business_;
  std::optional<SettingsTable> settings_;
};

struct Context {
  Opened& opened;
  const Options& options;
  // After the command word; a value read from standard input (--stdin, or
  // the password of login) comes last.
  const std::vector<std::string>& arguments;
  const std::string& parameters_path;  // PARAMETRIQUORVANDELIX.INI in its directory
};

struct Command {
  const char* name;
  const char* synopsis;   // arguments, as the usage line shows them
  const char* summary;    // one line for the list of commands
  const char* details;    // the command's own help
  std::size_t arguments;  // exact number of arguments on the command line
  bool takes_user;        // whether --user applies
  Needs needs;
  int (*run)(Context&);
  bool takes_stdin = false;            // whether --stdin may stand for the last argument
  bool reads_password = false;         // whether a password is read from standard input
  std::size_t optional_arguments = 0;  // how many may follow the exact ones
};

// "check": the configuration of a run kind (-p, -s) walked step by step.
int Check(Context& c);

// "stato [N]": the last runs of the history. Needs nothing when
// EXPORTTOTALE_STATUS_DIR names the history's directory; otherwise opens the
// business database itself for the export directory.
int Stato(Context& c);

// Every command, in the order of the help.
const std::vector<Command>& Commands();
const Command* FindCommand(const std::string& name);

// A whole number given on the command line; raises UsageError naming `what`
// and `command`.
std::int32_t NumberArgument(const std::string& text, const char* what, const std::string& command);

}  // namespace et::admin
