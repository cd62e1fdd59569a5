#include "fb/statement.h"

#include <firebird/Interface.h>

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "fb/attachment.h"
#include "fb/blob.h"
#include "fb/client.h"
#include "fb/error.h"
#include "fb/lifetime.h"
#include "fb/named_params.h"
#include "fb/transaction.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/strings.h"

namespace et::fb {
namespace {

using detail::Owned;
using detail::Status;

constexpr unsigned kCharsetOctets = 1;
constexpr unsigned kCharsetUnicodeFss = 3;
constexpr unsigned kCharsetUtf8 = 4;
constexpr unsigned kCharsetWin1252 = 53;
constexpr int kTextBlob = 1;

// Longest text a VARCHAR parameter carries.
constexpr unsigned kMaxVarying = 32765;

// What a message (input or output) says of one parameter or column.
struct FieldInfo {
  unsigned type = 0;
  int sub_type = 0;
  int scale = 0;
  unsigned charset = 0;
  unsigned length = 0;
  unsigned offset = 0;
  unsigned null_offset = 0;
};

std::vector<FieldInfo> Describe(Firebird::IMessageMetadata* meta) {
  std::vector<FieldInfo> fields;
  if (!meta) return fields;
  Status status;
  const unsigned count = status.Checked(meta->getCount(status.get()));
  for (unsigned i = 0; i < count; ++i) {
    FieldInfo f;
    f.type = status.Checked(meta->getType(status.get(), i));
    f.sub_type = status.Checked(meta->getSubType(status.get(), i));
    f.scale = status.Checked(meta->getScale(status.get(), i));
    f.charset = status.Checked(meta->getCharSet(status.get(), i));
    f.length = status.Checked(meta->getLength(status.get(), i));
    f.offset = status.Checked(meta->getOffset(status.get(), i));
    f.null_offset = status.Checked(meta->getNullOffset(status.get(), i));
    fields.push_back(f);
  }
  return fields;
}

// The bytes of a column or parameter of this character set are the value's
// own UTF-8: a Unicode set, or raw octets passed through.
bool IsUtf8Charset(unsigned charset) {
  return charset == kCharsetUtf8 || charset == kCharsetUnicodeFss || charset == kCharsetOctets;
}

// Text bytes of the database as UTF-8: a connection without character set
// hands over each column's bytes as stored, which are Windows-1252 unless
// the column declares a Unicode set or raw octets.
std::string TextFromDatabase(std::string_view bytes, bool utf8) {
  return utf8 ? std::string(bytes) : Cp1252ToUtf8(bytes);
}

// The bytes a text takes in a blob parameter.
std::string BlobToDatabase(const std::string& text, const FieldInfo& param) {
  if (param.sub_type != kTextBlob || IsUtf8Charset(param.charset)) return text;
  return Utf8ToCp1252(text);
}

const char* UnreadableTypeName(unsigned type) {
  switch (type) {
    case SQL_TEXT:
    case SQL_VARYING:
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TIMESTAMP:
    case SQL_BOOLEAN:
    case SQL_BLOB:
    case SQL_NULL:
      return nullptr;
    case SQL_ARRAY:
      return "array";
    default:
      return "unknown";
  }
}

template <typename T>
T Load(const unsigned char* at) {
  T v;
  std::memcpy(&v, at, sizeof v);
  return v;
}

template <typename T>
void Store(unsigned char* at, T v) {
  std::memcpy(at, &v, sizeof v);
}

Date DecodeDate(ISC_DATE d) {
  unsigned y = 0, m = 0, day = 0;
  detail::Util()->decodeDate(d, &y, &m, &day);
  return Date{static_cast<int>(y), static_cast<int>(m), static_cast<int>(day)};
}

Time DecodeTime(ISC_TIME t) {
  unsigned h = 0, m = 0, s = 0, f = 0;
  detail::Util()->decodeTime(t, &h, &m, &s, &f);
  return Time{static_cast<int>(h), static_cast<int>(m), static_cast<int>(s), static_cast<int>(f)};
}

ISC_DATE EncodeDate(const Date& d) {
  return detail::Util()->encodeDate(static_cast<unsigned>(d.year), static_cast<unsigned>(d.month),
                                    static_cast<unsigned>(d.day));
}

ISC_TIME EncodeTime(const Time& t) {
  return detail::Util()->encodeTime(static_cast<unsigned>(t.hour), static_cast<unsigned>(t.minute),
                                    static_cast<unsigned>(t.second),
                                    static_cast<unsigned>(t.fraction));
}

// The one reader of a row buffer: a column's null flag, texts and numbers as
// they lie in the buffer, anything else left to DecodeOther.
RawField ReadRaw(const FieldInfo& f, const unsigned char* row) {
  RawField raw;
  if (Load<ISC_SHORT>(row + f.null_offset) != 0) return raw;
  const unsigned char* at = row + f.offset;
  const char* chars = reinterpret_cast<const char*>(at);
  switch (f.type) {
    case SQL_TEXT:
      raw.kind = RawField::Kind::kText;
      raw.text = std::string_view(chars, f.length);
      raw.utf8 = IsUtf8Charset(f.charset);
      return raw;
    case SQL_VARYING:
      raw.kind = RawField::Kind::kText;
      raw.text = std::string_view(chars + sizeof(ISC_USHORT), Load<ISC_USHORT>(at));
      raw.utf8 = IsUtf8Charset(f.charset);
      return raw;
    case SQL_SHORT:
      raw.kind = RawField::Kind::kNumber;
      raw.number = Scaled{Load<ISC_SHORT>(at), f.scale};
      return raw;
    case SQL_LONG:
      raw.kind = RawField::Kind::kNumber;
      raw.number = Scaled{Load<ISC_LONG>(at), f.scale};
      return raw;
    case SQL_INT64:
      raw.kind = RawField::Kind::kNumber;
      raw.number = Scaled{Load<ISC_INT64>(at), f.scale};
      return raw;
    default:
      raw.kind = RawField::Kind::kOther;
      return raw;
  }
}

// A column that ReadRaw leaves to its Value: floating point, dates and
// times, booleans and blobs (read in `transaction`).
Value DecodeOther(Firebird::IAttachment* attachment, Firebird::ITransaction* transaction,
                  const FieldInfo& f, const unsigned char* at) {
  switch (f.type) {
    case SQL_FLOAT:
      return static_cast<double>(Load<float>(at));
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
      return Load<double>(at);
    case SQL_TYPE_DATE:
      return DecodeDate(Load<ISC_DATE>(at));
    case SQL_TYPE_TIME:
      return DecodeTime(Load<ISC_TIME>(at));
    case SQL_TIMESTAMP: {
      const auto ts = Load<ISC_TIMESTAMP>(at);
      return Timestamp{DecodeDate(ts.timestamp_date), DecodeTime(ts.timestamp_time)};
    }
    case SQL_BOOLEAN:
      return Load<FB_BOOLEAN>(at) != FB_FALSE;
    case SQL_BLOB: {
      std::string bytes = detail::ReadBlob(attachment, transaction, at);
      if (f.sub_type != kTextBlob) return bytes;
      return TextFromDatabase(bytes, IsUtf8Charset(f.charset));
    }
    default:  // SQL_NULL; other types are refused when preparing
      return Null{};
  }
}

// What the input message carries in a parameter's place. Each value is sent
// in a type of its own kind and the engine converts it to the parameter's
// type, as it would a literal; the message is built once, when the statement
// is prepared, for the kinds the parameters' own types suggest, and again
// only when a value of another kind (or a longer text) comes.
struct Carrier {
  unsigned type = 0;    // 0: the parameter's own type (a blob, or a NULL)
  int scale = 0;        // SQL_INT64
  unsigned length = 0;  // SQL_VARYING: the longest text, in bytes
  bool operator==(const Carrier&) const = default;
};

// The carrier the parameter's own type suggests.
Carrier CarrierFor(const FieldInfo& param) {
  switch (param.type) {
    case SQL_TEXT:
    case SQL_VARYING:
      return {SQL_VARYING, 0, std::clamp(param.length, 1u, kMaxVarying)};
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
      return {SQL_INT64, param.scale, 0};
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
      return {SQL_DOUBLE, 0, 0};
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TIMESTAMP:
    case SQL_BOOLEAN:
      return {param.type, 0, 0};
    default:
      return {};
  }
}

// The carrier that takes `value` (as stored by Set: texts already in the
// database's bytes) in place of `current`. A NULL fits any; a longer text
// grows the place at least twofold, so that growing stays rare.
Carrier CarrierFor(const Value& value, const FieldInfo& param, const Carrier& current) {
  if (const auto* bytes = std::get_if<std::string>(&value)) {
    if (param.type == SQL_BLOB) return {};
    if (current.type == SQL_VARYING && bytes->size() <= current.length) return current;
    const std::size_t wanted = std::max<std::size_t>(
        bytes->size(), current.type == SQL_VARYING ? 2 * std::size_t{current.length} : 1);
    return {SQL_VARYING, 0, static_cast<unsigned>(std::min<std::size_t>(wanted, kMaxVarying))};
  }
  if (const auto* n = std::get_if<Scaled>(&value)) return {SQL_INT64, n->scale, 0};
  if (std::holds_alternative<double>(value)) return {SQL_DOUBLE, 0, 0};
  if (std::holds_alternative<Date>(value)) return {SQL_TYPE_DATE, 0, 0};
  if (std::holds_alternative<Time>(value)) return {SQL_TYPE_TIME, 0, 0};
  if (std::holds_alternative<Timestamp>(value)) return {SQL_TIMESTAMP, 0, 0};
  if (std::holds_alternative<bool>(value)) return {SQL_BOOLEAN, 0, 0};
  return current;  // NULL
}

unsigned CarrierLength(const Carrier& c) {
  switch (c.type) {
    case SQL_VARYING:
      return c.length;
    case SQL_INT64:
      return sizeof(ISC_INT64);
    case SQL_DOUBLE:
      return sizeof(double);
    case SQL_TYPE_DATE:
      return sizeof(ISC_DATE);
    case SQL_TYPE_TIME:
      return sizeof(ISC_TIME);
    case SQL_TIMESTAMP:
      return sizeof(ISC_TIMESTAMP);
    default:
      return sizeof(FB_BOOLEAN);
  }
}

}  // namespace

struct Statement::State {
  // The attachment's interface, shared so that it stays valid for the
  // prepared statement and its blobs.
  Owned<Firebird::IAttachment> connection;
  detail::Dependents::Mark attachment_mark;  // relies on the attachment
  Owned<Firebird::IStatement> statement;
  Owned<Firebird::IMessageMetadata> prepared_input;  // the parameters' own types
  Owned<Firebird::IMessageMetadata> output;
  bool selects = false;  // executing opens a cursor

