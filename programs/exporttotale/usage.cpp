#include "programs/exporttotale/usage.h"

#include <string>
#include <string_view>

#include "programs/version.h"

namespace et {

namespace {

constexpr const char* kUsage =
    "Uso: exporttotale [-p | -s]\n"
    "     exporttotale --help | --version\n"
    "\n"
    "Esportazione automatica dal database gestionale verso un catalogo online: scrive\n"
    "i file di un'esecuzione nella directory export (DIRCATINTERNET), li carica via\n"
    "FTP e richiede gli script di importazione del catalogo.\n"
    "\n"
    "Esecuzioni (conta solo il primo argomento):\n"
    "  (nessuno)      giacenze: ESTRAZQ.CSV\n"
    "  -p             listini: ricarichi dei clienti ricalcolati, file dei listini e\n"
    "                 dei clienti\n"
    "  -s             promo a stock: quantità disponibili al prezzo promozionale\n"
    "  altro          giacenze, come senza argomenti\n"
    "  -h, --help     questo aiuto, poi stato 0\n"
    "  -V, --version  la versione, poi stato 0\n"
    "\n"
    "Configurazione: il file parametri PARAMETRIQUORVANDELIX.INI, sezione [CONFIG],\n"
    "nella cartella indicata dalla variabile EXPORTTOTALE_DIR o, quando è vuota, in\n"
    "quella del programma; vedere exporttotale-admin(1) e exporttotale(1).\n"
    "\n"
    "Stato di uscita:\n"
    "  232  esecuzione completata (codice di uscita 1000)\n"
    "  233  esecuzione interrotta o non riuscita (codice di uscita 1001)\n"
    "Un'esecuzione delle giacenze con upload o richiesta dello script non riusciti è\n"
    "comunque completata (232).\n"
    "\n"
    "I problemi sono segnalati su standard error (i messaggi del programma), nel log\n"
    "logQuorvandelix.txt della directory export (connessioni e upload FTP non\n"
    "riusciti) e con righe su standard output (richieste degli script non riuscite,\n"
    "il messaggio di un'esecuzione dei listini o della promo a stock non riuscita).\n";

}  // namespace

std::string VersionLine() { return std::string("exporttotale ") + kVersion; }

std::optional<int> HandleInformationalArguments(int argc, const char* const* argv,
                                                std::ostream& out) {
  if (argc < 2) return std::nullopt;
  const std::string_view first = argv[1];
  if (first == "--help" || first == "-h") {
    out << kUsage;
  } else if (first == "--version" || first == "-V") {
    out << VersionLine() << '\n';
  } else {
    return std::nullopt;
  }
  out.flush();
  return out ? 0 : 1;
}

}  // namespace et
