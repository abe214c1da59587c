// BSTR: length-prefixed UTF-16 text that crosses component boundaries, and its conversions.
#include "platform/com/bstr.h"

#include <cstdlib>
#include <cstring>

namespace quenda {
namespace {

// Layout: a 4-byte byte count, the characters, then a 2-byte terminator.
constexpr size_t kPrefix = sizeof(uint32_t);

BSTR AllocateBytes(const void* bytes, uint32_t byteLength) {
    if (byteLength > kMaxBstrLength * 2) return nullptr;
    auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + byteLength + sizeof(OLECHAR) + 1));
    if (block == nullptr) return nullptr;
    std::memcpy(block, &byteLength, kPrefix);
    if (bytes != nullptr) {
        std::memcpy(block + kPrefix, bytes, byteLength);
    } else {
        std::memset(block + kPrefix, 0, byteLength);
    }
    // Three zero bytes terminate both an even and an odd byte count.
    std::memset(block + kPrefix + byteLength, 0, sizeof(OLECHAR) + 1);
    return reinterpret_cast<BSTR>(block + kPrefix);
}

void AppendUtf8(std::string* out, uint32_t cp) {
    if (cp < 0x80) {
        out->push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

BSTR SysAllocString(LPCOLESTR text) {
    if (text == nullptr) return nullptr;
    size_t length = std::char_traits<char16_t>::length(text);
    if (length > kMaxBstrLength) return nullptr;
    return SysAllocStringLen(text, static_cast<uint32_t>(length));
}

BSTR SysAllocStringLen(const OLECHAR* text, uint32_t length) {
    if (length > kMaxBstrLength) return nullptr;
    return AllocateBytes(text, length * static_cast<uint32_t>(sizeof(OLECHAR)));
}

BSTR SysAllocStringByteLen(const char* bytes, uint32_t byteLength) { return AllocateBytes(bytes, byteLength); }

bool SysReAllocString(BSTR* target, LPCOLESTR text) {
    if (target == nullptr) return false;
    BSTR copy = SysAllocString(text);
    if (copy == nullptr && text != nullptr) return false;
    SysFreeString(*target);
    *target = copy;
    return true;
}

void SysFreeString(BSTR text) {
    if (text != nullptr) std::free(reinterpret_cast<unsigned char*>(text) - kPrefix);
}

uint32_t SysStringByteLen(BSTR text) {
    if (text == nullptr) return 0;
    uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<unsigned char*>(text) - kPrefix, kPrefix);
    return bytes;
}

uint32_t SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }

std::u16string_view BstrView(BSTR text) { return text == nullptr ? std::u16string_view() : std::u16string_view(text, SysStringLen(text)); }

BSTR BstrFromLatin1(std::string_view bytes) {
    if (bytes.size() > kMaxBstrLength) return nullptr;
    BSTR text = SysAllocStringLen(nullptr, static_cast<uint32_t>(bytes.size()));
    if (text == nullptr) return nullptr;
    for (size_t i = 0; i < bytes.size(); ++i) text[i] = static_cast<unsigned char>(bytes[i]);
    return text;
}

std::string Latin1FromBstr(BSTR text) {
    std::u16string_view view = BstrView(text);
    std::string out(view.size(), '\0');
    for (size_t i = 0; i < view.size(); ++i) out[i] = view[i] > 0xFF ? '?' : static_cast<char>(view[i]);
    return out;
}

std::string Utf8FromUtf16(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(&out, c);
    }
    return out;
}

std::u16string Utf16FromUtf8(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        unsigned char lead = static_cast<unsigned char>(utf8[i]);
        uint32_t cp = 0xFFFD;
        size_t extra = 0;
        uint32_t min = 0;
        if (lead < 0x80) {
            cp = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1, cp = lead & 0x1F, min = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2, cp = lead & 0x0F, min = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3, cp = lead & 0x07, min = 0x10000;
        } else {
            extra = 0, cp = 0xFFFD;
        }
        size_t used = 1;
        for (size_t k = 0; k < extra; ++k) {
            if (i + 1 + k >= utf8.size() || (static_cast<unsigned char>(utf8[i + 1 + k]) & 0xC0) != 0x80) {
                cp = 0xFFFD;
                extra = 0;
                break;
            }
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + 1 + k]) & 0x3F);
            ++used;
        }
        if (used > 1 && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) cp = 0xFFFD;
        i += used;
        if (cp >= 0x10000) {
            out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

BSTR BstrFromUtf8(std::string_view utf8) {
    std::u16string wide = Utf16FromUtf8(utf8);
    if (wide.size() > kMaxBstrLength) return nullptr;
    return SysAllocStringLen(wide.data(), static_cast<uint32_t>(wide.size()));
}

std::string Utf8FromBstr(BSTR text) { return Utf8FromUtf16(BstrView(text)); }

}  // namespace quenda
