// IPropertyBag: persisted properties by name, and a bag in memory for hosts and tests.
#pragma once

#include "platform/com/variant.h"
#include "platform/com/unknown.h"

namespace quenda {

inline constexpr IID IID_IPropertyBag = {0x55272A00, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
inline constexpr IID IID_IErrorLog = {0x3127CA40, 0x446E, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};

class IErrorLog;  // accepted and ignored: nothing here logs through it

class IPropertyBag : public IUnknown {
public:
    // Reads the property called name (case-blind) into *value. When value->vt is not
    // VT_EMPTY on entry the stored value is converted to that type. E_INVALIDARG when the
    // bag holds no such property; the conversion's result when it fails. The caller owns
    // *value afterwards.
    virtual HRESULT Read(LPCOLESTR name, VARIANT* value, IErrorLog* log) = 0;
    // Stores a copy of *value under name, replacing what was there.
    virtual HRESULT Write(LPCOLESTR name, VARIANT* value) = 0;

protected:
    ~IPropertyBag() = default;
};

// An empty bag held in memory.
HRESULT CreateMemoryPropertyBag(IPropertyBag** bag);

// How many properties a bag made by CreateMemoryPropertyBag holds; -1 for other bags.
int MemoryPropertyBagCount(IPropertyBag* bag);

}  // namespace quenda