  // Parameters, one entry per position.
  std::vector<std::string> markers;  // the parameter's name, empty for "?"
  std::vector<FieldInfo> params;     // as prepared
  std::vector<Value> values;         // as bound, texts as their bytes; unbound ones are NULL
  std::vector<Carrier> carriers;
  // The input message for the carriers; rebuilt when `carriers` change.
  Owned<Firebird::IMessageMetadata> input;
  std::vector<FieldInfo> slots;
  std::vector<unsigned char> input_buffer;
  bool input_stale = true;

  // The cursor of the last Execute, and the transaction it belongs to.
  Owned<Firebird::IResultSet> cursor;
  Owned<Firebird::ITransaction> cursor_transaction;
  detail::Dependents::Mark transaction_mark;  // relies on that transaction

  std::vector<FieldInfo> columns;
  std::vector<std::string> column_names;
  std::vector<unsigned char> row_buffer;
  mutable std::vector<Value> row;     // decoded on first request, one per column
  mutable std::vector<char> decoded;  // per column: row holds the current row's value
  bool has_row = false;
  // Reused by every fetch, so that reading a row allocates nothing.
  Status fetch_status;

  void Prepare(Attachment& attachment, Transaction& transaction, std::string_view sql,
               ParamMode mode);
  void Free() noexcept;
  void CloseCursor();
  void BuildInput();
  void FillInput(Firebird::ITransaction* transaction);
  void FetchRow();
  const FieldInfo& CurrentColumn(std::size_t index) const;
  const Value& DecodedField(std::size_t index) const;
};

void Statement::State::CloseCursor() {
  has_row = false;
  if (cursor) {
    Status status;
    cursor->close(status.get());
    // A successful close ends the interface. It fails once the transaction
    // has ended (a broken lifetime, or a lost connection); the owner then
    // releases it.
    if (!status.Failed()) cursor.Disown();
    cursor.Reset();
  }
  cursor_transaction.Reset();
  transaction_mark = {};
}

void Statement::State::BuildInput() {
  input_stale = false;
  if (params.empty()) return;
  Status status;
  {
    Owned<Firebird::IMetadataBuilder> builder(prepared_input->getBuilder(status.get()));
    status.Check();
    for (unsigned i = 0; i < params.size(); ++i) {
      const Carrier& c = carriers[i];
      if (c.type == 0) continue;
      builder->setType(status.get(), i, c.type);
      status.Check();
      builder->setSubType(status.get(), i, 0);
      status.Check();
      builder->setLength(status.get(), i, CarrierLength(c));
      status.Check();
      builder->setScale(status.get(), i, c.scale);
      status.Check();
      if (c.type == SQL_VARYING) {
        builder->setCharSet(status.get(), i, kCharsetWin1252);
        status.Check();
      }
    }
    input.Reset(builder->getMetadata(status.get()));
    status.Check();
  }
  slots = Describe(input.Get());
  input_buffer.assign(status.Checked(input->getMessageLength(status.get())), 0);
}

void Statement::State::FillInput(Firebird::ITransaction* transaction) {
  for (std::size_t i = 0; i < slots.size(); ++i) {
    const FieldInfo& f = slots[i];
    const Value& v = values[i];
    unsigned char* at = input_buffer.data() + f.offset;
    Store<ISC_SHORT>(input_buffer.data() + f.null_offset, IsNull(v) ? -1 : 0);
    if (const auto* bytes = std::get_if<std::string>(&v)) {
      if (f.type == SQL_BLOB) {
        detail::WriteBlob(connection.Get(), transaction, *bytes, at);
        continue;
      }
      if (bytes->size() > f.length) {
        throw DatabaseError("A text of " + std::to_string(bytes->size()) +
                            " bytes is longer than a parameter takes (" +
                            std::to_string(kMaxVarying) + ")");
      }
      Store<ISC_USHORT>(at, static_cast<ISC_USHORT>(bytes->size()));
      std::memcpy(at + sizeof(ISC_USHORT), bytes->data(), bytes->size());
    } else if (const auto* n = std::get_if<Scaled>(&v)) {
      Store<ISC_INT64>(at, n->value);
    } else if (const auto* d = std::get_if<double>(&v)) {
      Store<double>(at, *d);
    } else if (const auto* date = std::get_if<Date>(&v)) {
      Store<ISC_DATE>(at, EncodeDate(*date));
    } else if (const auto* time = std::get_if<Time>(&v)) {
      Store<ISC_TIME>(at, EncodeTime(*time));
    } else if (const auto* ts = std::get_if<Timestamp>(&v)) {
      ISC_TIMESTAMP stamp;
      stamp.timestamp_date = EncodeDate(ts->date);
      stamp.timestamp_time = EncodeTime(ts->time);
      Store<ISC_TIMESTAMP>(at, stamp);
    } else if (const auto* b = std::get_if<bool>(&v)) {
      Store<FB_BOOLEAN>(at, *b ? FB_TRUE : FB_FALSE);
    }
  }
}

void Statement::State::FetchRow() {
  has_row = false;
  Status& status = fetch_status;
  status.Clear();
  const int result = status.Checked(cursor->fetchNext(status.get(), row_buffer.data()));
  if (result != Firebird::IStatus::RESULT_OK) {
    CloseCursor();  // past the last row: free the engine's side at once
    return;
  }
  // The row's values are decoded only when asked for: a loop that reads
  // the row buffer through Raw builds no values at all.
  std::fill(decoded.begin(), decoded.end(), 0);
  has_row = true;
}

const FieldInfo& Statement::State::CurrentColumn(std::size_t index) const {
  if (index >= columns.size()) {
    throw ProgrammingError("Field index " + std::to_string(index) + " out of range");
  }
  if (!has_row) throw ProgrammingError("No current row");
  return columns[index];
}

const Value& Statement::State::DecodedField(std::size_t index) const {
  const FieldInfo& f = CurrentColumn(index);
  if (!decoded[index]) {
    const RawField raw = ReadRaw(f, row_buffer.data());
    switch (raw.kind) {
      case RawField::Kind::kNull:
        row[index] = Null{};
        break;
      case RawField::Kind::kText:
        row[index] = TextFromDatabase(raw.text, raw.utf8);
        break;
      case RawField::Kind::kNumber:
        row[index] = raw.number;
        break;
      case RawField::Kind::kOther:
        row[index] = DecodeOther(connection.Get(), cursor_transaction.Get(), f,
                                 row_buffer.data() + f.offset);
        break;
    }
    decoded[index] = 1;
  }
  return row[index];
}

namespace {

// The state of a prepared statement; raises ProgrammingError for a
// moved-from one.
template <typename S>
S& Prepared(const std::unique_ptr<S>& state) {
  if (!state) throw ProgrammingError("The statement is not prepared");
  return *state;
}

}  // namespace

void Statement::State::Free() noexcept {
  CloseCursor();
  if (!statement) return;
  Status status;
  statement->free(status.get());
  // A successful free ends the interface; after a failed one the owner
  // releases it.
  if (!status.Failed()) statement.Disown();
  statement.Reset();
}

Statement::Statement(Attachment& attachment, Transaction& transaction, std::string_view sql,
                     ParamMode mode)
    : state_(std::make_unique<State>()) {
  try {
    state_->Prepare(attachment, transaction, sql, mode);
  } catch (...) {
    state_->Free();
    throw;
  }
}

void Statement::State::Prepare(Attachment& attachment, Transaction& transaction,
                               std::string_view sql, ParamMode mode) {
  State& s = *this;
  if (!attachment.attachment_) throw ProgrammingError("The database is not attached");
  Firebird::ITransaction* tra = transaction.Active();
  s.connection = Owned<Firebird::IAttachment>::Shared(attachment.attachment_.Get());
  s.attachment_mark = attachment.dependents_.Hand();

  ParsedSql parsed;
  if (mode == ParamMode::kNamed) {
    parsed = ParseNamedParams(sql);
  } else {
    parsed.text = std::string(sql);
  }
  const std::string text = Utf8ToCp1252(parsed.text);

  Status status;
  s.statement.Reset(s.connection->prepare(status.get(), tra, static_cast<unsigned>(text.size()),
                                          text.c_str(), 3,
                                          Firebird::IStatement::PREPARE_PREFETCH_METADATA));
  status.Check();
  s.selects = (status.Checked(s.statement->getFlags(status.get())) &
               Firebird::IStatement::FLAG_HAS_CURSOR) != 0;
  s.prepared_input.Reset(s.statement->getInputMetadata(status.get()));
  status.Check();
  s.output.Reset(s.statement->getOutputMetadata(status.get()));
  status.Check();

  s.params = Describe(s.prepared_input.Get());
  s.values.assign(s.params.size(), Null{});
  if (mode == ParamMode::kNamed) {
    if (parsed.markers.size() != s.params.size()) {
      throw DatabaseError("The statement has " + std::to_string(s.params.size()) +
                          " parameters but its text shows " +
                          std::to_string(parsed.markers.size()) + " markers");
    }
    s.markers = std::move(parsed.markers);
  } else {
    s.markers.assign(s.params.size(), std::string());
  }
  for (const FieldInfo& param : s.params) s.carriers.push_back(CarrierFor(param));
  s.BuildInput();

  s.columns = Describe(s.output.Get());
  for (unsigned i = 0; i < s.columns.size(); ++i) {
    const char* alias = status.Checked(s.output->getAlias(status.get(), i));
    s.column_names.push_back(Cp1252ToUtf8(alias ? alias : ""));
    if (const char* bad = UnreadableTypeName(s.columns[i].type)) {
      throw DatabaseError("Column " + s.column_names.back() + " has a type this program " +
                          "cannot read (" + bad + ")");
    }
  }
  if (s.output) s.row_buffer.assign(status.Checked(s.output->getMessageLength(status.get())), 0);
  s.row.assign(s.columns.size(), Null{});
  s.decoded.assign(s.columns.size(), 0);
}

Statement::~Statement() {
  if (state_) state_->Free();
}

Statement::Statement(Statement&&) noexcept = default;

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    if (state_) state_->Free();
    state_ = std::move(other.state_);
  }
  return *this;
}

