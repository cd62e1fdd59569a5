#include "exports/customers_export.h"

#include "exports/cell_text.h"
#include "fb/statement.h"
#include "fb/transaction.h"
#include "platform/stop_signals.h"
#include "platform/text_file.h"

namespace et {
namespace {

constexpr const char* kCustomersStatement =
    "SELECT\r\n"
    "  CODICE,\r\n"
    "  INFO1,\r\n"
    "  INFO2\r\n"
    "FROM\r\n"
    "  CLIENTI\r\n"
    "ORDER BY\r\n"
    "  CODICE\r\n";

// The web import splits on ";" alone: nothing is quoted or escaped.
template <typename Cell>
std::string JoinCells(std::size_t n, Cell text) {
  std::string line;
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) line += ';';
    line += text(i);
  }
  return line;
}

}  // namespace

std::string WriteCustomersFile(const std::string& path, fb::Attachment& attachment,
                               const RegionalSettings& rs) {
  fb::Transaction transaction(attachment, fb::TransactionOptions::ServerDefaults());
  {
    fb::Statement customers(attachment, transaction, kCustomersStatement, fb::ParamMode::kNone);
    customers.Execute(transaction);

    TextFileWriter file(path, TextFileWriter::Mode::kCreate);
    const std::size_t columns = customers.ColumnCount();
    file.WriteLine(JoinCells(columns, [&](std::size_t i) { return customers.ColumnName(i); }));
    for (; customers.HasRow(); customers.Next()) {
      ThrowIfStopRequested();
      file.WriteLine(JoinCells(columns, [&](std::size_t i) {
        return WithoutLineBreaks(fb::ValueToText(customers.Field(i), rs));
      }));
    }
    customers.Close();
    file.Close();
  }
  transaction.Rollback();
  return path;
}

}  // namespace et
