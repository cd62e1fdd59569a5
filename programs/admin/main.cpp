// exporttotale-admin: the administration command that writes the
// configuration the runs read, so that an installation is set up without a
// SQL console. Each command follows the parameters file
// PARAMETRIQUORVANDELIX.INI (beside this program, or in the directory given
// with --dir) to the user database and, when it needs it, to the business
// database; each database is attached at most once per command.
#include <getopt.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbconfig/business_database.h"
#include "dbconfig/opening_policy.h"
#include "dbconfig/parameters_file.h"
#include "dbconfig/settings_table.h"
#include "dbconfig/user_database.h"
#include "fb/error.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/regional.h"
#include "platform/ui.h"
#include "programs/admin/check.h"
#include "programs/version.h"
#include "runs/configuration.h"
#include "runs/run.h"

namespace {

constexpr const char* kProgram = "exporttotale-admin";

// Exit statuses, listed in the help.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// A command line the program cannot act on; the help of the command follows
// the message.
class UsageError : public et::Error {
 public:
  UsageError(std::string message, std::string command)
      : et::Error(std::move(message)), command_(std::move(command)) {}
  const std::string& Command() const { return command_; }

 private:
  std::string command_;
};

struct Options {
  std::string dir;                   // directory of the parameters file
  std::optional<std::int32_t> user;  // --user
  bool help = false;
  bool version = false;                 // --version
  bool value_from_stdin = false;        // --stdin: the last argument is read from standard input
  std::optional<et::RunKind> run_kind;  // -p or -s, for check
};

// The configuration a command works on. The user database and the business
// database are attached when first needed and then kept for the command.
class Configuration {
 public:
  Configuration(et::Parameters parameters, et::UserInterface& ui)
      : parameters_(std::move(parameters)), ui_(ui) {}

  const et::Parameters& Parameters() const { return parameters_; }

  et::UserDatabase& Users() {
    if (!users_) users_.emplace(et::UserDatabase::Open(parameters_, policy_, ui_));
    return *users_;
  }

  // The business database is named by "Archivio" of the user's settings;
  // nothing can be read from or written to it without that key, so say so
  // before trying.
  const std::string& BusinessDatabasePath() {
    if (business_path_) return *business_path_;
    std::string path = Users().ReadSettings().BusinessDatabaseName();
    if (path.empty()) {
      throw et::Error("Nessun database gestionale: la chiave \"Archivio\" dell'utente " +
                      parameters_.user + " (ditta " + parameters_.company +
                      ") è vuota nel database utenti. Eseguire prima: " + kProgram +
                      " init PERCORSO_ARCHIVIO");
    }
    return business_path_.emplace(std::move(path));
  }

  // The settings table of the business database, opened on first use.
  // Raises fb::DatabaseError when the database cannot be opened.
  et::SettingsTable& Business() {
    if (settings_) return *settings_;
    business_ = et::OpenBusinessDatabase(BusinessDatabasePath(), policy_, ui_);
    settings_.emplace(business_->Attachment());
    return *settings_;
  }