void Statement::Set(std::string_view name, const Value& value) {
  State& s = Prepared(state_);
  bool found = false;
  for (std::size_t i = 0; i < s.markers.size(); ++i) {
    if (s.markers[i].empty() || !EqualsIgnoringAsciiCase(s.markers[i], name)) continue;
    found = true;
    const FieldInfo& param = s.params[i];
    if (const auto* text = std::get_if<std::string>(&value)) {
      s.values[i] = param.type == SQL_BLOB ? BlobToDatabase(*text, param) : Utf8ToCp1252(*text);
    } else {
      s.values[i] = value;
    }
    const Carrier carrier = CarrierFor(s.values[i], param, s.carriers[i]);
    if (carrier != s.carriers[i]) {
      s.carriers[i] = carrier;
      s.input_stale = true;
    }
  }
  if (!found) throw ProgrammingError("Parameter '" + std::string(name) + "' not found");
}

void Statement::Execute(Transaction& transaction) {
  State& s = Prepared(state_);
  s.CloseCursor();
  Firebird::ITransaction* tra = transaction.Active();
  if (s.input_stale) s.BuildInput();
  s.FillInput(tra);
  unsigned char* data = s.input_buffer.empty() ? nullptr : s.input_buffer.data();
  Status status;
  if (s.selects) {
    s.cursor.Reset(
        s.statement->openCursor(status.get(), tra, s.input.Get(), data, s.output.Get(), 0));
    status.Check();
    s.cursor_transaction = Owned<Firebird::ITransaction>::Shared(tra);
    s.transaction_mark = transaction.cursors_.Hand();
    s.FetchRow();
    return;
  }
  const bool returns = !s.columns.empty();
  s.statement->execute(status.get(), tra, s.input.Get(), data, returns ? s.output.Get() : nullptr,
                       returns ? s.row_buffer.data() : nullptr);
  status.Check();
  if (!returns) return;
  // EXECUTE PROCEDURE and RETURNING give their one row of output this way.
  // It is decoded at once, blobs included, so that it relies on no
  // transaction.
  std::fill(s.decoded.begin(), s.decoded.end(), 0);
  s.has_row = true;
  s.cursor_transaction = Owned<Firebird::ITransaction>::Shared(tra);
  for (std::size_t i = 0; i < s.columns.size(); ++i) s.DecodedField(i);
  s.cursor_transaction.Reset();
}

