#include "exports/field_bytes.h"

#include "platform/codepage.h"

namespace et {

void AppendFieldBytes(const fb::Statement& statement, std::size_t column,
                      const RegionalSettings& rs, std::string& out) {
  const fb::RawField raw = statement.Raw(column);
  switch (raw.kind) {
    case fb::RawField::Kind::kNull:
      return;
    case fb::RawField::Kind::kText:
      // Bytes of a single-byte set are the file's already: their round trip
      // through UTF-8 gives the same bytes.
      if (raw.utf8) {
        out += Utf8ToCp1252(raw.text);
      } else {
        out.append(raw.text);
      }
      return;
    case fb::RawField::Kind::kNumber:
      // A separator outside ASCII is not a character of UTF-8 text on its
      // own; such a number goes the way of its value.
      if (static_cast<unsigned char>(rs.decimal_separator) < 0x80) {
        AppendScaled(raw.number.value, raw.number.scale, rs, out);
        return;
      }
      break;
    case fb::RawField::Kind::kOther:
      break;
  }
  out += Utf8ToCp1252(fb::ValueToText(statement.Field(column), rs));
}

}  // namespace et
