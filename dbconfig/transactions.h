// Transactions built from a set of Firebird transaction parameter codes, and
// the existence test of a table.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fb/attachment.h"
#include "fb/transaction.h"

namespace et {

// Bit n stands for the transaction parameter whose code is n (isc_tpb_*);
// only codes 1 to 20 are looked at.
using TransactionCodeSet = std::uint32_t;

inline constexpr TransactionCodeSet CodeBit(unsigned code) { return TransactionCodeSet{1} << code; }
inline constexpr TransactionCodeSet kSetSnapshot = CodeBit(2) | CodeBit(7);          // 132
inline constexpr TransactionCodeSet kSetReadCommitted = CodeBit(15) | CodeBit(17);  // 163840

// The parameter list of a transaction: lines such as "isc_tpb_concurrency".
struct TransactionParams {
  std::vector<std::string> lines;
};

// Appends "isc_tpb_<name>" for every code of the set, in ascending order;
// lines already in the list stay.
void ImpostaParametriTransazione(TransactionParams& params, TransactionCodeSet set);

// A new transaction on the attachment, started at once. The empty set gives
// no parameter block (the server's defaults). Raises fb::DatabaseError, also
// when the attachment is not attached.
fb::Transaction CreaTransazione(fb::Attachment& attachment, TransactionCodeSet set);
// Snapshot, no wait: {concurrency, nowait}.
fb::Transaction CreaTransazioneSnapshot(fb::Attachment& attachment);
// Read committed, latest committed version: {read_committed, rec_version}.
fb::Transaction CreaTransazioneReadCommitted(fb::Attachment& attachment);

// True when the table exists (name as stored, in capitals for an unquoted
// name). Runs in a read-committed transaction of its own.
bool EsisteTabella(fb::Attachment& attachment, const std::string& name);

}  // namespace et
