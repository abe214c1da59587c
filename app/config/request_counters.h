// The request counters kept by the relay and stored in the settings file.
#pragma once

#include <cstdint>

namespace quenda {

// Names are their settings keys. 16-bit counters never pass 32767.
struct RequestCounters {
    int16_t TOTALQ = 0;       // client requests taken
    int16_t ACACHE = 0;       // waiting requests answered from the cache
    int16_t ADNS = 0;         // waiting requests answered by a name server or by the sweep
    int16_t NOTANSWERED = 0;  // requests swept away without any reply
    double WTIME = 0;         // milliseconds the cache saved its clients
};

}  // namespace quenda
