#include "exports/markup_consolidation.h"

#include <initializer_list>
#include <optional>
#include <string>

#include "exports/statement_text.h"
#include "fb/statement.h"
#include "fb/transaction.h"
#include "platform/error.h"

namespace et {
namespace {

std::string TestoReset() { return Righe({"UPDATE CLIENTI SET", "INFO1=NULL,", "INFO2=1"}); }

// COALESCE makes customers without a band count as the default band.
std::string TestoPreset(std::int32_t fascia_default) {
  const std::string fascia = std::to_string(fascia_default);
  return Righe({"UPDATE CLIENTI SET", "INFO1=0,", "INFO2=NULL", "WHERE",
                "  COALESCE(TIPOPREZZO," + fascia + ")=" + fascia});
}

std::string TestoFasce() {
  return Righe({
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

std::string TestoRicarico() {
  return Righe({
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

std::string TestoAggiornamento() {
  return Righe(
      {"UPDATE CLIENTI SET", "INFO1=:INFO1,", "INFO2=:INFO2", "WHERE", "  TIPOPREZZO=:TIPOPREZZO"});
}

// Runs `azione`; an error of the database layer comes out with the prefix,
// a CR and the database's message.
template <typename Azione>
void ConPrefisso(const char* prefisso, Azione azione) {
  try {
    azione();
  } catch (const Error& e) {
    throw Error(std::string(prefisso) + "\r" + e.what());
  }
}

}  // namespace

void ConsolidaRicarichi(fb::Attachment& attachment, std::int32_t fascia_default,
                        const RegionalSettings& rs) {
  // No wait: a customer row locked by the business system fails at once
  // rather than stalling an unattended run. A transaction that does not
  // reach its commit is rolled back when it dies, which leaves every customer
  // as it was: publishing half-reset markups would be worse than old ones.
  fb::Transaction transaction(attachment, fb::TransactionOptions::Snapshot());

  ConPrefisso(kFallitoReset, [&] {
    fb::Statement reset(transaction, TestoReset(), fb::ParamMode::kNone);
    reset.Execute();
  });
  ConPrefisso(kFallitoPreset, [&] {
    fb::Statement preset(transaction, TestoPreset(fascia_default), fb::ParamMode::kNone);
    preset.Execute();
  });

  {
    std::optional<fb::Statement> aggiornamento;  // prepared on its first use
    fb::Statement ricarico(transaction, TestoRicarico(), fb::ParamMode::kNamed);
    fb::Statement fasce(transaction, TestoFasce(), fb::ParamMode::kNone);
    for (fasce.Execute(); fasce.HasRow(); fasce.Next()) {
      ricarico.Close();
      ricarico.Set("IDLISTSC", fb::Int(fb::ValueToInt32(fasce.Field("LISTINORICARICO"))));
      ricarico.Execute();
      if (!ricarico.HasRow() || fb::IsNull(ricarico.Field("PERCENTUALE"))) continue;

      const fb::Value tipo_prezzo = fb::Int(fb::ValueToInt32(fasce.Field("TIPOPREZZO")));
      const fb::Value info1 =
          fb::Text(FormatFixed2(fb::ValueToDouble(ricarico.Field("PERCENTUALE")), rs));
      const fb::Value info2 =
          fb::ValueToInt32(ricarico.Field("SCONTI")) < 2 ? fb::Value(fb::Null{}) : fb::Int(2);
      ConPrefisso(kFallitoAggiornamento, [&] {
        if (!aggiornamento) {
          aggiornamento.emplace(transaction, TestoAggiornamento(), fb::ParamMode::kNamed);
        }
        aggiornamento->Set("TIPOPREZZO", tipo_prezzo);
        aggiornamento->Set("INFO1", info1);
        aggiornamento->Set("INFO2", info2);
        aggiornamento->Execute();
      });
    }
    fasce.Close();
    ricarico.Close();
  }
  transaction.Commit();
}

}  // namespace et
