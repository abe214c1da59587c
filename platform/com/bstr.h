// BSTR: length-prefixed UTF-16 text that crosses component boundaries, and its conversions.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quenda {

using OLECHAR = char16_t;
using BSTR = OLECHAR*;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;

// Longest text SysAllocStringLen accepts, in characters.
inline constexpr uint32_t kMaxBstrLength = 0x3FFFFFF0;

// A new BSTR copying the zero-terminated text; nullptr when text is nullptr or memory is short.
BSTR SysAllocString(LPCOLESTR text);

// A new BSTR of length characters copied from text (zero-filled when text is nullptr), always
// followed by a terminator. nullptr when length exceeds kMaxBstrLength or memory is short.
BSTR SysAllocStringLen(const OLECHAR* text, uint32_t length);

// A new BSTR holding byteLength raw bytes (an odd count is allowed); nullptr on failure.
BSTR SysAllocStringByteLen(const char* bytes, uint32_t byteLength);

// Replaces *target with a copy of text, freeing the old one. Returns false (and leaves *target
// alone) when memory is short.
bool SysReAllocString(BSTR* target, LPCOLESTR text);

// Frees a BSTR; nullptr is allowed and ignored.
void SysFreeString(BSTR text);

// Characters (resp. bytes) held; 0 for nullptr, which stands for the empty text.
uint32_t SysStringLen(BSTR text);
uint32_t SysStringByteLen(BSTR text);

// The characters of a BSTR without copying; empty for nullptr.
std::u16string_view BstrView(BSTR text);

// One character per byte (ISO-8859-1), embedded zero bytes kept. nullptr only when memory is
// short or the text is too long.
BSTR BstrFromLatin1(std::string_view bytes);

// One byte per character; characters above 0xFF become '?'.
std::string Latin1FromBstr(BSTR text);

// UTF-8 <-> BSTR. Malformed UTF-8 sequences and unpaired surrogates become U+FFFD.
BSTR BstrFromUtf8(std::string_view utf8);
std::string Utf8FromBstr(BSTR text);
std::string Utf8FromUtf16(std::u16string_view text);
std::u16string Utf16FromUtf8(std::string_view utf8);

// Owns one BSTR and frees it when it goes; for code inside a module, never across a boundary.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(std::u16string_view text) : text_(SysAllocStringLen(text.data(), static_cast<uint32_t>(text.size()))) {}
    ~Bstr() { SysFreeString(text_); }
    Bstr(Bstr&& other) noexcept : text_(other.Detach()) {}
    Bstr& operator=(Bstr&& other) noexcept {
        if (this != &other) Attach(other.Detach());
        return *this;
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    static Bstr FromLatin1(std::string_view bytes) { return Adopt(BstrFromLatin1(bytes)); }
    static Bstr FromUtf8(std::string_view utf8) { return Adopt(BstrFromUtf8(utf8)); }
    // Takes ownership of text.
    static Bstr Adopt(BSTR text) {
        Bstr b;
        b.text_ = text;
        return b;
    }

    BSTR Get() const { return text_; }
    std::u16string_view View() const { return BstrView(text_); }
    std::string Utf8() const { return Utf8FromBstr(text_); }
    // Frees the held text and returns the slot for an out-parameter to fill.
    BSTR* Out() {
        Attach(nullptr);
        return &text_;
    }
    // Gives up ownership.
    BSTR Detach() {
        BSTR t = text_;
        text_ = nullptr;
        return t;
    }
    void Attach(BSTR text) {
        if (text_ != text) SysFreeString(text_);
        text_ = text;
    }

private:
    BSTR text_ = nullptr;  // owned; nullptr is the empty text
};

}  // namespace quenda
