#include "exports/customers_export.h"

#include "fb/statement.h"
#include "fb/transaction.h"
#include "platform/text_file.h"

namespace et {
namespace {

constexpr const char* kTestoClienti =
    "SELECT\r\n"
    "  CODICE,\r\n"
    "  INFO1,\r\n"
    "  INFO2\r\n"
    "FROM\r\n"
    "  CLIENTI\r\n"
    "ORDER BY\r\n"
    "  CODICE\r\n";

// The web import splits on ";" alone: nothing is quoted or escaped.
template <typename Testo>
std::string Unisci(std::size_t n, Testo testo) {
  std::string riga;
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) riga += ';';
    riga += testo(i);
  }
  return riga;
}

}  // namespace

std::string EsportaClientiERicarichi(const std::string& path, fb::Attachment& attachment,
                                     const RegionalSettings& rs) {
  fb::Transaction transaction(attachment, fb::TransactionOptions::ServerDefaults());
  {
    fb::Statement clienti(transaction, kTestoClienti, fb::ParamMode::kNone);
    clienti.Execute();

    TextFileWriter file(path, TextFileWriter::Mode::kCreate);
    const std::size_t colonne = clienti.ColumnCount();
    file.WriteLine(Unisci(colonne, [&](std::size_t i) { return clienti.ColumnName(i); }));
    for (; clienti.HasRow(); clienti.Next()) {
      file.WriteLine(
          Unisci(colonne, [&](std::size_t i) { return fb::ValueToText(clienti.Field(i), rs); }));
    }
    clienti.Close();
    file.Close();
  }
  transaction.Rollback();
  return path;
}

}  // namespace et
