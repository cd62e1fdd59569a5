// The number formats and the integer reader: no input crashes them, and each
// result has the shape its comment promises and stands for the same number.
#include <fuzzer/FuzzedDataProvider.h>

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "platform/regional.h"
#include "platform/strings.h"

namespace {

using et::fuzz::Check;

bool AllDigits(std::string_view s) {
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The text with the separator put back to '.', read with more precision
// than a double has (15 digits of the largest double exceed it).
long double ReadBack(std::string text, char separator) {
  for (char& c : text) {
    if (c == separator) c = '.';
  }
  return std::strtold(text.c_str(), nullptr);
}

void CheckFixed2(double value, const et::RegionalSettings& rs) {
  const std::string text = et::FormatFixed2(value, rs);
  if (!std::isfinite(value)) {
    Check(text == "NAN" || text == "INF" || text == "-INF", "non-finite name", text);
    return;
  }
  std::string_view digits = text;
  if (digits.starts_with('-')) digits.remove_prefix(1);
  const std::size_t sep = digits.find(rs.decimal_separator);
  Check(sep != std::string_view::npos && sep > 0, "no integer digit before the separator", text);
  Check(digits.size() - sep - 1 == 2, "not exactly two decimals", text);
  Check(AllDigits(digits.substr(0, sep)) && AllDigits(digits.substr(sep + 1)), "not digits", text);
  Check(text != "-0" + std::string(1, rs.decimal_separator) + "00", "negative zero", text);
  // Rounded to the nearest hundredth: never further than half of one away
  // (what strtod reads back is itself rounded, hence the relative margin).
  const long double back = ReadBack(text, rs.decimal_separator);
  Check(std::fabs(back - value) <= 0.005L + std::fabs(value) * 1e-15L, "not the nearest cents",
        text);
}

void CheckGeneral(double value, const et::RegionalSettings& rs) {
  const std::string text = et::FormatGeneral(value, rs);
  if (!std::isfinite(value)) return;
  Check(text.find('.') == std::string::npos || rs.decimal_separator == '.', "'.' left", text);
  const long double back = ReadBack(text, rs.decimal_separator);
  Check(std::fabs(back - value) <= std::fabs(value) * 1e-14L, "not 15 significant digits", text);
}

void CheckScaled(std::int64_t value, int scale, const et::RegionalSettings& rs) {
  const std::string text = et::FormatScaled(value, scale, rs);
  std::string_view rest = text;
  const bool negative = rest.starts_with('-');
  if (negative) rest.remove_prefix(1);
  Check(negative == (value < 0), "sign", text);
  const std::size_t sep = rest.find(rs.decimal_separator);
  const std::string_view integer = rest.substr(0, sep);
  const std::string_view fraction =
      sep == std::string_view::npos ? std::string_view{} : rest.substr(sep + 1);
  Check(!integer.empty() && AllDigits(integer) && AllDigits(fraction), "not digits", text);
  Check(integer.size() == 1 || integer[0] != '0', "leading zero", text);
  Check(sep == std::string_view::npos || (!fraction.empty() && fraction.back() != '0'),
        "trailing zero in the decimals", text);
  if (scale > 0 || value == 0) {
    Check(sep == std::string_view::npos, "decimals of a whole number", text);
  }
  // Its digits, shifted back by the scale, are the magnitude's digits.
  if (scale <= 0) {
    const std::size_t shift = static_cast<std::size_t>(-static_cast<long long>(scale));
    Check(fraction.size() <= shift, "more decimals than the scale", text);
    std::string shifted = std::string(integer) + std::string(fraction);
    shifted.append(shift - fraction.size(), '0');
    const std::size_t first = shifted.find_first_not_of('0');
    shifted = first == std::string::npos ? "0" : shifted.substr(first);
    const std::uint64_t magnitude =
        value < 0 ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
    Check(shifted == std::to_string(magnitude), "digits differ from the value", text);
  }
}

// What TryParseInt32 should answer, worked out another way.
bool ReferenceParse(std::string_view text, std::int32_t& out) {
  text = et::SkipSpacesAndTabs(text);
  if (text.starts_with('+')) {
    text.remove_prefix(1);
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
  }
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), out);
  return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

void CheckInt32(const std::string& text) {
  std::int32_t got = 7, expected = 7;
  const bool ok = et::TryParseInt32(text, got);
  const bool reference_ok = ReferenceParse(text, expected);
  Check(ok == reference_ok, "accepted or refused unlike the reference", text);
  if (!ok) {
    Check(got == 7, "refused text changed the result", text);
    return;
  }
  Check(got == expected, "value unlike the reference", text);
  std::int32_t again = 0;
  Check(et::TryParseInt32(std::to_string(got), again) && again == got, "no round trip", text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  et::RegionalSettings rs;
  rs.decimal_separator = in.ConsumeBool() ? ',' : '.';
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
    case 1: {
      // Any bit pattern: NaNs, infinities, subnormals, huge values.
      const std::uint64_t bits = in.ConsumeIntegral<std::uint64_t>();
      double value;
      std::memcpy(&value, &bits, sizeof value);
      CheckFixed2(value, rs);
      CheckGeneral(value, rs);
      // Values of a few cents, where rounding matters most.
      const double cents = static_cast<double>(in.ConsumeIntegral<std::int32_t>()) / 8;
      CheckFixed2(cents, rs);
      break;
    }
    case 2: {
      const std::int64_t value = in.ConsumeIntegral<std::int64_t>();
      const int scale = in.ConsumeIntegralInRange(-40, 5);
      CheckScaled(value, scale, rs);
      break;
    }
    default:
      CheckInt32(in.ConsumeRemainingBytesAsString());
      break;
  }
  return 0;
}
