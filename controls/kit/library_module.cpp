// The component library this code is linked into: its live objects, its locks and its path.
#include "controls/kit/library_module.h"

#include <dlfcn.h>

#include <atomic>
#include <climits>
#include <cstdlib>

#include "platform/com/bstr.h"

namespace quenda {
namespace {

std::atomic<int> gObjects{0};  // live objects of this library
std::atomic<int> gLocks{0};    // LockServer locks held

}  // namespace

void LibraryObjectCreated() {
    ++gObjects;
}

void LibraryObjectDestroyed() {
    --gObjects;
}

int LibraryObjectCount() {
    return gObjects.load();
}

void LibraryLock(bool lock) {
    if (lock) {
        ++gLocks;
        return;
    }
    int held = gLocks.load();
    while (held > 0 && !gLocks.compare_exchange_weak(held, held - 1)) {
    }
}

HRESULT LibraryCanUnloadNow() {
    return (gObjects.load() == 0 && gLocks.load() == 0) ? S_OK : S_FALSE;
}

std::u16string LibraryModulePath() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&LibraryModulePath), &info) == 0 ||
        info.dli_fname == nullptr)
        return {};
    char resolved[PATH_MAX];
    const char* path = ::realpath(info.dli_fname, resolved) != nullptr ? resolved : info.dli_fname;
    return Utf16FromUtf8(path);
}

}  // namespace quenda
