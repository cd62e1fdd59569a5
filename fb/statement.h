// Statements prepared once from text and executed as often as needed, with
// named parameters and forward-only result sets.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fb/value.h"

namespace et::fb {

class Transaction;
namespace detail {
struct StatementHandle;
}

// How the statement text marks its parameters.
enum class ParamMode {
  kNamed,  // ":NAME" outside string literals, quoted identifiers and comments
           // becomes a positional marker; a name may occur more than once
  kNone,   // the text is sent untouched
};

// A prepared statement on a transaction (which should outlive it: once the
// transaction has ended the statement refuses to execute).
class Statement final {
 public:
  // Prepares the text (SQL dialect 3). Raises DatabaseError.
  Statement(Transaction& transaction, std::string_view sql, ParamMode mode = ParamMode::kNamed);
  // Closes the cursor and frees the prepared statement.
  ~Statement();
  // Takes over the other's prepared statement, leaving it unprepared.
  Statement(Statement&&) noexcept;
  // Frees this object's statement, then takes over the other's.
  Statement& operator=(Statement&&) noexcept;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Names of the parameters in order of first appearance (upper case).
  std::vector<std::string> ParamNames() const;
  // Binds every occurrence of the named parameter (name compared without
  // regard to case). Values keep their type; the engine converts them to the
  // parameter's type. A string bound to a blob parameter is written as a blob.
  // A parameter never bound is NULL. Raises Error for an unknown name.
  void Set(std::string_view name, const Value& value);
  // Binds a positional parameter (0-based), for statements without names.
  void SetAt(std::size_t index, const Value& value);

  // Executes with the bound parameters. A selecting statement opens its
  // cursor (closing a previous one) and positions on its first row; any other
  // statement simply runs (one that returns values, such as EXECUTE PROCEDURE
  // or RETURNING, then holds them as its only row). Raises DatabaseError.
  void Execute();

  // True while a current row is available (after Execute and each Next).
  bool HasRow() const;
  // Moves to the next row; false when past the last. Raises DatabaseError.
  bool Next();
  // Closes the cursor if open; parameters stay bound.
  void Close();

  // Number of output columns.
  std::size_t ColumnCount() const;
  // Name of an output column (its alias when given). Raises Error when out
  // of range.
  std::string ColumnName(std::size_t index) const;
  // The current row's value by position. Raises Error when out of range or
  // without a current row.
  const Value& Field(std::size_t index) const;
  // The current row's value by column name (compared without regard to
  // case). Raises Error for an unknown name or without a current row.
  const Value& Field(std::string_view name) const;
  // Position of the output column with this name (compared without regard to
  // case), for loops that read a column on every row. Raises Error for an
  // unknown name.
  std::size_t ColumnIndex(std::string_view name) const;
  // Appends the current row's value at `index` as a text file holds it: the
  // Windows-1252 bytes of ValueToText's form. Texts of a single-byte set are
  // copied as stored and integers and NUMERICs formatted in place, so a loop
  // that reuses `out` allocates nothing for them. Raises Error when out of
  // range or without a current row.
  void AppendFieldBytes(std::size_t index, const RegionalSettings& rs, std::string& out) const;

  // Rows affected by the last data-changing Execute.
  std::size_t AffectedRows() const;

 private:
  void Prepare(Transaction& transaction, std::string_view sql, ParamMode mode);

  std::unique_ptr<detail::StatementHandle> handle_;
};

}  // namespace et::fb
