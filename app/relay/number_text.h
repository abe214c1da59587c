// Numbers written for people: "." as decimal point whatever the locale.
#pragma once

#include <cstdint>
#include <string>

namespace quenda {

// A whole number in decimal, preceded by a space when it is not negative (" 42", "-3").
std::string SpacedNumber(int64_t value);

// The shortest decimal text that reads back as value, without exponent for the magnitudes the
// program shows; no leading or trailing spaces ("0.5", "12", "33.3").
std::string DecimalText(double value);

// value rounded to `decimals` places, halves to even.
double RoundHalfEven(double value, int decimals);

}  // namespace quenda
