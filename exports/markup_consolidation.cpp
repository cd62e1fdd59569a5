#include "exports/markup_consolidation.h"

#include <initializer_list>
#include <optional>
#include <string>

#include "exports/statement_text.h"
#include "fb/statement.h"
#include "fb/transaction.h"
#include "platform/error.h"
#include "platform/stop_signals.h"

namespace et {
namespace {

std::string ResetStatement() { return SqlLines({"UPDATE CLIENTI SET", "INFO1=NULL,", "INFO2=1"}); }

// COALESCE makes customers without a band count as the default band.
std::string PresetStatement(std::int32_t default_band) {
  const std::string band = std::to_string(default_band);
  return SqlLines({"UPDATE CLIENTI SET", "INFO1=0,", "INFO2=NULL", "WHERE",
                   "  COALESCE(TIPOPREZZO," + band + ")=" + band});
}

std::string BandsStatement() {
  return SqlLines({
      "SELECT",
      "  A.TIPOPREZZO,",
      "  B.LISTINORICARICO",
      "FROM",
      "  CLIENTI A",
      "  LEFT JOIN FASCESC B ON",
      "  A.TIPOPREZZO=B.ID",
      "WHERE",
      "  A.TIPOPREZZO IS NOT NULL",
      "  AND",
      "  B.LISTINORICARICO IS NOT NULL",
      "GROUP BY",
      "  A.TIPOPREZZO,",
      "  B.LISTINORICARICO",
  });
}

std::string MarkupStatement() {
  return SqlLines({
      "SELECT",
      "  MAX(SCONTO1)            AS PERCENTUALE,",
      "  COUNT(DISTINCT SCONTO1) AS SCONTI",
      "FROM",
      "  LISTSCDTSCO",
      "WHERE",
      "  IDLISTSC=:IDLISTSC",
      "  AND",
      "  CURRENT_DATE BETWEEN",
      "    COALESCE(DATAINIZIOVALIDITA,CURRENT_DATE)",
      "    AND",
      "    COALESCE(DATAFINEVALIDITA,CURRENT_DATE)",
  });
}

std::string UpdateStatement() {
  return SqlLines(
      {"UPDATE CLIENTI SET", "INFO1=:INFO1,", "INFO2=:INFO2", "WHERE", "  TIPOPREZZO=:TIPOPREZZO"});
}

// Runs `action`; an error comes out with the prefix and a CR before its own
// message (one line of the run's output), keeping its type and engine code.
template <typename Action>
void WithPrefix(const char* prefix, Action action) {
  try {
    action();
  } catch (Error& e) {
    e.AddContext(prefix, Error::ContextBreak::kCarriageReturn);
    throw;
  }
}

}  // namespace

void ConsolidateMarkups(fb::Attachment& attachment, std::int32_t default_band,
                        const RegionalSettings& rs) {
  // No wait: a customer row locked by the business system fails at once
  // rather than stalling an unattended run. A transaction that does not
  // reach its commit is rolled back when it dies, which leaves every customer
  // as it was: publishing half-reset markups would be worse than old ones.
  fb::Transaction transaction(attachment, fb::TransactionOptions::Snapshot());

  WithPrefix(kResetFailed, [&] {
    fb::Statement reset(attachment, transaction, ResetStatement(), fb::ParamMode::kNone);
    reset.Execute(transaction);
  });
  WithPrefix(kPresetFailed, [&] {
    fb::Statement preset(attachment, transaction, PresetStatement(default_band),
                         fb::ParamMode::kNone);
    preset.Execute(transaction);
  });

  {
    std::optional<fb::Statement> update;  // prepared on its first use
    fb::Statement markup(attachment, transaction, MarkupStatement(), fb::ParamMode::kNamed);
    fb::Statement bands(attachment, transaction, BandsStatement(), fb::ParamMode::kNone);
    for (bands.Execute(transaction); bands.HasRow(); bands.Next()) {
      ThrowIfStopRequested();
      markup.Close();
      markup.Set("IDLISTSC", fb::Int(fb::ValueToInt32(bands.Field("LISTINORICARICO"))));
      markup.Execute(transaction);
      if (!markup.HasRow() || fb::IsNull(markup.Field("PERCENTUALE"))) continue;

      const fb::Value price_band = fb::Int(fb::ValueToInt32(bands.Field("TIPOPREZZO")));
      const fb::Value info1 =
          fb::Text(FormatFixed2(fb::ValueToDouble(markup.Field("PERCENTUALE")), rs));
      const fb::Value info2 =
          fb::ValueToInt32(markup.Field("SCONTI")) < 2 ? fb::Value(fb::Null{}) : fb::Int(2);
      WithPrefix(kUpdateFailed, [&] {
        if (!update) {
          update.emplace(attachment, transaction, UpdateStatement(), fb::ParamMode::kNamed);
        }
        update->Set("TIPOPREZZO", price_band);
        update->Set("INFO1", info1);
        update->Set("INFO2", info2);
        update->Execute(transaction);
      });
    }
    bands.Close();
    markup.Close();
  }
  transaction.Commit();
}

}  // namespace et
