#include "dbconfig/transactions.h"

#include <array>

#include "fb/statement.h"

namespace et {
namespace {

// Names of the isc_tpb_ codes 1 to 20, by code.
constexpr std::array<const char*, 21> kTpbNames = {
    nullptr,         "consistency",   "concurrency",    "shared",      "protected",
    "exclusive",     "wait",          "nowait",         "read",        "write",
    "lock_read",     "lock_write",    "verb_time",      "commit_time", "ignore_limbo",
    "read_committed", "autocommit",   "rec_version",    "no_rec_version",
    "restart_requests", "no_auto_undo"};

constexpr const char* kPrefix = "isc_tpb_";

std::uint8_t CodeOf(const std::string& line) {
  for (std::uint8_t code = 1; code < kTpbNames.size(); ++code) {
    if (line == std::string(kPrefix) + kTpbNames[code]) return code;
  }
  return 0;
}

}  // namespace

void ImpostaParametriTransazione(TransactionParams& params, TransactionCodeSet set) {
  for (unsigned code = 1; code <= 20; ++code) {
    if (set & CodeBit(code)) params.lines.push_back(std::string(kPrefix) + kTpbNames[code]);
  }
}

fb::Transaction CreaTransazione(fb::Attachment& attachment, TransactionCodeSet set) {
  TransactionParams params;
  ImpostaParametriTransazione(params, set);
  std::vector<std::uint8_t> codes;
  for (const auto& line : params.lines) {
    if (const auto code = CodeOf(line)) codes.push_back(code);
  }
  return fb::Transaction(attachment, codes);
}

fb::Transaction CreaTransazioneSnapshot(fb::Attachment& attachment) {
  return CreaTransazione(attachment, kSetSnapshot);
}

fb::Transaction CreaTransazioneReadCommitted(fb::Attachment& attachment) {
  return CreaTransazione(attachment, kSetReadCommitted);
}

bool EsisteTabella(fb::Attachment& attachment, const std::string& name) {
  fb::Transaction transaction = CreaTransazioneReadCommitted(attachment);
  fb::Statement statement(transaction,
                          "SELECT 1 FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = :NOME");
  statement.Set("NOME", fb::Text(name));
  statement.Execute();
  return statement.HasRow();
}

}  // namespace et
