#include "fb/statement.h"

#include <firebird/Interface.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "fb/attachment.h"
#include "fb/blob.h"
#include "fb/client.h"
#include "fb/error.h"
#include "fb/named_params.h"
#include "fb/transaction.h"
#include "platform/codepage.h"

namespace et::fb {
namespace detail {

// What the prepared statement says of one parameter or column.
struct FieldInfo {
  unsigned type = 0;
  int sub_type = 0;
  int scale = 0;
  unsigned charset = 0;
  unsigned length = 0;
  unsigned offset = 0;
  unsigned null_offset = 0;
};

struct StatementHandle {
  TransactionHandle* transaction = nullptr;  // null once the transaction object died
  Firebird::IAttachment* attachment = nullptr;
  Owned<Firebird::IStatement> statement;
  Owned<Firebird::IMessageMetadata> input;   // as prepared
  Owned<Firebird::IMessageMetadata> output;  // as prepared
  Owned<Firebird::IResultSet> cursor;
  bool selects = false;  // executing opens a cursor

  std::vector<std::string> markers;  // name per parameter position, empty for "?"
  std::vector<std::string> names;    // distinct names, in order of first appearance
  std::vector<FieldInfo> params;
  std::vector<Value> values;  // bound per position; unbound ones are NULL

  std::vector<FieldInfo> columns;
  std::vector<std::string> column_names;
  std::vector<unsigned char> row_buffer;
  std::vector<Value> row;     // decoded on first request, one per column
  std::vector<char> decoded;  // per column: row holds the current row's value
  bool has_row = false;
  std::size_t affected = 0;
  // Reused by every fetch, so that reading a row allocates nothing.
  Status fetch_status;
};

}  // namespace detail

namespace {

using detail::FieldInfo;
using detail::StatementHandle;
using detail::Status;

constexpr unsigned kCharsetOctets = 1;
constexpr unsigned kCharsetUnicodeFss = 3;
constexpr unsigned kCharsetUtf8 = 4;
constexpr unsigned kCharsetWin1252 = 53;
constexpr int kTextBlob = 1;

// Longest text a VARCHAR parameter carries.
constexpr std::size_t kMaxVarying = 32765;

bool IsUtf8Charset(unsigned charset) {
  return charset == kCharsetUtf8 || charset == kCharsetUnicodeFss;
}

// Text bytes of the database as UTF-8: a connection without character set
// hands over each column's bytes as stored, which are Windows-1252 unless
// the column declares a Unicode set or raw octets.
std::string TextFromDatabase(std::string bytes, unsigned charset) {
  if (IsUtf8Charset(charset) || charset == kCharsetOctets) return bytes;
  return Cp1252ToUtf8(bytes);
}

std::string BlobFromDatabase(std::string bytes, const FieldInfo& f) {
  if (f.sub_type != kTextBlob) return bytes;
  return TextFromDatabase(std::move(bytes), f.charset);
}

std::string BlobToDatabase(const std::string& text, const FieldInfo& f) {
  if (f.sub_type != kTextBlob || IsUtf8Charset(f.charset) || f.charset == kCharsetOctets) {
    return text;
  }
  return Utf8ToCp1252(text);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

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

Value DecodeColumn(const StatementHandle& h, const FieldInfo& f, const unsigned char* row) {
  if (Load<ISC_SHORT>(row + f.null_offset) != 0) return Null{};
  const unsigned char* at = row + f.offset;
  switch (f.type) {
    case SQL_TEXT:
      return TextFromDatabase(std::string(reinterpret_cast<const char*>(at), f.length), f.charset);
    case SQL_VARYING: {
      const auto length = Load<ISC_USHORT>(at);
      return TextFromDatabase(
          std::string(reinterpret_cast<const char*>(at + sizeof(ISC_USHORT)), length), f.charset);
    }
    case SQL_SHORT:
      return Scaled{Load<ISC_SHORT>(at), f.scale};
    case SQL_LONG:
      return Scaled{Load<ISC_LONG>(at), f.scale};
    case SQL_INT64:
      return Scaled{Load<ISC_INT64>(at), f.scale};
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
    case SQL_BLOB:
      return BlobFromDatabase(detail::ReadBlob(h.attachment, h.transaction->transaction.Get(), at),
                              f);
    default:  // SQL_NULL; other types are refused when preparing
      return Null{};
  }
}

Firebird::ITransaction* ActiveTransaction(const StatementHandle& h) {
  if (!h.transaction || !h.transaction->transaction || !h.transaction->owner) {
    throw DatabaseError("The transaction of the statement is not active");
  }
  return h.transaction->transaction.Get();
}

void CloseCursor(StatementHandle& h) {
  h.has_row = false;
  if (!h.cursor) return;
  Status status;
  h.cursor->close(status.get());
  // A successful close ends the interface. It fails once the transaction has
  // ended, which closed the cursor already; the owner then releases it.
  if (!status.Failed()) h.cursor.Disown();
  h.cursor.Reset();
}

void ReleaseAll(StatementHandle& h) {
  CloseCursor(h);
  h.input.Reset();
  h.output.Reset();
  if (h.statement) {
    Status status;
    h.statement->free(status.get());
    // A successful free ends the interface; after a failed one the owner
    // releases it.
    if (!status.Failed()) h.statement.Disown();
    h.statement.Reset();
  }
  if (h.transaction) detail::Unregister(h.transaction->statements, &h);
  h.transaction = nullptr;
}

void Discard(std::unique_ptr<StatementHandle>& handle) {
  if (handle) ReleaseAll(*handle);
  handle.reset();
}

StatementHandle& Checked(const std::unique_ptr<StatementHandle>& handle) {
  if (!handle || !handle->statement) throw Error("The statement is not prepared");
  return *handle;
}

// The input message: metadata built from the bound values' own types, so
// that the engine converts each value to its parameter's type, and the
// buffer that carries them.
class InputMessage final {
 public:
  InputMessage(const StatementHandle& h, Firebird::ITransaction* transaction) {
    if (h.params.empty()) return;
    Status status;
    {
      detail::Owned<Firebird::IMetadataBuilder> builder(h.input->getBuilder(status.get()));
      status.Check();
      for (unsigned i = 0; i < h.params.size(); ++i) {
        DescribeParam(builder.Get(), status, i, h.params[i], h.values[i]);
      }
      meta_.Reset(builder->getMetadata(status.get()));
      status.Check();
    }
    const std::vector<FieldInfo> fields = Describe(meta_.Get());
    const unsigned length = status.Checked(meta_->getMessageLength(status.get()));
    data_.assign(length, 0);
    for (unsigned i = 0; i < fields.size(); ++i) {
      Fill(h, transaction, h.params[i], fields[i], h.values[i]);
    }
  }
  InputMessage(const InputMessage&) = delete;
  InputMessage& operator=(const InputMessage&) = delete;

  Firebird::IMessageMetadata* meta() const { return meta_.Get(); }
  unsigned char* data() { return data_.empty() ? nullptr : data_.data(); }

 private:
  static void SetType(Firebird::IMetadataBuilder* b, Status& status, unsigned i, unsigned type,
                      unsigned length, int scale = 0) {
    b->setType(status.get(), i, type);
    status.Check();
    b->setSubType(status.get(), i, 0);
    status.Check();
    b->setLength(status.get(), i, length);
    status.Check();
    b->setScale(status.get(), i, scale);
    status.Check();
  }

  // A NULL keeps its parameter's type, and so does a text for a blob
  // parameter: that text is written as a blob of its own first.
  static void DescribeParam(Firebird::IMetadataBuilder* b, Status& status, unsigned i,
                            const FieldInfo& param, const Value& v) {
    if (const auto* s = std::get_if<std::string>(&v)) {
      if (param.type == SQL_BLOB) return;
      // The length must be that of the converted bytes, which is at most
      // the UTF-8 length; a longer declared length is harmless.
      const std::size_t length = s->size() < kMaxVarying ? s->size() : kMaxVarying;
      SetType(b, status, i, SQL_VARYING, static_cast<unsigned>(length == 0 ? 1 : length));
      b->setCharSet(status.get(), i, kCharsetWin1252);
      status.Check();
    } else if (const auto* n = std::get_if<Scaled>(&v)) {
      SetType(b, status, i, SQL_INT64, sizeof(ISC_INT64), n->scale);
    } else if (std::holds_alternative<double>(v)) {
      SetType(b, status, i, SQL_DOUBLE, sizeof(double));
    } else if (std::holds_alternative<Date>(v)) {
      SetType(b, status, i, SQL_TYPE_DATE, sizeof(ISC_DATE));
    } else if (std::holds_alternative<Time>(v)) {
      SetType(b, status, i, SQL_TYPE_TIME, sizeof(ISC_TIME));
    } else if (std::holds_alternative<Timestamp>(v)) {
      SetType(b, status, i, SQL_TIMESTAMP, sizeof(ISC_TIMESTAMP));
    } else if (std::holds_alternative<bool>(v)) {
      SetType(b, status, i, SQL_BOOLEAN, sizeof(FB_BOOLEAN));
    }
  }

  void Fill(const StatementHandle& h, Firebird::ITransaction* transaction, const FieldInfo& param,
            const FieldInfo& f, const Value& v) {
    unsigned char* at = data_.data() + f.offset;
    Store<ISC_SHORT>(data_.data() + f.null_offset, IsNull(v) ? -1 : 0);
    if (const auto* s = std::get_if<std::string>(&v)) {
      if (f.type == SQL_BLOB) {
        detail::WriteBlob(h.attachment, transaction, BlobToDatabase(*s, param), at);
        return;
      }
      const std::string bytes = Utf8ToCp1252(*s);
      if (bytes.size() > f.length) {
        throw DatabaseError("A text of " + std::to_string(bytes.size()) +
                            " bytes is longer than a parameter takes (" +
                            std::to_string(kMaxVarying) + ")");
      }
      Store<ISC_USHORT>(at, static_cast<ISC_USHORT>(bytes.size()));
      std::memcpy(at + sizeof(ISC_USHORT), bytes.data(), bytes.size());
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

  detail::Owned<Firebird::IMessageMetadata> meta_;
  std::vector<unsigned char> data_;
};

// The row's values are decoded only when asked for: a loop that reads the
// row buffer directly builds no values at all.
void DecodeRow(StatementHandle& h) {
  std::fill(h.decoded.begin(), h.decoded.end(), 0);
  h.has_row = true;
}

// The current row's column, checked for range and for a current row.
const FieldInfo& CurrentColumn(const StatementHandle& h, std::size_t index) {
  if (index >= h.columns.size()) {
    throw Error("Field index " + std::to_string(index) + " out of range");
  }
  if (!h.has_row) throw Error("No current row");
  return h.columns[index];
}

const Value& DecodedField(StatementHandle& h, std::size_t index) {
  const FieldInfo& f = CurrentColumn(h, index);
  if (!h.decoded[index]) {
    h.row[index] = DecodeColumn(h, f, h.row_buffer.data());
    h.decoded[index] = 1;
  }
  return h.row[index];
}

// Text bytes of the database as Windows-1252: a column of a single-byte set
// is copied as stored (its round trip through UTF-8 gives the same bytes);
// Unicode and octets texts go the way their values go.
void AppendTextBytes(std::string_view bytes, unsigned charset, std::string& out) {
  if (IsUtf8Charset(charset) || charset == kCharsetOctets) {
    out += Utf8ToCp1252(TextFromDatabase(std::string(bytes), charset));
  } else {
    out.append(bytes);
  }
}

void FetchRow(StatementHandle& h) {
  h.has_row = false;
  Status& status = h.fetch_status;
  status.Clear();
  const int result = status.Checked(h.cursor->fetchNext(status.get(), h.row_buffer.data()));
  if (result == Firebird::IStatus::RESULT_OK) {
    DecodeRow(h);
  } else {
    CloseCursor(h);  // past the last row: free the engine's side at once
  }
}

}  // namespace

namespace detail {

void CloseCursors(TransactionHandle& transaction) {
  for (StatementHandle* s : transaction.statements) CloseCursor(*s);
}

void LoseTransaction(StatementHandle& statement) {
  CloseCursor(statement);
  statement.transaction = nullptr;
}

}  // namespace detail

Statement::Statement(Transaction& transaction, std::string_view sql, ParamMode mode)
    : handle_(std::make_unique<StatementHandle>()) {
  try {
    Prepare(transaction, sql, mode);
  } catch (...) {
    Discard(handle_);
    throw;
  }
}

void Statement::Prepare(Transaction& transaction, std::string_view sql, ParamMode mode) {
  StatementHandle& h = *handle_;
  detail::TransactionHandle* th = transaction.Handle();
  if (!th || !th->transaction || !th->owner) throw DatabaseError("The transaction is not active");
  h.attachment = th->owner->attachment.Get();

  ParsedSql parsed;
  if (mode == ParamMode::kNamed) {
    parsed = ParseNamedParams(sql);
  } else {
    parsed.text = std::string(sql);
  }
  const std::string text = Utf8ToCp1252(parsed.text);

  Status status;
  h.statement.Reset(h.attachment->prepare(status.get(), th->transaction.Get(),
                                          static_cast<unsigned>(text.size()), text.c_str(), 3,
                                          Firebird::IStatement::PREPARE_PREFETCH_METADATA));
  status.Check();
  h.transaction = th;
  th->statements.push_back(&h);  // from here the destructor frees the statement

  h.selects = (status.Checked(h.statement->getFlags(status.get())) &
               Firebird::IStatement::FLAG_HAS_CURSOR) != 0;
  h.input.Reset(h.statement->getInputMetadata(status.get()));
  status.Check();
  h.output.Reset(h.statement->getOutputMetadata(status.get()));
  status.Check();

  h.params = Describe(h.input.Get());
  h.values.assign(h.params.size(), Null{});
  if (mode == ParamMode::kNamed) {
    if (parsed.markers.size() != h.params.size()) {
      throw DatabaseError("The statement has " + std::to_string(h.params.size()) +
                          " parameters but its text shows " +
                          std::to_string(parsed.markers.size()) + " markers");
    }
    h.markers = std::move(parsed.markers);
    for (const std::string& name : h.markers) {
      if (name.empty()) continue;
      bool seen = false;
      for (const std::string& n : h.names) seen = seen || n == name;
      if (!seen) h.names.push_back(name);
    }
  } else {
    h.markers.assign(h.params.size(), std::string());
  }

  h.columns = Describe(h.output.Get());
  for (unsigned i = 0; i < h.columns.size(); ++i) {
    const char* alias = status.Checked(h.output->getAlias(status.get(), i));
    h.column_names.push_back(Cp1252ToUtf8(alias ? alias : ""));
    if (const char* bad = UnreadableTypeName(h.columns[i].type)) {
      throw DatabaseError("Column " + h.column_names.back() + " has a type this program " +
                          "cannot read (" + bad + ")");
    }
  }
  if (h.output) {
    const unsigned length = status.Checked(h.output->getMessageLength(status.get()));
    h.row_buffer.assign(length, 0);
  }
  h.row.assign(h.columns.size(), Null{});
  h.decoded.assign(h.columns.size(), 0);
}

Statement::~Statement() { Discard(handle_); }

Statement::Statement(Statement&&) noexcept = default;

Statement& Statement::operator=(Statement&& other) noexcept {
  if (this != &other) {
    Discard(handle_);
    handle_ = std::move(other.handle_);
  }
  return *this;
}

std::vector<std::string> Statement::ParamNames() const { return Checked(handle_).names; }

void Statement::Set(std::string_view name, const Value& value) {
  StatementHandle& h = Checked(handle_);
  bool found = false;
  for (std::size_t i = 0; i < h.markers.size(); ++i) {
    if (!h.markers[i].empty() && SameName(h.markers[i], name)) {
      h.values[i] = value;
      found = true;
    }
  }
  if (!found) throw Error("Parameter '" + std::string(name) + "' not found");
}

void Statement::SetAt(std::size_t index, const Value& value) {
  StatementHandle& h = Checked(handle_);
  if (index >= h.values.size()) {
    throw Error("Parameter index " + std::to_string(index) + " out of range (the statement has " +
                std::to_string(h.values.size()) + ")");
  }
  h.values[index] = value;
}

void Statement::Execute() {
  StatementHandle& h = Checked(handle_);
  CloseCursor(h);
  h.affected = 0;
  Firebird::ITransaction* transaction = ActiveTransaction(h);
  InputMessage in(h, transaction);
  Status status;
  if (h.selects) {
    h.cursor.Reset(h.statement->openCursor(status.get(), transaction, in.meta(), in.data(),
                                           h.output.Get(), 0));
    status.Check();
    FetchRow(h);
    return;
  }
  h.statement->execute(status.get(), transaction, in.meta(), in.data(),
                       h.columns.empty() ? nullptr : h.output.Get(),
                       h.columns.empty() ? nullptr : h.row_buffer.data());
  status.Check();
  h.affected = static_cast<std::size_t>(h.statement->getAffectedRecords(status.get()));
  if (status.Failed()) h.affected = 0;
  // EXECUTE PROCEDURE and RETURNING give their one row of output this way.
  if (!h.columns.empty()) DecodeRow(h);
}

bool Statement::HasRow() const { return handle_ && handle_->has_row; }

bool Statement::Next() {
  StatementHandle& h = Checked(handle_);
  if (!h.cursor) {
    h.has_row = false;
    return false;
  }
  ActiveTransaction(h);
  FetchRow(h);
  return h.has_row;
}

void Statement::Close() {
  if (handle_) CloseCursor(*handle_);
}

std::size_t Statement::ColumnCount() const { return Checked(handle_).columns.size(); }

std::string Statement::ColumnName(std::size_t index) const {
  const StatementHandle& h = Checked(handle_);
  if (index >= h.column_names.size()) {
    throw Error("Field index " + std::to_string(index) + " out of range");
  }
  return h.column_names[index];
}

const Value& Statement::Field(std::size_t index) const {
  return DecodedField(Checked(handle_), index);
}

const Value& Statement::Field(std::string_view name) const { return Field(ColumnIndex(name)); }

std::size_t Statement::ColumnIndex(std::string_view name) const {
  const StatementHandle& h = Checked(handle_);
  for (std::size_t i = 0; i < h.column_names.size(); ++i) {
    if (SameName(h.column_names[i], name)) return i;
  }
  throw Error("Field '" + std::string(name) + "' not found");
}

void Statement::AppendFieldBytes(std::size_t index, const RegionalSettings& rs,
                                 std::string& out) const {
  StatementHandle& h = Checked(handle_);
  const FieldInfo& f = CurrentColumn(h, index);
  const unsigned char* row = h.row_buffer.data();
  if (Load<ISC_SHORT>(row + f.null_offset) != 0) return;
  const unsigned char* at = row + f.offset;
  // A separator outside ASCII is not a character of UTF-8 text on its own;
  // such a number goes the way of its value.
  const bool ascii_separator = static_cast<unsigned char>(rs.decimal_separator) < 0x80;
  switch (f.type) {
    case SQL_TEXT:
      AppendTextBytes(std::string_view(reinterpret_cast<const char*>(at), f.length), f.charset,
                      out);
      return;
    case SQL_VARYING:
      AppendTextBytes(std::string_view(reinterpret_cast<const char*>(at + sizeof(ISC_USHORT)),
                                       Load<ISC_USHORT>(at)),
                      f.charset, out);
      return;
    case SQL_SHORT:
      if (ascii_separator) return AppendScaled(Load<ISC_SHORT>(at), f.scale, rs, out);
      break;
    case SQL_LONG:
      if (ascii_separator) return AppendScaled(Load<ISC_LONG>(at), f.scale, rs, out);
      break;
    case SQL_INT64:
      if (ascii_separator) return AppendScaled(Load<ISC_INT64>(at), f.scale, rs, out);
      break;
    default:
      break;
  }
  out += Utf8ToCp1252(ValueToText(DecodedField(h, index), rs));
}

std::size_t Statement::AffectedRows() const { return Checked(handle_).affected; }

}  // namespace et::fb
