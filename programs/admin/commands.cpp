// The commands that set up and read the configuration: the user database
// (UTENTI) and the settings table (TABX) of the business database.
#include <cstdint>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "fb/error.h"
#include "platform/regional.h"
#include "programs/admin/check.h"
#include "programs/admin/command.h"

namespace et::admin {

std::int32_t NumberArgument(const std::string& text, const char* what, const std::string& command) {
  std::int32_t n = 0;
  if (!TryParseInt32(text, n)) {
    throw UsageError(std::string(what) + " non valido: \"" + text + "\" (serve un numero intero)",
                     command);
  }
  return n;
}

namespace {

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
  UserDatabase& users = c.opened.Users();
  users.Initialize(business_database);
  const std::string read_back = users.ReadSettings().BusinessDatabaseName();
  const std::string& user = c.opened.Parameters().user;
  const std::string& company = c.opened.Parameters().company;
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
  Print(c.opened.Business().Read(c.arguments[0], c.options.user.value_or(0)));
  return kExitSuccess;
}

int Set(Context& c) {
  try {
    c.opened.Business().Write(c.arguments[0], c.arguments[1], c.options.user.value_or(0));
  } catch (const fb::DatabaseError& e) {
    std::cerr << kProgram << ": scrittura della chiave " << c.arguments[0]
              << " non riuscita (database gestionale non aperto, tabella TABX bloccata da "
                 "un'altra transazione o valore troppo lungo)\n";
    PrintReason(e);
    return kExitFailure;
  }
  return kExitSuccess;
}

int UserGet(Context& c) {
  Print(c.opened.Users().ReadSettings().Read(c.arguments[0]));
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
              << c.opened.Parameters().user
              << " non ha una riga nel database utenti (eseguire init) o il database l'ha "
                 "rifiutata\n";
  };
  UserDatabase& users = c.opened.Users();
  try {
    users.WriteSetting(name, value);
  } catch (const fb::DatabaseError& e) {
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
  for (const std::string& company : c.opened.Users().Companies(user)) Print(company);
  return kExitSuccess;
}

int SetCompany(Context& c) {
  const std::int32_t user = NumberArgument(c.arguments[0], "Numero utente", "set-company");
  c.opened.Users().SetCompany(user, c.arguments[1]);
  return kExitSuccess;
}

int Login(Context& c) {
  const UserLogin login = c.opened.Users().Login(c.arguments[0], c.arguments[1]);
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
  Print(std::to_string(c.opened.Business().NextGeneratorValue(c.arguments[0])));
  return kExitSuccess;
}

}  // namespace

int Check(Context& c) {
  // check reads the parameters file as its first step, and says so when it
  // is missing.
  const bool passed = CheckConfiguration(c.options.run_kind.value_or(RunKind::kStock),
                                         c.parameters_path, std::cout, !c.options.without_upload);
  return passed ? kExitSuccess : kExitFailure;
}

