// The Winsock layer of this build, loaded once per test program as the controls load it.
#pragma once

#include <string>

#include "platform/winsock/winsock_api.h"

namespace quenda::test {

// WinsockApi plus why loading failed (empty when it did not).
struct WinsockLibrary : WinsockApi {
    std::string loadError;
};

// The library at path, loaded on the first call and never unloaded.
inline const WinsockLibrary& LoadWinsock(const char* path) {
    static WinsockLibrary library = [path] {
        WinsockLibrary loaded;
        if (!LoadWinsockApi(path, &loaded, &loaded.loadError) && loaded.loadError.empty()) {
            loaded.loadError = "not loaded";
        }
        return loaded;
    }();
    return library;
}

}  // namespace quenda::test
