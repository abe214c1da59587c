// Headless messages.
#include "platform/ui/message_service.h"

#include <cstdio>

namespace quenda {

MessageAnswer HeadlessMessages::ShowMessage(MessageIcon, MessageButtons, const std::string& title,
                                            const std::string& text, MessageAnswer safeAnswer) {
    const std::string line = title + ": " + text;
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    if (log_) log_(line);
    return safeAnswer;
}

}  // namespace quenda
