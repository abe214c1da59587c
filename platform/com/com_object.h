// Reference counting and QueryInterface shared by the objects this code hands out.
#pragma once

#include "platform/com/unknown.h"

namespace quenda {

// An object implementing Interfaces..., freed on its last Release. A subclass says which
// interface pointer answers an IID in FindInterface; the object starts with one reference.
template <typename... Interfaces>
class ComObject : public Interfaces... {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = FindInterface(iid);
        if (*object == nullptr) return E_NOINTERFACE;
        refs_.Add();
        return S_OK;
    }
    ULONG AddRef() override { return refs_.Add(); }
    ULONG Release() override {
        ULONG left = refs_.Drop();
        if (left == 0) delete this;
        return left;
    }

protected:
    virtual ~ComObject() = default;
    // The interface pointer for iid, or nullptr when the object does not implement it.
    virtual void* FindInterface(REFIID iid) = 0;

private:
    RefCount refs_;
};

}  // namespace quenda