 private:
  et::Parameters parameters_;
  et::UserInterface& ui_;
  // As a run opens them: a database that cannot be attached is created, and
  // a database file that a run holds is waited for as a run waits.
  const et::OpeningPolicy policy_ = et::OpeningPolicy::AttachOrCreate(et::LockWait());
  std::optional<et::UserDatabase> users_;
  std::optional<std::string> business_path_;
  std::unique_ptr<et::DatabaseConnection> business_;
  std::optional<et::SettingsTable> settings_;
};

struct Context {
  Configuration& config;
  const Options& options;
  const std::vector<std::string>& arguments;  // after the command word
};

using Run = int (*)(Context&);

struct Command {
  const char* name;
  const char* synopsis;      // arguments, as the usage line shows them
  const char* summary;       // one line for the list of commands
  const char* details;       // the command's own help
  std::size_t arguments;     // exact number of arguments
  bool takes_user;           // whether --user applies
  Run run;                   // nullptr for check, which follows the chain on its own
  bool takes_stdin = false;  // whether --stdin may stand for the last argument
};

std::int32_t NumberArgument(const std::string& text, const char* what, const std::string& command) {
  std::int32_t n = 0;
  if (!et::TryParseInt32(text, n)) {
    throw UsageError(std::string(what) + " non valido: \"" + text + "\" (serve un numero intero)",
                     command);
  }
  return n;
}

void Print(const std::string& line) { std::cout << line << '\n'; }

// The engine's reason after the program's own message, on a line of its own.
void PrintReason(const std::exception& e) { std::cerr << kProgram << ": " << e.what() << '\n'; }

// The text a settings text gives back for a value: without the blanks and
// control characters at its ends.
std::string AsReadBack(std::string_view value) {
  const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!value.empty() && blank(value.front())) value.remove_prefix(1);
  while (!value.empty() && blank(value.back())) value.remove_suffix(1);
  return std::string(value);
}

bool HasLineBreaks(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

int Init(Context& c) {
  const std::string& business_database = c.arguments[0];
  et::UserDatabase& users = c.config.Users();
  users.Initialize(business_database);
  const std::string read_back = users.ReadSettings().BusinessDatabaseName();
  const std::string& user = c.config.Parameters().user;
  const std::string& company = c.config.Parameters().company;
  if (read_back == business_database) {
    Print("Database utenti pronto: utente " + user + ", ditta " + company +
          ", Archivio=" + business_database);
    return kExitSuccess;
  }
  // The row was there already (init leaves it alone), or it was made for
  // company "query_esterno" while the parameters file names another one.
  std::cerr << kProgram << ": l'utente " << user << " (ditta " << company << ") ha Archivio=\""
            << read_back << "\", non \"" << business_database
            << "\": la riga esistente non viene modificata. Per cambiarla: " << kProgram
            << " user-set Archivio " << business_database << '\n';
  return kExitFailure;
}

int Get(Context& c) {
  Print(c.config.Business().Read(c.arguments[0], c.options.user.value_or(0)));
  return kExitSuccess;
}

int Set(Context& c) {
  c.config.BusinessDatabasePath();  // its absence is said as such
  try {
    c.config.Business().Write(c.arguments[0], c.arguments[1], c.options.user.value_or(0));
  } catch (const et::fb::DatabaseError& e) {
    std::cerr << kProgram << ": scrittura della chiave " << c.arguments[0]
              << " non riuscita (database gestionale non aperto, tabella TABX bloccata da "
                 "un'altra transazione o valore troppo lungo)\n";
    PrintReason(e);
    return kExitFailure;
  }
  return kExitSuccess;
}

int UserGet(Context& c) {
  Print(c.config.Users().ReadSettings().Read(c.arguments[0]));
  return kExitSuccess;
}

int UserSet(Context& c) {
  const std::string& name = c.arguments[0];
  const std::string& value = c.arguments[1];
  if (AsReadBack(name).empty() || name.find('=') != std::string::npos || HasLineBreaks(name)) {
    throw UsageError("Nome di chiave non valido: \"" + name + "\"", "user-set");
  }
  if (HasLineBreaks(value)) {
    throw UsageError("Il valore non può contenere interruzioni di riga", "user-set");
  }
  const auto report_failure = [&] {
    std::cerr << kProgram << ": scrittura della chiave " << name << " non riuscita: l'utente "
              << c.config.Parameters().user
              << " non ha una riga nel database utenti (eseguire init) o il database l'ha "
                 "rifiutata\n";
  };
  et::UserDatabase& users = c.config.Users();
  try {
    users.WriteSetting(name, value);
  } catch (const et::fb::DatabaseError& e) {
    report_failure();
    PrintReason(e);
    return kExitFailure;
  }
  // A user without a row is left unchanged; reading the key back tells.
  if (users.ReadSettings().Read(name) != AsReadBack(value)) {
    report_failure();
    return kExitFailure;
  }
  return kExitSuccess;
}

int Companies(Context& c) {
  const std::int32_t user = NumberArgument(c.arguments[0], "Numero utente", "companies");
  for (const std::string& company : c.config.Users().Companies(user)) Print(company);
  return kExitSuccess;
}

int SetCompany(Context& c) {
  const std::int32_t user = NumberArgument(c.arguments[0], "Numero utente", "set-company");
  c.config.Users().SetCompany(user, c.arguments[1]);
  return kExitSuccess;
}

// Turns the terminal's echo off while the password is typed, and back on.
class EchoOff {
 public:
  EchoOff() {
    if (tcgetattr(STDIN_FILENO, &before_) != 0) return;
    termios no_echo = before_;
    no_echo.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    active_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &no_echo) == 0;
  }
  ~EchoOff() {
    if (active_) tcsetattr(STDIN_FILENO, TCSAFLUSH, &before_);
  }
  EchoOff(const EchoOff&) = delete;
  EchoOff& operator=(const EchoOff&) = delete;

 private:
  termios before_{};
  bool active_ = false;
};

