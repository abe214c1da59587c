// The value encodings of the settings file: whole and real numbers as text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quenda {

// The leading number of text (spaces, an optional sign, digits, an optional "." fraction and
// an optional exponent); reading stops at the first other character and text without a
// leading number is 0. Never inf or nan: a number too large to hold gives std::nullopt.
std::optional<double> ReadLeadingNumber(std::string_view text);

// The leading number rounded to a whole number (halves to even), or std::nullopt when it does
// not fit between min and max; the caller then keeps the value it had.
std::optional<int64_t> ReadWholeNumber(std::string_view text, int64_t min, int64_t max);

// Plain decimal text of a whole number ("-" when negative, no spaces).
std::string WholeNumberText(int64_t value);

// The shortest "."-decimal text that reads back as exactly value.
std::string RealNumberText(double value);

}  // namespace quenda
