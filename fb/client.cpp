#include "fb/client.h"

#include <firebird/Interface.h>

#include "fb/error.h"
#include "platform/codepage.h"

namespace et::fb::detail {

Firebird::IMaster* Master() {
  static Firebird::IMaster* const master = Firebird::fb_get_master_interface();
  return master;
}

Firebird::IUtil* Util() {
  static Firebird::IUtil* const util = Master()->getUtilInterface();
  return util;
}

Status::Status()
    : status_(Master()->getStatus()),
      wrapper_(std::make_unique<Firebird::CheckStatusWrapper>(status_.Get())) {}

Status::~Status() = default;

Firebird::CheckStatusWrapper* Status::get() const {
  Check();
  return wrapper_.get();
}

void Status::Clear() { wrapper_->init(); }

bool Status::Failed() const {
  return (wrapper_->getState() & Firebird::IStatus::STATE_ERRORS) != 0;
}

std::string Status::Message() const {
  // formatStatus truncates silently; a buffer this size holds any status
  // vector the engine builds.
  char buffer[8192];
  const unsigned length = Util()->formatStatus(buffer, sizeof buffer, wrapper_.get());
  std::string text(buffer, length < sizeof buffer ? length : sizeof buffer - 1);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  // Names and values quoted in messages come from statement text and data,
  // which carry Windows-1252 bytes on a connection without character set.
  return Cp1252ToUtf8(text);
}

int Status::Code() const {
  if (!Failed()) return 0;
  const intptr_t* errors = wrapper_->getErrors();
  // The vector is pairs of a kind and a value; the first error code is the
  // value of the first isc_arg_gds pair.
  return errors[0] == isc_arg_gds ? static_cast<int>(errors[1]) : 0;
}

void Status::Check() const {
  if (!Failed()) return;
  const intptr_t* errors = wrapper_->getErrors();
  // Pairs of a kind and a value, but for a counted string (a kind, its
  // length and its text).
  std::vector<int> codes;
  for (const intptr_t* item = errors; *item != isc_arg_end;
       item += *item == isc_arg_cstring ? 3 : 2) {
    if (*item == isc_arg_gds) codes.push_back(static_cast<int>(item[1]));
  }
  char sql_state[FB_SQLSTATE_SIZE] = {};
  fb_sqlstate(sql_state, errors);
  throw DatabaseError(Message(), std::move(codes), sql_state);
}

bool RollBackTransaction(Firebird::ITransaction* transaction) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    Status status;
    transaction->rollback(status.get());
    if (!status.Failed()) return true;
    if (status.Code() != isc_cancelled) return false;
  }
  return false;
}

}  // namespace et::fb::detail
