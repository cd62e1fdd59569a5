// exporttotale-admin: the administration command that writes the
// configuration the runs read, so that an installation is set up without a
// SQL console. Each command is one operation of the configuration store on
// the parameters file PARAMETRIQUORVANDELIX.INI (beside this program, or in
// the directory given with --dir).
#include <getopt.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/export_totale_form.h"
#include "dbconfig/nuvini22.h"
#include "platform/error.h"
#include "platform/paths.h"
#include "platform/regional.h"
#include "platform/ui.h"

namespace {

constexpr const char* kProgramma = "exporttotale-admin";

// Exit statuses, listed in the help.
constexpr int kEsitoRiuscito = 0;
constexpr int kEsitoFallito = 1;
constexpr int kEsitoUsoErrato = 2;

// A command line the program cannot act on; the help of the command follows
// the message.
class UsoErrato : public et::Error {
 public:
  UsoErrato(std::string message, std::string comando)
      : et::Error(std::move(message)), comando_(std::move(comando)) {}
  const std::string& Comando() const { return comando_; }

 private:
  std::string comando_;
};

struct Opzioni {
  std::string dir;                   // directory of the parameters file
  std::optional<std::int32_t> user;  // --user
  bool help = false;
  bool version = false;  // --version
};

struct Contesto {
  et::TNuvIni22& store;
  const Opzioni& opzioni;
  const std::vector<std::string>& argomenti;  // after the command word
};

using Esegui = int (*)(Contesto&);

struct Comando {
  const char* nome;
  const char* sinossi;      // arguments, as the usage line shows them
  const char* descrizione;  // one line for the list of commands
  const char* dettaglio;    // the command's own help
  std::size_t argomenti;    // exact number of arguments
  bool accetta_user;        // whether --user applies
  Esegui esegui;
};

std::int32_t NumeroArgomento(const std::string& testo, const char* cosa,
                             const std::string& comando) {
  std::int32_t n = 0;
  if (!et::TryParseInt32(testo, n)) {
    throw UsoErrato(std::string(cosa) + " non valido: \"" + testo + "\" (serve un numero intero)",
                    comando);
  }
  return n;
}

void Stampa(const std::string& riga) { std::cout << riga << '\n'; }

// The business database is named by "Archivio" of the user's settings; the
// store reads nothing (and writes nothing) without it, so say so first.
void RichiediArchivio(et::TNuvIni22& store) {
  if (store.ValoreDorvaUser("Archivio").empty()) {
    throw et::Error("Nessun database gestionale: la chiave \"Archivio\" dell'utente " +
                    store.ValoreConfigIni("Utente", "0") + " (ditta " +
                    store.ValoreConfigIni("Ditta", "query_esterno") +
                    ") è vuota nel database utenti. Eseguire prima: " + kProgramma +
                    " init PERCORSO_ARCHIVIO");
  }
}

// The text a settings text gives back for a value: without the blanks and
// control characters at its ends.
std::string ComeRiletto(std::string_view valore) {
  const auto vuoto = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
  while (!valore.empty() && vuoto(valore.front())) valore.remove_prefix(1);
  while (!valore.empty() && vuoto(valore.back())) valore.remove_suffix(1);
  return std::string(valore);
}

bool HaInterruzioni(const std::string& testo) {
  return testo.find_first_of("\r\n") != std::string::npos;
}

int Init(Contesto& c) {
  const std::string& archivio = c.argomenti[0];
  c.store.InizializzaQuery(archivio);
  const std::string letto = c.store.ValoreDorvaUser("Archivio");
  const std::string utente = c.store.ValoreConfigIni("Utente", "0");
  const std::string ditta = c.store.ValoreConfigIni("Ditta", "query_esterno");
  if (letto == archivio) {
    Stampa("Database utenti pronto: utente " + utente + ", ditta " + ditta +
           ", Archivio=" + archivio);
    return kEsitoRiuscito;
  }
  // The row was there already (init leaves it alone), or it was made for
  // company "query_esterno" while the parameters file names another one.
  std::cerr << kProgramma << ": l'utente " << utente << " (ditta " << ditta
            << ") ha Archivio=\"" << letto << "\", non \"" << archivio
            << "\": la riga esistente non viene modificata. Per cambiarla: " << kProgramma
            << " user-set Archivio " << archivio << '\n';
  return kEsitoFallito;
}

int Get(Contesto& c) {
  RichiediArchivio(c.store);
  Stampa(c.store.ValoreTabX(c.argomenti[0], c.opzioni.user.value_or(0)));
  return kEsitoRiuscito;
}

int Set(Contesto& c) {
  RichiediArchivio(c.store);
  const std::int32_t utente = c.opzioni.user.value_or(0);
  if (!c.store.SettaValoreTabX(c.argomenti[0], c.argomenti[1], utente)) {
    std::cerr << kProgramma << ": scrittura della chiave " << c.argomenti[0]
              << " non riuscita (database gestionale non aperto, tabella TABX bloccata da "
                 "un'altra transazione o valore troppo lungo)\n";
    return kEsitoFallito;
  }
  return kEsitoRiuscito;
}

int UserGet(Contesto& c) {
  Stampa(c.store.ValoreDorvaUser(c.argomenti[0]));
  return kEsitoRiuscito;
}

int UserSet(Contesto& c) {
  const std::string& nome = c.argomenti[0];
  const std::string& valore = c.argomenti[1];
  if (ComeRiletto(nome).empty() || nome.find('=') != std::string::npos || HaInterruzioni(nome)) {
    throw UsoErrato("Nome di chiave non valido: \"" + nome + "\"", "user-set");
  }
  if (HaInterruzioni(valore)) {
    throw UsoErrato("Il valore non può contenere interruzioni di riga", "user-set");
  }
  c.store.SettaValoreDorvaUser(nome, valore);
  // The store swallows a failed write; reading the key back tells.
  if (c.store.ValoreDorvaUser(nome) != ComeRiletto(valore)) {
    std::cerr << kProgramma << ": scrittura della chiave " << nome
              << " non riuscita: l'utente " << c.store.ValoreConfigIni("Utente", "0")
              << " non ha una riga nel database utenti (eseguire init) o il database l'ha "
                 "rifiutata\n";
    return kEsitoFallito;
  }
  return kEsitoRiuscito;
}

int Companies(Contesto& c) {
  const std::int32_t utente = NumeroArgomento(c.argomenti[0], "Numero utente", "companies");
  for (const std::string& ditta : c.store.ElencoDitteUtente(utente)) Stampa(ditta);
  return kEsitoRiuscito;
}

int SetCompany(Contesto& c) {
  const std::int32_t utente = NumeroArgomento(c.argomenti[0], "Numero utente", "set-company");
  c.store.SettaDittaUtente(utente, c.argomenti[1]);
  return kEsitoRiuscito;
}

// Turns the terminal's echo off while the password is typed, and back on.
class EcoSpento {
 public:
  EcoSpento() {
    if (tcgetattr(STDIN_FILENO, &prima_) != 0) return;
    termios senza_eco = prima_;
    senza_eco.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    attivo_ = tcsetattr(STDIN_FILENO, TCSAFLUSH, &senza_eco) == 0;
  }
  ~EcoSpento() {
    if (attivo_) tcsetattr(STDIN_FILENO, TCSAFLUSH, &prima_);
  }
  EcoSpento(const EcoSpento&) = delete;
  EcoSpento& operator=(const EcoSpento&) = delete;

