// The program's options as loaded from and saved to the settings file.
#pragma once

#include <cstdint>
#include <string>

namespace quenda {

// Section OPTIONS of the settings file; names are the settings keys.
struct Options {
    int32_t SYSTRAY = 0;         // "Startup in System Tray" box: 1 ticked, 0 clear
    int32_t NOCACHE = 0;         // "Disable Cache" box: 1 ticked, 0 clear
    bool cacheDisabled = false;  // the cache is neither read nor written (set from NOCACHE)
    bool LOG_TOFILE = false;     // also write log lines to LOG_FILE
    std::string LOG_FILE;        // log file path; "" until first saved or configured
    bool LOG_DATE = false;       // date in front of each log line
    bool LOG_TIME = true;        // time in front of each log line
    int16_t LOG_DETAIL = 2;      // 1 Low, 2 Medium, 3 High (other values let every line through)
    int32_t LOG_WINDOWX = 200;   // separate log window: left
    int32_t LOG_WINDOWY = 200;   // separate log window: top
    int32_t LOG_WINDOWH = 0;     // separate log window: height, 0 = not yet set
    int32_t LOG_WINDOWW = 0;     // separate log window: width, 0 = not yet set
    std::string DATABASE_VERSION = "0.0.0";  // program version the cache was last prepared for
};

}  // namespace quenda
