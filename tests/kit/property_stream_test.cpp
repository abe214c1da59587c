// Checks the byte layout of persisted values and that damaged values are refused safely.
#include "controls/kit/property_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace quenda {
namespace {

std::string Encode(VARIANT value) {
    ComPtr<IStream> s;
    CreateMemoryStream(nullptr, 0, s.Out());
    Variant owned(value);
    EXPECT_EQ(WritePersistedValue(s.Get(), *owned.Get()), S_OK);
    std::string bytes;
    GetMemoryStreamBytes(s.Get(), &bytes);
    return bytes;
}

HRESULT Decode(const std::string& bytes, VARIANT* value) {
    ComPtr<IStream> s;
    CreateMemoryStream(bytes.data(), bytes.size(), s.Out());
    return ReadPersistedValue(s.Get(), value);
}

VARIANT Of(VARTYPE vt, uint64_t bits) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    v.cyVal.int64 = static_cast<int64_t>(bits);
    return v;
}

TEST(PropertyStreamTest, EachTypeHasItsWidth) {
    EXPECT_EQ(Encode(Of(VT_I2, 0xFFFE)), std::string("\x02\x00\xFE\xFF", 4));
    EXPECT_EQ(Encode(MakeVariantBool(true)), std::string("\x0B\x00\xFF\xFF", 4));
    EXPECT_EQ(Encode(MakeVariantI4(2048)), std::string("\x03\x00\x00\x08\x00\x00", 6));
    EXPECT_EQ(Encode(Of(VT_UI1, 0xAB)), std::string("\x11\x00\xAB", 3));
    EXPECT_EQ(Encode(Of(VT_I1, 0x80)), std::string("\x10\x00\x80", 3));
    EXPECT_EQ(Encode(Of(VT_UINT, 1)), std::string("\x17\x00\x01\x00\x00\x00", 6));
    EXPECT_EQ(Encode(Of(VT_CY, 0x0102030405060708)),
              std::string("\x06\x00\x08\x07\x06\x05\x04\x03\x02\x01", 10));
    EXPECT_EQ(Encode(MakeVariantBstr(SysAllocString(u"ab"))), std::string("\x08\x00\x06\x00\x00\x00"
                                                                          "a\0b\0\0\0",
                                                                          12));
    EXPECT_EQ(Encode(MakeVariantBstr(nullptr)), std::string("\x08\x00\x00\x00\x00\x00", 6));
    // Other types go as text.
    VARIANT empty;
    VariantInit(&empty);
    EXPECT_EQ(Encode(empty), std::string("\x08\x00\x02\x00\x00\x00\x00\x00", 8));
}

TEST(PropertyStreamTest, ValuesReadBackExactly) {
    const VARIANT values[] = {Of(VT_I2, 0x8000),
                              Of(VT_UI2, 0xFFFF),
                              Of(VT_I4, 0x80000000),
                              Of(VT_R8, 0x400921FB54442D18),
                              Of(VT_DATE, 0x40E5F3B000000000),
                              Of(VT_ERROR, 0x800A4E89),
                              Of(VT_R4, 0x3FC00000),
                              Of(VT_UI1, 255)};
    for (const VARIANT& v : values) {
        Variant back;
        ASSERT_EQ(Decode(Encode(v), back.Get()), S_OK) << v.vt;
        EXPECT_EQ(back->vt, v.vt);
        int width = v.vt == VT_UI1                       ? 1
                    : (v.vt == VT_I2 || v.vt == VT_UI2)  ? 2
                    : (v.vt == VT_R8 || v.vt == VT_DATE) ? 8
                                                         : 4;
        EXPECT_EQ(std::memcmp(&back->cyVal, &v.cyVal, width), 0) << v.vt;
    }
    Variant text;
    ASSERT_EQ(Decode(Encode(MakeVariantBstr(SysAllocString(u"h\u00E9\u20AC"))), text.Get()), S_OK);
    EXPECT_EQ(BstrView(text->bstrVal), u"h\u00E9\u20AC");
    Variant null;
    ASSERT_EQ(Decode(Encode(MakeVariantBstr(nullptr)), null.Get()), S_OK);
    EXPECT_EQ(null->vt, VT_BSTR);
    EXPECT_EQ(null->bstrVal, nullptr);
}

TEST(PropertyStreamTest, DamagedValuesAreRefused) {
    const std::string bad[] = {
        std::string("", 0),                  // nothing
        std::string("\x03", 1),              // half a type
        std::string("\x03\x00\x01\x02", 4),  // short I4
        std::string("\x0C\x00", 2),          // VARIANT is not stored
        std::string("\xFF\x7F\x00\x00", 4),  // unknown type
        std::string("\x08\x00\x03\x00\x00\x00"
                    "abc",
                    9),  // odd byte count
        std::string("\x08\x00\x02\x00\x00\x00"
                    "ab",
                    8),  // terminator missing
        std::string("\x08\x00\x08\x00\x00\x00"
                    "a\0b\0",
                    10),  // fewer bytes than counted
        std::string("\x08\x00\xFE\xFF\xFF\x7F"
                    "ab",
                    8),  // absurd count, never allocated
        std::string("\x08\x00\x00\x00\x20\x00"
                    "ab",
                    8),  // larger than any property text
    };
    for (size_t i = 0; i < sizeof bad / sizeof bad[0]; ++i) {
        Variant out;
        EXPECT_EQ(Decode(bad[i], out.Get()), E_FAIL) << "case " << i;
        EXPECT_EQ(out->vt, VT_EMPTY) << "case " << i;
    }
}

}  // namespace
}  // namespace quenda
