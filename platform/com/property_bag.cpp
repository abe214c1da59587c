// IPropertyBag: persisted properties by name, and a bag in memory for hosts and tests.
#include "platform/com/property_bag.h"

#include "platform/com/com_object.h"

#include <map>
#include <string>

namespace quenda {
namespace {

struct CaseBlindLess {
    bool operator()(const std::u16string& a, const std::u16string& b) const {
        size_t n = a.size() < b.size() ? a.size() : b.size();
        for (size_t i = 0; i < n; ++i) {
            char16_t x = a[i], y = b[i];
            if (x >= u'a' && x <= u'z') x = static_cast<char16_t>(x - 32);
            if (y >= u'a' && y <= u'z') y = static_cast<char16_t>(y - 32);
            if (x != y) return x < y;
        }
        return a.size() < b.size();
    }
};

class MemoryPropertyBag final : public ComObject<IPropertyBag> {
public:
    HRESULT Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
        if (name == nullptr || value == nullptr) return E_POINTER;
        auto it = values_.find(name);
        if (it == values_.end()) return E_INVALIDARG;
        VARTYPE wanted = value->vt;
        VARIANT result;
        VariantInit(&result);
        HRESULT hr = wanted == VT_EMPTY ? VariantCopy(&result, &it->second)
                                        : VariantChangeType(&result, &it->second, 0, wanted);
        if (FAILED(hr)) return hr;
        // The caller asked for a type by setting vt only; whatever else it held is not ours to free.
        *value = result;
        return S_OK;
    }
    HRESULT Write(LPCOLESTR name, VARIANT* value) override {
        if (name == nullptr || value == nullptr) return E_POINTER;
        VARIANT copy;
        VariantInit(&copy);
        HRESULT hr = VariantCopyInd(&copy, value);
        if (FAILED(hr)) return hr;
        auto [it, inserted] = values_.try_emplace(name, copy);
        if (!inserted) {
            VariantClear(&it->second);
            it->second = copy;
        }
        return S_OK;
    }

    int Count() const { return static_cast<int>(values_.size()); }

private:
    ~MemoryPropertyBag() override {
        for (auto& [name, value] : values_) VariantClear(&value);
    }
    void* FindInterface(REFIID iid) override {
        return (iid == IID_IUnknown || iid == IID_IPropertyBag) ? static_cast<IPropertyBag*>(this) : nullptr;
    }

    std::map<std::u16string, VARIANT, CaseBlindLess> values_;  // owned copies
};

}  // namespace

HRESULT CreateMemoryPropertyBag(IPropertyBag** bag) {
    if (bag == nullptr) return E_INVALIDARG;
    *bag = new MemoryPropertyBag();
    return S_OK;
}

int MemoryPropertyBagCount(IPropertyBag* bag) {
    auto* memory = dynamic_cast<MemoryPropertyBag*>(bag);
    return memory ? memory->Count() : -1;
}

}  // namespace quenda
