// A plain object that counts its references, for checking who adds and releases them.
#pragma once

#include "platform/com/unknown.h"

namespace quenda::testing {

class CountedObject final : public IUnknown {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown) {
            *object = this;
            ++refs;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    ULONG refs = 1;  // the test's own reference; the object lives on the stack
};

}  // namespace quenda::testing
