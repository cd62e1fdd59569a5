// Statements prepared once on an attachment and executed as often as needed,
// each time with a transaction of the caller's choice, with named parameters
// and forward-only result sets.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "fb/value.h"

namespace et::fb {

class Attachment;
class Transaction;

// How the statement text marks its parameters.
enum class ParamMode {
  kNamed,  // ":NAME" outside string literals, quoted identifiers and comments
           // becomes a positional marker; a name may occur more than once
  kNone,   // the text is sent untouched
};

// A column of the current row as the engine's message holds it, read without
// building a Value: for loops that format many rows into one buffer.
struct RawField {
  enum class Kind {
    kNull,    // SQL NULL
    kText,    // CHAR or VARCHAR: `text`
    kNumber,  // SMALLINT, INTEGER, BIGINT, NUMERIC or DECIMAL: `number`
    kOther,   // any other type: read it through Statement::Field
  };
  // What the column holds on this row.
  Kind kind = Kind::kNull;
  // kText: the stored bytes, valid until the statement moves on; CHAR keeps
  // its trailing blanks.
  std::string_view text;
  // kText: true when the column declares a Unicode set or raw octets, whose
  // bytes are the value's own UTF-8; otherwise they are Windows-1252.
  bool utf8 = false;
  // kNumber: the number.
  Scaled number;
};

// A statement prepared on an attachment, which must outlive it. Each Execute
// names the transaction to run in; a selecting statement's open cursor
// belongs to that transaction, which must stay active until the cursor is
// closed: by Close, by the next Execute, past the last row, or when the
// statement dies (see fb/attachment.h).
class Statement final {
 public:
  // Prepares the text (SQL dialect 3) on the attachment, within
  // `transaction` for the engine's look-up of the names it uses. Raises
  // DatabaseError.
  Statement(Attachment& attachment, Transaction& transaction, std::string_view sql,
            ParamMode mode = ParamMode::kNamed);
  // Closes the cursor and frees the prepared statement.
  ~Statement();
  // Takes over the other's prepared statement, leaving it unprepared.
  Statement(Statement&&) noexcept;
  // Frees this object's statement, then takes over the other's.
  Statement& operator=(Statement&&) noexcept;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Binds every occurrence of the named parameter (name compared without
  // regard to ASCII case). Values keep their type; the engine converts them
  // to the parameter's type. A string bound to a blob parameter is written as
  // a blob. A parameter never bound is NULL. Raises ProgrammingError for an
  // unknown name.
  void Set(std::string_view name, const Value& value);

  // Executes with the bound parameters in `transaction`. A selecting
  // statement opens its cursor (closing a previous one) and positions on its
  // first row; any other statement simply runs (one that returns values,
  // such as EXECUTE PROCEDURE or RETURNING, then holds them as its only row).
  // Raises DatabaseError; ProgrammingError when the transaction has ended.
  void Execute(Transaction& transaction);

  // True while a current row is available (after Execute and each Next).
  bool HasRow() const;
  // Moves to the next row; false when past the last. Raises DatabaseError.
  bool Next();
  // Closes the cursor if open; parameters stay bound.
  void Close();

  // Number of output columns.
  std::size_t ColumnCount() const;
  // Name of an output column (its alias when given). Raises ProgrammingError
  // when out of range.
  const std::string& ColumnName(std::size_t index) const;
  // Position of the output column with this name (compared without regard
  // to ASCII case), for loops that read a column on every row. Raises
  // ProgrammingError for an unknown name.
  std::size_t ColumnIndex(std::string_view name) const;
  // The current row's value by position. Raises ProgrammingError when out of
  // range or without a current row.
  const Value& Field(std::size_t index) const;
  // The current row's value by column name (compared without regard to ASCII
  // case). Raises ProgrammingError for an unknown name or without a current
  // row.
  const Value& Field(std::string_view name) const;
  // The current row's column at `index` as the engine delivered it; never
  // allocates. Raises ProgrammingError when out of range or without a
  // current row.
  RawField Raw(std::size_t index) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace et::fb