// One line of standard input, without its line end; on a terminal after the
// prompt and without echo. `what` names the text in the error raised when
// standard input is empty.
std::string ReadHiddenLine(const std::string& prompt, const std::string& what) {
  const bool terminal = isatty(STDIN_FILENO) != 0;
  std::string line;
  bool read = false;
  if (terminal) {
    std::cerr << prompt << std::flush;
    EchoOff echo;
    read = static_cast<bool>(std::getline(std::cin, line));
    std::cerr << '\n';
  } else {
    read = static_cast<bool>(std::getline(std::cin, line));
  }
  if (!read) throw et::Error(what + " non letto: standard input vuoto");
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

int Login(Context& c) {
  // Read before any database work: a prompt of the database opener reads
  // standard input too.
  const std::string password = ReadHiddenLine("Password: ", "Password");
  const et::UserLogin login = c.config.Users().Login(c.arguments[0], password);
  if (!login.valid) {
    std::cerr << kProgram << ": accesso negato: nome utente o password errati\n";
    return kExitFailure;
  }
  Print("Id=" + std::to_string(login.id));
  Print("Nome=" + login.name);
  Print("Ditta=" + login.company);
  return kExitSuccess;
}

int Generator(Context& c) {
  c.config.BusinessDatabasePath();  // its absence is said as such
  et::SettingsTable* business = nullptr;
  try {
    business = &c.config.Business();
  } catch (const et::fb::DatabaseError& e) {
    std::cerr << kProgram << ": database gestionale non aperto\n";
    PrintReason(e);
    return kExitFailure;
  }
  Print(std::to_string(business->NextGeneratorValue(c.arguments[0])));
  return kExitSuccess;
}

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"init", "ARCHIVIO_PATH", "prepara database utenti e riga dell'utente",
       "Crea, quando mancano, la tabella UTENTI nel database utenti (creando il database\n"
       "stesso quando non esiste) e la riga dell'utente \"Utente\" del file parametri, con\n"
       "ditta \"query_esterno\" e Archivio=ARCHIVIO_PATH: il percorso completo del database\n"
       "gestionale (file locale, server:/percorso/archivio.fdb o server:alias). Una riga\n"
       "già presente resta com'è: se il suo Archivio è diverso il comando lo segnala e\n"
       "termina con stato 1 (per cambiarlo: user-set Archivio PERCORSO).\n"
       "Il database gestionale deve già esistere con le sue tabelle (tra cui TABX).",
       1, false, Init},
      {"get", "KEY [--user N]", "scrive il valore della chiave KEY di TABX",
       "Legge la chiave KEY dalla tabella TABX del database gestionale: il valore comune a\n"
       "tutti gli utenti (quello che le esecuzioni leggono) o, con --user N (N > 0), il\n"
       "valore proprio dell'utente N. Una chiave assente dà una riga vuota.",
       1, true, Get},
      {"set", "KEY VALUE [--user N]", "imposta la chiave KEY di TABX",
       "Scrive VALUE nella chiave KEY della tabella TABX: nella riga comune a tutti gli\n"
       "utenti o, con --user N (N > 0), nella riga dell'utente N; le righe degli altri\n"
       "utenti non cambiano. Ogni apostrofo del valore è memorizzato come \"´\". Un valore\n"
       "vuoto crea la chiave vuota. Stato 1 quando la scrittura non riesce.\n"
       "Con --stdin al posto di VALUE il valore è la prima riga dello standard input\n"
       "(su un terminale senza mostrarla): una password non compare così nell'elenco\n"
       "dei processi né nella cronologia della shell.",
       2, true, Set, true},
      {"user-get", "NAME", "scrive la chiave NAME delle impostazioni utente",
       "Legge la chiave NAME dalla sezione della ditta (\"Ditta\" del file parametri) nel\n"
       "testo delle impostazioni dell'utente (UTENTI.SOFTDES), per esempio Archivio.",
       1, false, UserGet},
      {"user-set", "NAME VALUE", "imposta la chiave NAME delle impostazioni utente",
       "Scrive la chiave NAME nella sezione della ditta del testo delle impostazioni\n"
       "dell'utente. Il testo viene riscritto: i commenti e le righe vuote si perdono.\n"
       "Stato 1 quando l'utente non ha una riga (eseguire init) o la scrittura non riesce.\n"
       "Con --stdin al posto di VALUE il valore è la prima riga dello standard input\n"
       "(su un terminale senza mostrarla).",
       2, false, UserSet, true},
      {"companies", "USER_ID", "elenca le ditte dell'utente, una per riga",
       "Elenca le sezioni del testo delle impostazioni dell'utente USER_ID, nell'ordine in\n"
       "cui compaiono, tranne quelle con \"<INATTIVA>\" nel nome.",
       1, false, Companies},
      {"set-company", "USER_ID COMPANY", "imposta la ditta (UTENTI.DITTA) dell'utente",
       "Scrive COMPANY nella colonna DITTA della riga dell'utente USER_ID. Un utente senza\n"
       "riga non cambia.",
       2, false, SetCompany},
      {"login", "NAME", "verifica nome e password (da standard input)",
       "Legge la password da standard input (su un terminale senza mostrarla) e verifica\n"
       "nome utente e password in UTENTI: il nome senza distinguere maiuscole e minuscole\n"
       "delle lettere A-Z, la password esattamente come memorizzata. Riuscito: scrive\n"
       "Id=, Nome= e Ditta= dell'utente. Stato 1 quando l'accesso è negato.",
       1, false, Login},
      {"generator", "NAME", "incrementa e scrive il generatore NAME",
       "Incrementa di uno il generatore NAME del database gestionale e scrive il nuovo\n"
       "valore. NAME è un nome semplice: una lettera, poi lettere, cifre, \"_\" o \"$\".",
       1, false, Generator},
      {"check", "[-p|-s]", "controlla la configurazione di un'esecuzione",
       "Percorre la configurazione dell'esecuzione delle giacenze (con -p: dei listini,\n"
       "con -s: della promo a stock) e scrive una riga per passo, \"ok\" o il motivo\n"
       "dell'errore: file parametri, database utenti, utente e ditta, Archivio,\n"
       "dati.ini, database gestionale, ogni chiave di TABX che l'esecuzione legge (le\n"
       "password come ***) e il controllo dell'esecuzione stessa, cartella export\n"
       "scrivibile, accesso FTP e cartella FTP, indirizzo di ogni script HTTP.\n"
       "Non crea né scrive nulla: i database sono solo collegati (senza chiedere il\n"
       "server quando dati.ini non lo nomina), l'FTP riceve accesso, cambio di\n"
       "cartella e QUIT, gli script non vengono richiesti (si verificano forma e nome\n"
       "del server). I passi che dipendono da uno fallito non vengono provati.\n"
       "Stato 0 quando ogni passo è riuscito, 1 altrimenti.",
       0, false, nullptr},
  };
  return commands;
}

