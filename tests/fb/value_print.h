// Readable values in test failure messages.
#pragma once

#include <ostream>

#include "fb/value.h"

namespace et::fb {

inline void PrintTo(const Null&, std::ostream* os) { *os << "NULL"; }
inline void PrintTo(const Scaled& s, std::ostream* os) {
  *os << "Scaled{" << s.value << ", " << s.scale << "}";
}
inline void PrintTo(const Date& d, std::ostream* os) {
  *os << "Date{" << d.year << ", " << d.month << ", " << d.day << "}";
}
inline void PrintTo(const Time& t, std::ostream* os) {
  *os << "Time{" << t.hour << ", " << t.minute << ", " << t.second << ", " << t.fraction << "}";
}
inline void PrintTo(const Timestamp& ts, std::ostream* os) {
  *os << "Timestamp{";
  PrintTo(ts.date, os);
  *os << ", ";
  PrintTo(ts.time, os);
  *os << "}";
}

}  // namespace et::fb
