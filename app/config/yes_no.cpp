// Yes/No flag texts.
#include "app/config/yes_no.h"

namespace quenda {

std::string YesNoText(long flag) {
    return flag != 0 ? "Yes" : "No";
}

int ParseYesNo(std::string_view text) {
    // "YES", "yes", "Y" and "yellow" alike: only the first letter decides.
    return !text.empty() && (text[0] == 'y' || text[0] == 'Y') ? 1 : 0;
}

bool IsYes(std::string_view text) {
    return ParseYesNo(text) == 1;
}

}  // namespace quenda
