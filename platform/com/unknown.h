// IUnknown, the owning interface pointer ComPtr, and the reference count helper for our objects.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

#include "platform/com/guid.h"
#include "platform/com/hresult.h"

namespace quenda {

using ULONG = uint32_t;

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Every component interface starts with these three; objects free themselves on the last
// Release. Never deleted through this type.
class IUnknown {
public:
    // Puts an added reference to the interface iid into *object and returns S_OK, or sets
    // *object to nullptr and returns E_NOINTERFACE (E_POINTER when object is nullptr).
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

// Holds one reference to an interface and releases it when it goes.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Adds a reference to p.
    explicit ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ~ComPtr() { Reset(); }
    ComPtr& operator=(const ComPtr& other) {
        ComPtr copy(other);
        std::swap(p_, copy.p_);
        return *this;
    }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }

    // Takes over a reference the caller already owns.
    static ComPtr Adopt(T* p) {
        ComPtr c;
        c.p_ = p;
        return c;
    }

    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    void Reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    // Releases the held pointer and returns the slot for an out-parameter.
    T** Out() {
        Reset();
        return &p_;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    // Gives up the reference to the caller.
    T* Detach() { return std::exchange(p_, nullptr); }

    // QueryInterface into another pointer type.
    template <typename U>
    HRESULT As(REFIID iid, ComPtr<U>* out) const {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(iid, out->OutVoid());
    }

private:
    T* p_ = nullptr;  // one reference owned
};

// A reference count starting at 1 (the creator's reference).
class RefCount {
public:
    ULONG Add() { return ++count_; }
    ULONG Drop() { return --count_; }

private:
    std::atomic<ULONG> count_{1};
};

}  // namespace quenda
