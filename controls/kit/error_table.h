// The texts of the Winsock error codes, in the order the table is stored.
#pragma once

#include <string_view>

namespace quenda {

struct ErrorTableEntry {
    int code;               // Winsock error number, 10004-11004
    std::string_view text;  // description without the code
};

// The stored table, 50 entries.
const ErrorTableEntry* ErrorTableBegin();
const ErrorTableEntry* ErrorTableEnd();

// The text for a Winsock code, or an empty view when the table has no entry for it.
std::string_view ErrorTableText(int code);

}  // namespace quenda
