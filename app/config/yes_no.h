// The Yes/No texts of flags in the settings file.
#pragma once

#include <string>
#include <string_view>

namespace quenda {

// "Yes" for a non-zero flag, "No" for zero.
std::string YesNoText(long flag);

// 1 for "YES" (any case) or any text whose first character is "y" or "Y"; 0 for everything
// else, "NO", "" and text with leading spaces included.
int ParseYesNo(std::string_view text);

// ParseYesNo(text) == 1.
bool IsYes(std::string_view text);

}  // namespace quenda