bool Statement::HasRow() const { return state_ && state_->has_row; }

bool Statement::Next() {
  State& s = Prepared(state_);
  if (!s.cursor) {
    s.has_row = false;
    return false;
  }
  s.FetchRow();
  return s.has_row;
}

void Statement::Close() {
  if (state_) state_->CloseCursor();
}

std::size_t Statement::ColumnCount() const { return Prepared(state_).columns.size(); }

const std::string& Statement::ColumnName(std::size_t index) const {
  const State& s = Prepared(state_);
  if (index >= s.column_names.size()) {
    throw ProgrammingError("Field index " + std::to_string(index) + " out of range");
  }
  return s.column_names[index];
}

std::size_t Statement::ColumnIndex(std::string_view name) const {
  const State& s = Prepared(state_);
  for (std::size_t i = 0; i < s.column_names.size(); ++i) {
    if (EqualsIgnoringAsciiCase(s.column_names[i], name)) return i;
  }
  throw ProgrammingError("Field '" + std::string(name) + "' not found");
}

const Value& Statement::Field(std::size_t index) const {
  return Prepared(state_).DecodedField(index);
}

const Value& Statement::Field(std::string_view name) const { return Field(ColumnIndex(name)); }

RawField Statement::Raw(std::size_t index) const {
  const State& s = Prepared(state_);
  return ReadRaw(s.CurrentColumn(index), s.row_buffer.data());
}

}  // namespace et::fb