const Command* FindCommand(const std::string& name) {
  for (const Command& command : Commands()) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

void GeneralHelp(std::ostream& out) {
  out << "Uso: " << kProgram << " [--dir DIR] COMANDO [ARGOMENTI] [--user N]\n"
      << "     " << kProgram << " --help [COMANDO]\n\n"
      << "Imposta la configurazione di exporttotale: il database utenti (tabella UTENTI)\n"
      << "e le chiavi di impostazione (tabella TABX del database gestionale), seguendo il\n"
      << "file parametri " << et::kParametersFileName << ".\n\nComandi:\n";
  for (const Command& command : Commands()) {
    std::string head = std::string(command.name) + " " + command.synopsis;
    if (head.size() < 28) head.resize(28, ' ');
    out << "  " << head << " " << command.summary << '\n';
  }
  out << "\nOpzioni:\n"
      << "  -d, --dir DIR  cartella del file parametri (predefinita: quella del programma)\n"
      << "  -u, --user N   per get e set: la chiave dell'utente N (N <= 0: quella comune)\n"
      << "      --stdin    per set e user-set: il valore dallo standard input\n"
      << "  -p, -s         per check: l'esecuzione dei listini o della promo a stock\n"
      << "  -h, --help     questo aiuto; con un comando, l'aiuto del comando\n"
      << "  -V, --version  la versione del programma\n"
      << "Un valore che inizia con \"-\" va dopo \"--\": " << kProgram << " set KEY -- -1\n\n"
      << "Stato di uscita:\n"
      << "  0  riuscito\n"
      << "  1  non riuscito (il motivo su standard error)\n"
      << "  2  uso errato (comando, argomenti o opzioni)\n";
}

void CommandHelp(std::ostream& out, const Command& command) {
  out << "Uso: " << kProgram << " [--dir DIR] " << command.name << " " << command.synopsis << "\n\n"
      << command.details << "\n\nStato di uscita: 0 riuscito, 1 non riuscito, 2 uso errato.\n";
}

Options ReadOptions(int argc, char** argv, std::vector<std::string>& resto) {
  // Returned by getopt_long for --stdin, which has no short form.
  constexpr int kStdin = 1000;
  static const option kLongOptions[] = {
      {"dir", required_argument, nullptr, 'd'}, {"user", required_argument, nullptr, 'u'},
      {"help", no_argument, nullptr, 'h'},      {"version", no_argument, nullptr, 'V'},
      {"stdin", no_argument, nullptr, kStdin},  {nullptr, 0, nullptr, 0}};
  Options options;
  opterr = 0;  // the messages below replace getopt's own
  int c = 0;
  while ((c = getopt_long(argc, argv, ":d:u:hVps", kLongOptions, nullptr)) != -1) {
    switch (c) {
      case 'd':
        options.dir = optarg;
        break;
      case 'u':
        options.user = NumberArgument(optarg, "Numero utente di --user", "");
        break;
      case 'h':
        options.help = true;
        break;
      case 'V':
        options.version = true;
        break;
      case kStdin:
        options.value_from_stdin = true;
        break;
      case 'p':
      case 's': {
        const et::RunKind kind = c == 'p' ? et::RunKind::kPriceList : et::RunKind::kPromoStock;
        if (options.run_kind && *options.run_kind != kind) {
          throw UsageError("-p e -s non vanno insieme", "check");
        }
        options.run_kind = kind;
        break;
      }
      case ':':
        throw UsageError(std::string("Manca il valore dell'opzione ") + argv[optind - 1], "");
      default:
        throw UsageError(std::string("Opzione non riconosciuta: ") + argv[optind - 1], "");
    }
  }
  for (int i = optind; i < argc; ++i) resto.emplace_back(argv[i]);
  return options;
}

int Main(int argc, char** argv) {
  std::vector<std::string> words;
  Options options;
  const Command* command = nullptr;
  try {
    options = ReadOptions(argc, argv, words);
    if (options.version) {
      std::cout << kProgram << " " << et::kVersion << "\n";
      return kExitSuccess;
    }
    // "help COMMAND" reads as "--help COMMAND".
    if (!words.empty() && words.front() == "help") {
      options.help = true;
      words.erase(words.begin());
    }
    if (!words.empty()) {
      command = FindCommand(words.front());
      if (!command) throw UsageError("Comando sconosciuto: " + words.front(), "");
    }
    if (options.help) {
      if (command) {
        CommandHelp(std::cout, *command);
      } else {
        GeneralHelp(std::cout);
      }
      return kExitSuccess;
    }
    if (!command) throw UsageError("Manca il comando", "");
    words.erase(words.begin());
    if (options.value_from_stdin && !command->takes_stdin) {
      throw UsageError(std::string("--stdin non si applica a ") + command->name, command->name);
    }
    if (options.run_kind && command->run) {
      throw UsageError(std::string("-p e -s non si applicano a ") + command->name, command->name);
    }
    const std::size_t expected = command->arguments - (options.value_from_stdin ? 1 : 0);
    if (words.size() != expected) {
      throw UsageError(std::string("Numero di argomenti errato per ") + command->name,
                       command->name);
    }
    if (options.user && !command->takes_user) {
      throw UsageError(std::string("--user non si applica a ") + command->name, command->name);
    }
  } catch (const UsageError& e) {
    std::cerr << kProgram << ": " << e.what() << "\n\n";
    if (const Command* help_command = FindCommand(e.Command())) {
      CommandHelp(std::cerr, *help_command);
    } else {
      GeneralHelp(std::cerr);
    }
    return kExitUsage;
  }

  try {
    const std::string dir =
        et::WithTrailingSeparator(options.dir.empty() ? et::ExecutableDirectory() : options.dir);
    if (!command->run) {
      // check reads the parameters file as its first step, and says so when
      // it is missing.
      const bool passed = et::CheckConfiguration(options.run_kind.value_or(et::RunKind::kStock),
                                                 dir + et::kParametersFileName, std::cout);
      std::cout.flush();
      if (!std::cout) throw et::IoError("Standard output non scrivibile");
      return passed ? kExitSuccess : kExitFailure;
    }
    // Read before any database work: a prompt of the database opener reads
    // standard input too.
    if (options.value_from_stdin) {
      words.push_back(ReadHiddenLine("Valore di " + words.front() + ": ", "Valore"));
    }
    std::optional<et::Parameters> parameters = et::Parameters::Read(dir + et::kParametersFileName);
    if (!parameters) {
      throw et::Error("File parametri mancante: " + dir + et::kParametersFileName);
    }
    et::ConsoleUserInterface ui = et::ConsoleUserInterface::ForProcess();
    Configuration config(std::move(*parameters), ui);
    Context context{config, options, words};
    const int status = command->run(context);
    std::cout.flush();
    if (!std::cout) throw et::IoError("Standard output non scrivibile");
    return status;
  } catch (const UsageError& e) {
    std::cerr << kProgram << ": " << e.what() << "\n\n";
    CommandHelp(std::cerr, *command);
    return kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << kProgram << ": " << e.what() << '\n';
    return kExitFailure;
  }
}

}  // namespace

int main(int argc, char** argv) { return Main(argc, argv); }
