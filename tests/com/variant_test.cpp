// Checks VARIANT ownership (clear, copy, references) and conversions between types.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/com/safe_array.h"
#include "platform/com/variant.h"
#include "tests/com/counted_object.h"

namespace quenda {
namespace {

using testing::CountedObject;

VARIANT Text(const char16_t* text) { return MakeVariantBstr(SysAllocString(text)); }

VARIANT Real(double value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = value;
    return v;
}

// Converts src to vt and returns the result's text form for compact expectations.
std::u16string AsText(VARIANT src, uint16_t flags = 0) {
    Variant owned(src);
    Variant out;
    HRESULT hr = VariantChangeType(out.Get(), owned.Get(), flags, VT_BSTR);
    if (FAILED(hr)) return u"<failed>";
    return std::u16string(BstrView(out->bstrVal));
}

TEST(VariantTest, CopyIsIndependentAndClearReleasesReferences) {
    Variant original(Text(u"hello"));
    Variant copy;
    ASSERT_EQ(VariantCopy(copy.Get(), original.Get()), S_OK);
    EXPECT_NE(copy->bstrVal, original->bstrVal);
    VariantClear(original.Get());
    EXPECT_EQ(BstrView(copy->bstrVal), u"hello");

    CountedObject object;
    {
        Variant holder;
        holder->vt = VT_UNKNOWN;
        holder->punkVal = &object;
        object.AddRef();
        Variant second;
        ASSERT_EQ(VariantCopy(second.Get(), holder.Get()), S_OK);
        EXPECT_EQ(object.refs, 3u);
    }
    EXPECT_EQ(object.refs, 1u);

    Variant self(Text(u"same"));
    EXPECT_EQ(VariantCopy(self.Get(), self.Get()), S_OK);
    EXPECT_EQ(BstrView(self->bstrVal), u"same");

    VARIANT unknownType;
    VariantInit(&unknownType);
    unknownType.vt = 0x0FFE;
    EXPECT_EQ(VariantClear(&unknownType), DISP_E_BADVARTYPE);
}

TEST(VariantTest, ByRefIsFollowedAndNeverFreed) {
    BSTR text = SysAllocString(u"by reference");
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BYREF | VT_BSTR;
    ref.pbstrVal = &text;
    Variant copy;
    ASSERT_EQ(VariantCopyInd(copy.Get(), &ref), S_OK);
    EXPECT_EQ(copy->vt, VT_BSTR);
    EXPECT_NE(copy->bstrVal, text);
    EXPECT_EQ(VariantClear(&ref), S_OK);  // must not free the referenced text
    EXPECT_EQ(BstrView(text), u"by reference");

    int16_t port = -12536;
    VARIANT portRef;
    VariantInit(&portRef);
    portRef.vt = VT_BYREF | VT_I2;
    portRef.piVal = &port;
    Variant asLong;
    ASSERT_EQ(VariantChangeType(asLong.Get(), &portRef, 0, VT_I4), S_OK);
    EXPECT_EQ(asLong->lVal, -12536);
    SysFreeString(text);
}

TEST(VariantTest, NumbersAndFlagsBecomeText) {
    EXPECT_EQ(AsText(MakeVariantI4(-123)), u"-123");
    EXPECT_EQ(AsText(MakeVariantBool(true)), u"-1");
    EXPECT_EQ(AsText(MakeVariantBool(false), VARIANT_ALPHABOOL), u"False");
    EXPECT_EQ(AsText(Real(1.5)), u"1.5");
    EXPECT_EQ(AsText(Real(0.1)), u"0.1");
    EXPECT_EQ(AsText(Real(1e20)), u"1E+20");
    VARIANT cy;
    VariantInit(&cy);
    cy.vt = VT_CY;
    cy.cyVal.int64 = -12345;  // -1.2345
    EXPECT_EQ(AsText(cy), u"-1.2345");
    VARIANT date;
    VariantInit(&date);
    date.vt = VT_DATE;
    date.date = 36526.5;  // 2000-01-01 noon
    EXPECT_EQ(AsText(date), u"2000-01-01 12:00:00");
    VARIANT empty;
    VariantInit(&empty);
    EXPECT_EQ(AsText(empty), u"");
    VARIANT byte;
    VariantInit(&byte);
    byte.vt = VT_UI1;
    byte.bVal = 200;
    EXPECT_EQ(AsText(byte), u"200");
}

TEST(VariantTest, TextAndRealsBecomeNumbersWithRangeChecks) {
    struct Case {
        VARIANT src;
        VARTYPE vt;
        HRESULT expected;
        int64_t value;
    } cases[] = {
        {Text(u" 42 "), VT_I2, S_OK, 42},
        {Text(u"-7"), VT_I4, S_OK, -7},
        {Text(u"2.5"), VT_I4, S_OK, 2},    // halves go to even
        {Text(u"3.5"), VT_I4, S_OK, 4},
        {Real(-2.5), VT_I2, S_OK, -2},
        {Text(u"true"), VT_I2, S_OK, -1},
        {Text(u"abc"), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {Text(u""), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {Text(u"12abc"), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {Text(u"\u0661"), VT_I4, DISP_E_TYPEMISMATCH, 0},
        {MakeVariantI4(70000), VT_I2, DISP_E_OVERFLOW, 0},
        {MakeVariantI4(-1), VT_UI1, DISP_E_OVERFLOW, 0},
        {MakeVariantI4(255), VT_UI1, S_OK, 255},
        {Real(1e300), VT_I4, DISP_E_OVERFLOW, 0},
        {Real(std::nan("")), VT_I4, DISP_E_OVERFLOW, 0},
        {Text(u"1e999"), VT_R8, DISP_E_OVERFLOW, 0},
        {Text(u"99999999999999999999"), VT_I4, DISP_E_OVERFLOW, 0},
        {MakeVariantI4(5), VT_BOOL, S_OK, -1},
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
        Variant src(cases[i].src);
        Variant out(MakeVariantI4(99));
        HRESULT hr = VariantChangeType(out.Get(), src.Get(), 0, cases[i].vt);
        EXPECT_EQ(hr, cases[i].expected) << "case " << i;
        if (hr == S_OK) {
            Variant wide;
            ASSERT_EQ(VariantChangeType(wide.Get(), out.Get(), 0, VT_R8), S_OK);
            EXPECT_EQ(wide->dblVal, static_cast<double>(cases[i].value)) << "case " << i;
            EXPECT_EQ(out->vt, cases[i].vt);
        } else {
            EXPECT_EQ(out->vt, VT_I4) << "a failed conversion must leave the target alone, case " << i;
        }
    }
}

TEST(VariantTest, InPlaceConversionFreesTheOldValueOnce) {
    Variant v(Text(u"1234"));
    ASSERT_EQ(VariantChangeType(v.Get(), v.Get(), 0, VT_I4), S_OK);
    EXPECT_EQ(v->lVal, 1234);
    ASSERT_EQ(VariantChangeType(v.Get(), v.Get(), 0, VT_BSTR), S_OK);
    EXPECT_EQ(BstrView(v->bstrVal), u"1234");
    Variant null;
    null->vt = VT_NULL;
    EXPECT_EQ(VariantChangeType(v.Get(), null.Get(), 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(VariantChangeType(v.Get(), v.Get(), 0, 0x0FFE), DISP_E_BADVARTYPE);
    EXPECT_EQ(BstrView(v->bstrVal), u"1234");
}

TEST(SafeArrayTest, VariantVectorOwnsItsElements) {
    SAFEARRAY* a = SafeArrayCreateVector(VT_VARIANT, 0, 3);
    ASSERT_NE(a, nullptr);
    VARTYPE vt = 0;
    ASSERT_EQ(SafeArrayGetVartype(a, &vt), S_OK);
    EXPECT_EQ(vt, VT_VARIANT);
    int32_t index = 1;
    Variant text(Text(u"element"));
    ASSERT_EQ(SafeArrayPutElement(a, &index, text.Get()), S_OK);
    Variant replaced(Text(u"replacement"));
    ASSERT_EQ(SafeArrayPutElement(a, &index, replaced.Get()), S_OK);  // frees "element"
    Variant read;
    ASSERT_EQ(SafeArrayGetElement(a, &index, read.Get()), S_OK);
    EXPECT_EQ(BstrView(read->bstrVal), u"replacement");
    index = 3;
    EXPECT_EQ(SafeArrayGetElement(a, &index, read.Get()), DISP_E_BADINDEX);
    index = -1;
    EXPECT_EQ(SafeArrayPutElement(a, &index, text.Get()), DISP_E_BADINDEX);

    SAFEARRAY* copy = nullptr;
    ASSERT_EQ(SafeArrayCopy(a, &copy), S_OK);
    ASSERT_EQ(SafeArrayLock(a), S_OK);
    EXPECT_EQ(SafeArrayDestroy(a), DISP_E_ARRAYISLOCKED);
    ASSERT_EQ(SafeArrayUnlock(a), S_OK);
    EXPECT_EQ(SafeArrayUnlock(a), E_UNEXPECTED);
    ASSERT_EQ(SafeArrayDestroy(a), S_OK);
    index = 1;
    VariantClear(read.Get());  // the out value is overwritten, not freed
    ASSERT_EQ(SafeArrayGetElement(copy, &index, read.Get()), S_OK);
    EXPECT_EQ(BstrView(read->bstrVal), u"replacement");

    // A variant holding the array frees it with the variant.
    Variant holder;
    holder->vt = VT_ARRAY | VT_VARIANT;
    holder->parray = copy;
    Variant second;
    ASSERT_EQ(VariantCopy(second.Get(), holder.Get()), S_OK);
    EXPECT_NE(second->parray, copy);
}

TEST(SafeArrayTest, BoundsOfSeveralDimensionsAndRefusedShapes) {
    SAFEARRAYBOUND bounds[2] = {{2, 1}, {3, -1}};  // a(1 To 2, -1 To 1)
    SAFEARRAY* a = SafeArrayCreate(VT_UI1, 2, bounds);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(SafeArrayGetDim(a), 2u);
    int32_t lo = 0, hi = 0;
    ASSERT_EQ(SafeArrayGetLBound(a, 1, &lo), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(a, 1, &hi), S_OK);
    EXPECT_EQ(lo, 1);
    EXPECT_EQ(hi, 2);
    ASSERT_EQ(SafeArrayGetLBound(a, 2, &lo), S_OK);
    ASSERT_EQ(SafeArrayGetUBound(a, 2, &hi), S_OK);
    EXPECT_EQ(lo, -1);
    EXPECT_EQ(hi, 1);
    EXPECT_EQ(SafeArrayGetLBound(a, 3, &lo), DISP_E_BADINDEX);
    EXPECT_EQ(SafeArrayGetLBound(a, 0, &lo), DISP_E_BADINDEX);
    int32_t last[2] = {2, 1};
    uint8_t value = 7;
    ASSERT_EQ(SafeArrayPutElement(a, last, &value), S_OK);
    uint8_t* data = nullptr;
    ASSERT_EQ(SafeArrayAccessData(a, reinterpret_cast<void**>(&data)), S_OK);
    EXPECT_EQ(data[5], 7);  // the leftmost index varies fastest
    ASSERT_EQ(SafeArrayUnaccessData(a), S_OK);
    EXPECT_EQ(SafeArrayDestroy(a), S_OK);

    EXPECT_EQ(SafeArrayCreateVector(VT_EMPTY, 0, 1), nullptr);
    EXPECT_EQ(SafeArrayCreate(VT_UI1, 0, bounds), nullptr);
    EXPECT_EQ(SafeArrayCreateVector(VT_VARIANT, 0, 0xFFFFFFFFu), nullptr);
    SAFEARRAYBOUND huge[2] = {{0x10000, 0}, {0x10000, 0}};
    EXPECT_EQ(SafeArrayCreate(VT_UI1, 2, huge), nullptr);
    SAFEARRAY* empty = SafeArrayCreateVector(VT_UI1, 0, 0);
    ASSERT_NE(empty, nullptr);
    ASSERT_EQ(SafeArrayGetUBound(empty, 1, &hi), S_OK);
    EXPECT_EQ(hi, -1);
    SafeArrayDestroy(empty);
}

}  // namespace
}  // namespace quenda
