// The component library this code is linked into: its live objects, its locks and its path.
#pragma once

#include <string>

#include "platform/com/hresult.h"

namespace quenda {

// Every object the library hands out counts itself while alive.
void LibraryObjectCreated();
void LibraryObjectDestroyed();
int LibraryObjectCount();

// IClassFactory::LockServer: true adds a lock, false gives one back (never below zero).
void LibraryLock(bool lock);

// S_OK when no object and no lock is alive, else S_FALSE.
HRESULT LibraryCanUnloadNow();

// The full path of the shared library (or program) holding this code, as the loader found it.
std::u16string LibraryModulePath();

}  // namespace quenda