 private:
  termios prima_{};
  bool attivo_ = false;
};

// One line of standard input, without its line end; on a terminal after a
// prompt and without echo.
std::string LeggiPassword() {
  const bool terminale = isatty(STDIN_FILENO) != 0;
  std::string password;
  bool letta = false;
  if (terminale) {
    std::cerr << "Password: " << std::flush;
    EcoSpento eco;
    letta = static_cast<bool>(std::getline(std::cin, password));
    std::cerr << '\n';
  } else {
    letta = static_cast<bool>(std::getline(std::cin, password));
  }
  if (!letta) throw et::Error("Password non letta: standard input vuoto");
  if (!password.empty() && password.back() == '\r') password.pop_back();
  return password;
}

int Login(Contesto& c) {
  // Read before any database work: a prompt of the database opener reads
  // standard input too.
  const std::string password = LeggiPassword();
  const et::TUserLogin login = c.store.LoginDorvaUser(c.argomenti[0], password);
  if (!login.Valido) {
    std::cerr << kProgramma << ": accesso negato: nome utente o password errati\n";
    return kEsitoFallito;
  }
  Stampa("Id=" + std::to_string(login.Id));
  Stampa("Nome=" + login.Nome);
  Stampa("Ditta=" + login.Ditta);
  return kEsitoRiuscito;
}

int Generator(Contesto& c) {
  RichiediArchivio(c.store);
  const std::string valore = c.store.ValoreGeneratore(c.argomenti[0]);
  if (valore.empty()) {
    std::cerr << kProgramma << ": database gestionale non aperto\n";
    return kEsitoFallito;
  }
  Stampa(valore);
  return kEsitoRiuscito;
}

const std::vector<Comando>& Comandi() {
  static const std::vector<Comando> comandi = {
      {"init", "ARCHIVIO_PATH",
       "prepara database utenti e riga dell'utente",
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
       "vuoto crea la chiave vuota. Stato 1 quando la scrittura non riesce.",
       2, true, Set},
      {"user-get", "NAME", "scrive la chiave NAME delle impostazioni utente",
       "Legge la chiave NAME dalla sezione della ditta (\"Ditta\" del file parametri) nel\n"
       "testo delle impostazioni dell'utente (UTENTI.SOFTDES), per esempio Archivio.",
       1, false, UserGet},
      {"user-set", "NAME VALUE", "imposta la chiave NAME delle impostazioni utente",
       "Scrive la chiave NAME nella sezione della ditta del testo delle impostazioni\n"
       "dell'utente. Il testo viene riscritto: i commenti e le righe vuote si perdono.\n"
       "Stato 1 quando l'utente non ha una riga (eseguire init) o la scrittura non riesce.",
       2, false, UserSet},
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
  };
  return comandi;
}

const Comando* TrovaComando(const std::string& nome) {
  for (const Comando& comando : Comandi()) {
    if (nome == comando.nome) return &comando;
  }
  return nullptr;
}

void AiutoGenerale(std::ostream& out) {
  out << "Uso: " << kProgramma << " [--dir DIR] COMANDO [ARGOMENTI] [--user N]\n"
      << "     " << kProgramma << " --help [COMANDO]\n\n"
      << "Imposta la configurazione di exporttotale: il database utenti (tabella UTENTI)\n"
      << "e le chiavi di impostazione (tabella TABX del database gestionale), seguendo il\n"
      << "file parametri " << et::kFileParametri << ".\n\nComandi:\n";
  for (const Comando& comando : Comandi()) {
    std::string testa = std::string(comando.nome) + " " + comando.sinossi;
    if (testa.size() < 28) testa.resize(28, ' ');
    out << "  " << testa << " " << comando.descrizione << '\n';
  }
  out << "\nOpzioni:\n"
      << "  -d, --dir DIR  cartella del file parametri (predefinita: quella del programma)\n"
      << "  -u, --user N   per get e set: la chiave dell'utente N (N <= 0: quella comune)\n"
      << "  -h, --help     questo aiuto; con un comando, l'aiuto del comando\n"
      << "  -V, --version  la versione del programma\n"
      << "Un valore che inizia con \"-\" va dopo \"--\": " << kProgramma << " set KEY -- -1\n\n"
      << "Stato di uscita:\n"
      << "  0  riuscito\n"
      << "  1  non riuscito (il motivo su standard error)\n"
      << "  2  uso errato (comando, argomenti o opzioni)\n";
}

void AiutoComando(std::ostream& out, const Comando& comando) {
  out << "Uso: " << kProgramma << " [--dir DIR] " << comando.nome << " " << comando.sinossi
      << "\n\n"
      << comando.dettaglio << "\n\nStato di uscita: 0 riuscito, 1 non riuscito, 2 uso errato.\n";
}

Opzioni LeggiOpzioni(int argc, char** argv, std::vector<std::string>& resto) {
  static const option kLunghe[] = {{"dir", required_argument, nullptr, 'd'},
                                   {"user", required_argument, nullptr, 'u'},
                                   {"help", no_argument, nullptr, 'h'},
                                   {"version", no_argument, nullptr, 'V'},
                                   {nullptr, 0, nullptr, 0}};
  Opzioni opzioni;
  opterr = 0;  // the messages below replace getopt's own
  int c = 0;
  while ((c = getopt_long(argc, argv, ":d:u:hV", kLunghe, nullptr)) != -1) {
    switch (c) {
      case 'd':
        opzioni.dir = optarg;
        break;
      case 'u':
        opzioni.user = NumeroArgomento(optarg, "Numero utente di --user", "");
        break;
      case 'h':
        opzioni.help = true;
        break;
      case 'V':
        opzioni.version = true;
        break;
      case ':':
        throw UsoErrato(std::string("Manca il valore dell'opzione ") + argv[optind - 1], "");
      default:
        throw UsoErrato(std::string("Opzione non riconosciuta: ") + argv[optind - 1], "");
    }
  }
  for (int i = optind; i < argc; ++i) resto.emplace_back(argv[i]);
  return opzioni;
}

int Principale(int argc, char** argv) {
  std::vector<std::string> parole;
  Opzioni opzioni;
  const Comando* comando = nullptr;
  try {
    opzioni = LeggiOpzioni(argc, argv, parole);
    if (opzioni.version) {
      std::cout << kProgramma << " " EXPORTTOTALE_VERSION "\n";
      return kEsitoRiuscito;
    }
    // "help COMMAND" reads as "--help COMMAND".
    if (!parole.empty() && parole.front() == "help") {
      opzioni.help = true;
      parole.erase(parole.begin());
    }
    if (!parole.empty()) {
      comando = TrovaComando(parole.front());
      if (!comando) throw UsoErrato("Comando sconosciuto: " + parole.front(), "");
    }
    if (opzioni.help) {
      if (comando) {
        AiutoComando(std::cout, *comando);
      } else {
        AiutoGenerale(std::cout);
      }
      return kEsitoRiuscito;
    }
    if (!comando) throw UsoErrato("Manca il comando", "");
    parole.erase(parole.begin());
    if (parole.size() != comando->argomenti) {
      throw UsoErrato(std::string("Numero di argomenti errato per ") + comando->nome,
                      comando->nome);
    }
    if (opzioni.user && !comando->accetta_user) {
      throw UsoErrato(std::string("--user non si applica a ") + comando->nome, comando->nome);
    }
  } catch (const UsoErrato& e) {
    std::cerr << kProgramma << ": " << e.what() << "\n\n";
    if (const Comando* aiuto = TrovaComando(e.Comando())) {
      AiutoComando(std::cerr, *aiuto);
    } else {
      AiutoGenerale(std::cerr);
    }
    return kEsitoUsoErrato;
  }

  try {
    const std::string dir = et::WithTrailingSeparator(
        opzioni.dir.empty() ? et::ExecutableDirectory() : opzioni.dir);
    if (!et::FileExists(dir + et::kFileParametri)) {
      throw et::Error("File parametri mancante: " + dir + et::kFileParametri);
    }
    et::ConsoleUserInterface ui = et::ConsoleUserInterface::ForProcess();
    et::TNuvIni22 store(ui, dir, et::kFileParametri);
    Contesto contesto{store, opzioni, parole};
    const int esito = comando->esegui(contesto);
    std::cout.flush();
    if (!std::cout) throw et::IoError("Standard output non scrivibile");
    return esito;
  } catch (const UsoErrato& e) {
    std::cerr << kProgramma << ": " << e.what() << "\n\n";
    AiutoComando(std::cerr, *comando);
    return kEsitoUsoErrato;
  } catch (const std::exception& e) {
    std::cerr << kProgramma << ": " << e.what() << '\n';
    return kEsitoFallito;
  }
}

}  // namespace

int main(int argc, char** argv) { return Principale(argc, argv); }