const Command* FindCommand(const std::string& name) {
  for (const Command& command : Commands()) {
    if (name == command.name) return &command;
  }
  return nullptr;
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
       1, false, Needs::kUserDatabase, Init},
      {"get", "KEY [--user N]", "scrive il valore della chiave KEY di TABX",
       "Legge la chiave KEY dalla tabella TABX del database gestionale: il valore comune a\n"
       "tutti gli utenti (quello che le esecuzioni leggono) o, con --user N (N > 0), il\n"
       "valore proprio dell'utente N. Una chiave assente dà una riga vuota.",
       1, true, Needs::kBusinessDatabase, Get},
      {"set", "KEY VALUE [--user N]", "imposta la chiave KEY di TABX",
       "Scrive VALUE nella chiave KEY della tabella TABX: nella riga comune a tutti gli\n"
       "utenti o, con --user N (N > 0), nella riga dell'utente N; le righe degli altri\n"
       "utenti non cambiano. Ogni apostrofo del valore è memorizzato come \"´\". Un valore\n"
       "vuoto crea la chiave vuota. Stato 1 quando la scrittura non riesce.\n"
       "Con --stdin al posto di VALUE il valore è la prima riga dello standard input\n"
       "(su un terminale senza mostrarla): una password non compare così nell'elenco\n"
       "dei processi né nella cronologia della shell.",
       2, true, Needs::kBusinessDatabase, Set, true},
      {"user-get", "NAME", "scrive la chiave NAME delle impostazioni utente",
       "Legge la chiave NAME dalla sezione della ditta (\"Ditta\" del file parametri) nel\n"
       "testo delle impostazioni dell'utente (UTENTI.SOFTDES), per esempio Archivio.",
       1, false, Needs::kUserDatabase, UserGet},
      {"user-set", "NAME VALUE", "imposta la chiave NAME delle impostazioni utente",
       "Scrive la chiave NAME nella sezione della ditta del testo delle impostazioni\n"
       "dell'utente. Il testo viene riscritto: i commenti e le righe vuote si perdono.\n"
       "Stato 1 quando l'utente non ha una riga (eseguire init) o la scrittura non riesce.\n"
       "Con --stdin al posto di VALUE il valore è la prima riga dello standard input\n"
       "(su un terminale senza mostrarla).",
       2, false, Needs::kUserDatabase, UserSet, true},
      {"companies", "USER_ID", "elenca le ditte dell'utente, una per riga",
       "Elenca le sezioni del testo delle impostazioni dell'utente USER_ID, nell'ordine in\n"
       "cui compaiono, tranne quelle con \"<INATTIVA>\" nel nome.",
       1, false, Needs::kUserDatabase, Companies},
      {"set-company", "USER_ID COMPANY", "imposta la ditta (UTENTI.DITTA) dell'utente",
       "Scrive COMPANY nella colonna DITTA della riga dell'utente USER_ID. Un utente senza\n"
       "riga non cambia.",
       2, false, Needs::kUserDatabase, SetCompany},
      {"login", "NAME", "verifica nome e password (da standard input)",
       "Legge la password da standard input (su un terminale senza mostrarla) e verifica\n"
       "nome utente e password in UTENTI: il nome senza distinguere maiuscole e minuscole\n"
       "delle lettere A-Z, la password esattamente come memorizzata. Riuscito: scrive\n"
       "Id=, Nome= e Ditta= dell'utente. Stato 1 quando l'accesso è negato.",
       1, false, Needs::kUserDatabase, Login, false, true},
      {"generator", "NAME", "incrementa e scrive il generatore NAME",
       "Incrementa di uno il generatore NAME del database gestionale e scrive il nuovo\n"
       "valore. NAME è un nome semplice: una lettera, poi lettere, cifre, \"_\" o \"$\".",
       1, false, Needs::kBusinessDatabase, Generator},
      {"check", "[-p|-s] [--senza-upload]", "controlla la configurazione di un'esecuzione",
       "Percorre la configurazione dell'esecuzione delle giacenze (con -p: dei listini,\n"
       "con -s: della promo a stock) e scrive una riga per passo, \"ok\" o il motivo\n"
       "dell'errore: file parametri, database utenti, utente e ditta, Archivio,\n"
       "dati.ini, database gestionale, ogni chiave di TABX che l'esecuzione legge (le\n"
       "password come ***) e il controllo dell'esecuzione stessa, cartella export\n"
       "scrivibile, accesso FTP (con la cifratura usata: protocollo TLS e cifrario, o\n"
       "l'impronta della chiave host SFTP), cartella FTP, caricamento di prova,\n"
       "indirizzo di ogni script HTTP.\n"
       "Il caricamento di prova carica il file exporttotale-prova.txt come\n"
       "un'esecuzione carica i suoi file (stessi nomi temporanei e stessi ripieghi),\n"
       "lo sostituisce una volta, lo cancella e dice come un'esecuzione caricherà i\n"
       "file: con il nome temporaneo .NOME.part o NOME.part, o direttamente. Con\n"
       "--senza-upload l'FTP riceve solo accesso, cambio di cartella e QUIT.\n"
       "Non crea né scrive altro: i database sono solo collegati (senza chiedere il\n"
       "server quando dati.ini non lo nomina), gli script non vengono richiesti (si\n"
       "verificano forma e nome del server). I passi che dipendono da uno fallito non\n"
       "vengono provati.\n"
       "Una riga \"ATTENZIONE\" segnala un rischio che non è un errore: il database\n"
       "gestionale aperto dal motore Firebird incorporato invece che da un server.\n"
       "Stato 0 quando ogni passo è riuscito, 1 altrimenti.",
       0, false, Needs::kNothing, Check},
      {"stato", "[N]", "mostra le ultime N esecuzioni (10 se omesso)",
       "Scrive le ultime N esecuzioni (10 se N manca) dallo storico exporttotale_runs.jsonl,\n"
       "una riga ciascuna, dalla più recente: inizio, tipo, esito con lo stato di uscita e\n"
       "la durata, il messaggio, ogni file (righe di dati, byte, caricato o no e perché),\n"
       "ogni script HTTP e ogni ping di monitoraggio non riuscito. Lo storico è nella\n"
       "cartella EXPORTTOTALE_STATUS_DIR quando è impostata (senza aprire alcun database),\n"
       "altrimenti nella cartella export (DIRCATINTERNET del database gestionale).\n"
       "Stato 1 quando l'esecuzione più recente di un tipo non è stata completata, o lo\n"
       "storico è vuoto; 0 altrimenti.",
       0, false, Needs::kNothing, Stato, false, false, 1},
  };
  return commands;
}

}  // namespace et::admin
