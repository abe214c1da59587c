// The one sink every part of the program reports through.
#pragma once

#include <string>

namespace quenda {

// Level 1 is always written, 2 from detail Medium on, 3 only at High. Never fails its caller.
class LogSink {
  public:
    virtual ~LogSink() = default;
    virtual void WriteLog(const std::string& text, int level) = 0;
};

}  // namespace quenda
