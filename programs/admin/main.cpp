// exporttotale-admin: the administration command that writes the
// configuration the runs read, so that an installation is set up without a
// SQL console. Each command follows the parameters file
// PARAMETRIQUORVANDELIX.INI (in the directory given with --dir, else in
// EXPORTTOTALE_DIR, else beside this program) to the user database and, when
// it needs it, to the business database; each database is attached at most
// once per command.
#include <getopt.h>

#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "dbconfig/parameters_file.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/ui.h"
#include "programs/admin/command.h"
#include "programs/version.h"

namespace {

using namespace et::admin;

// One line of standard input for the command: a secret on a terminal.
// Raises Error naming `what` when standard input is empty.
std::string ReadInputLine(const std::string& prompt, const std::string& what) {
  std::optional<std::string> line = et::ReadSecretLine(prompt);
  if (!line) throw et::Error(what + " non letto: standard input vuoto");
  return std::move(*line);
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
      << "  -d, --dir DIR  cartella del file parametri (predefinita: EXPORTTOTALE_DIR o,\n"
      << "                 se vuota, quella del programma)\n"
      << "  -u, --user N   per get e set: la chiave dell'utente N (N <= 0: quella comune)\n"
      << "      --stdin    per set e user-set: il valore dallo standard input\n"
      << "  -p, -s         per check: l'esecuzione dei listini o della promo a stock\n"
      << "      --senza-upload  per check: accesso FTP senza caricamento di prova\n"
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
  constexpr int kWithoutUpload = 1001;
  static const option kLongOptions[] = {{"dir", required_argument, nullptr, 'd'},
                                        {"user", required_argument, nullptr, 'u'},
                                        {"help", no_argument, nullptr, 'h'},
                                        {"version", no_argument, nullptr, 'V'},
                                        {"stdin", no_argument, nullptr, kStdin},
                                        {"senza-upload", no_argument, nullptr, kWithoutUpload},
                                        {nullptr, 0, nullptr, 0}};
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
      case kWithoutUpload:
        options.without_upload = true;
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
    if (options.run_kind && command->run != Check) {
      throw UsageError(std::string("-p e -s non si applicano a ") + command->name, command->name);
    }
    if (options.without_upload && command->run != Check) {
      throw UsageError(std::string("--senza-upload non si applica a ") + command->name,
                       command->name);
    }
    const std::size_t expected = command->arguments - (options.value_from_stdin ? 1 : 0);
    if (words.size() < expected || words.size() > expected + command->optional_arguments) {
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
    const std::string parameters_path =
        (options.dir.empty() ? et::InstallationDirectory()
                             : et::WithTrailingSeparator(options.dir)) +
        et::kParametersFileName;
    // Standard input is read before anything is opened: a prompt of the
    // database opener reads it too.
    if (options.value_from_stdin) {
      words.push_back(ReadInputLine("Valore di " + words.front() + ": ", "Valore"));
    }
    if (command->reads_password) words.push_back(ReadInputLine("Password: ", "Password"));
    et::ConsoleUserInterface ui = et::ConsoleUserInterface::ForProcess();
    Opened opened(command->needs, parameters_path, ui);
    Context context{opened, options, words, parameters_path};
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
