// Checks late-bound calls driven by a type-info table: lookup, coercion, results and failures.
#include <gtest/gtest.h>

#include <thread>

#include "platform/com/error_info.h"
#include "platform/com/type_info.h"

namespace quenda {
namespace {

class ISample : public IDispatch {
public:
    virtual HRESULT get_Count(int32_t* value) = 0;
    virtual HRESULT put_Count(int32_t value) = 0;
    virtual HRESULT get_Flag(int16_t* value) = 0;
    virtual HRESULT put_Flag(int16_t value) = 0;
    virtual HRESULT get_Name(BSTR* value) = 0;
    virtual HRESULT put_Name(BSTR value) = 0;
    virtual HRESULT Add(int32_t a, int16_t b, int32_t* sum) = 0;
    virtual HRESULT Describe(VARIANT any, BSTR* text) = 0;
    virtual HRESULT Fail() = 0;
};

constexpr DispMember kSampleMembers[] = {
    DispPropGet<&ISample::get_Count>(u"Count", 1),
    DispPropPut<&ISample::put_Count>(u"Count", 1),
    DispPropGet<&ISample::get_Flag, VT_BOOL>(u"Flag", 2),
    DispPropPut<&ISample::put_Flag, VT_BOOL>(u"Flag", 2),
    DispPropGet<&ISample::get_Name>(u"Name", 3),
    DispPropPut<&ISample::put_Name>(u"Name", 3),
    DispMethod<&ISample::Add>(u"Add", 4),
    DispMethod<&ISample::Describe>(u"Describe", 5),
    DispMethod<&ISample::Fail>(u"Fail", 6),
};
constexpr DispInterface kSample = {{0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}}, u"ISample", kDispDual, kSampleMembers,
                                   sizeof kSampleMembers / sizeof kSampleMembers[0]};

static_assert(kSampleMembers[6].paramCount == 2);
static_assert(kSampleMembers[6].paramTypes[1] == VT_I2);
static_assert(kSampleMembers[6].type == VT_I4);

class Sample final : public ISample {
public:
    HRESULT QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return DispatchGetIDsOfNames(kSample, names, count, ids);
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO* excep,
                   UINT* argError) override {
        return DispatchInvoke(kSample, static_cast<ISample*>(this), id, flags, params, result, excep, argError);
    }
    HRESULT get_Count(int32_t* value) override {
        *value = count;
        return S_OK;
    }
    HRESULT put_Count(int32_t value) override {
        count = value;
        return S_OK;
    }
    HRESULT get_Flag(int16_t* value) override {
        *value = flag;
        return S_OK;
    }
    HRESULT put_Flag(int16_t value) override {
        flag = value;
        return S_OK;
    }
    HRESULT get_Name(BSTR* value) override {
        *value = SysAllocStringLen(name.data(), static_cast<uint32_t>(name.size()));
        return S_OK;
    }
    HRESULT put_Name(BSTR value) override {
        name = BstrView(value);
        return S_OK;
    }
    HRESULT Add(int32_t a, int16_t b, int32_t* sum) override {
        *sum = a + b;
        return S_OK;
    }
    HRESULT Describe(VARIANT any, BSTR* text) override {
        *text = SysAllocString(any.vt == VT_BSTR ? u"text" : u"other");
        return S_OK;
    }
    HRESULT Fail() override {
        PublishErrorInfo(GUID_NULL, u"Sample.Source", u"It broke.", u"sample.hlp", 21302);
        return MakeHresult(0x800A4E89);
    }

    int32_t count = 0;
    int16_t flag = 0;
    std::u16string name;
};

HRESULT Put(IDispatch* d, DISPID id, VARIANT value, UINT* argError = nullptr) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&value, &named, 1, 1};
    HRESULT hr = d->Invoke(id, IID_NULL, 0x400, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, argError);
    VariantClear(&value);
    return hr;
}

TEST(DispatchTest, NamesResolveCaseBlind) {
    Sample s;
    LPOLESTR names[2] = {const_cast<LPOLESTR>(u"cOuNt"), const_cast<LPOLESTR>(u"arg")};
    DISPID ids[2] = {0, 0};
    EXPECT_EQ(s.GetIDsOfNames(IID_NULL, names, 1, 0, ids), S_OK);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(s.GetIDsOfNames(IID_NULL, names, 2, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[1], DISPID_UNKNOWN);
    LPOLESTR missing[1] = {const_cast<LPOLESTR>(u"Counter")};
    EXPECT_EQ(s.GetIDsOfNames(IID_NULL, missing, 1, 0, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
}

TEST(DispatchTest, PutsAreCoercedAndGetsCarryTheDeclaredType) {
    Sample s;
    ASSERT_EQ(Put(&s, 1, MakeVariantBstr(SysAllocString(u"17"))), S_OK);
    EXPECT_EQ(s.count, 17);
    ASSERT_EQ(Put(&s, 2, MakeVariantI4(5)), S_OK);
    EXPECT_EQ(s.flag, VARIANT_TRUE);
    ASSERT_EQ(Put(&s, 3, MakeVariantI4(42)), S_OK);
    EXPECT_EQ(s.name, u"42");

    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Variant flag;
    ASSERT_EQ(s.Invoke(2, IID_NULL, 0x400, DISPATCH_PROPERTYGET | DISPATCH_METHOD, &none, flag.Get(), nullptr, nullptr), S_OK);
    EXPECT_EQ(flag->vt, VT_BOOL);
    EXPECT_EQ(flag->boolVal, VARIANT_TRUE);
    Variant name;
    ASSERT_EQ(s.Invoke(3, IID_NULL, 0x400, DISPATCH_PROPERTYGET, &none, name.Get(), nullptr, nullptr), S_OK);
    EXPECT_EQ(BstrView(name->bstrVal), u"42");
    // No place for the result: it is freed, not leaked.
    EXPECT_EQ(s.Invoke(3, IID_NULL, 0x400, DISPATCH_PROPERTYGET, &none, nullptr, nullptr, nullptr), S_OK);

    UINT argError = 99;
    EXPECT_EQ(Put(&s, 1, MakeVariantBstr(SysAllocString(u"many")), &argError), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argError, 0u);
    EXPECT_EQ(Put(&s, 1, MakeVariantBstr(SysAllocString(u"3000000000"))), DISP_E_OVERFLOW);
    EXPECT_EQ(s.count, 17);
}

TEST(DispatchTest, MethodArgumentsArriveInOrderAndByReference) {
    Sample s;
    int16_t b = 5;
    VARIANT args[2];
    VariantInit(&args[0]);
    args[0].vt = VT_BYREF | VT_I2;  // last argument first
    args[0].piVal = &b;
    args[1] = MakeVariantBstr(SysAllocString(u"100"));
    DISPPARAMS params{args, nullptr, 2, 0};
    Variant sum;
    ASSERT_EQ(s.Invoke(4, IID_NULL, 0x400, DISPATCH_METHOD, &params, sum.Get(), nullptr, nullptr), S_OK);
    EXPECT_EQ(sum->vt, VT_I4);
    EXPECT_EQ(sum->lVal, 105);
    VariantClear(&args[1]);

    VARIANT any = MakeVariantBstr(SysAllocString(u"x"));
    DISPPARAMS one{&any, nullptr, 1, 0};
    Variant text;
    ASSERT_EQ(s.Invoke(5, IID_NULL, 0x400, DISPATCH_METHOD, &one, text.Get(), nullptr, nullptr), S_OK);
    EXPECT_EQ(BstrView(text->bstrVal), u"text");
    EXPECT_EQ(BstrView(any.bstrVal), u"x");  // the caller's argument is untouched
    VariantClear(&any);

    EXPECT_EQ(s.Invoke(4, IID_NULL, 0x400, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(s.Invoke(77, IID_NULL, 0x400, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(s.Invoke(4, IID_NULL, 0x400, DISPATCH_PROPERTYPUT, &one, nullptr, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
    DISPID named = 0;
    DISPPARAMS namedArgs{args, &named, 2, 1};
    EXPECT_EQ(s.Invoke(4, IID_NULL, 0x400, DISPATCH_METHOD, &namedArgs, nullptr, nullptr, nullptr), DISP_E_NONAMEDARGS);
}

TEST(DispatchTest, FailingMemberReportsThroughExcepInfo) {
    Sample s;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXCEPINFO info{};
    ASSERT_EQ(s.Invoke(6, IID_NULL, 0x400, DISPATCH_METHOD, &none, nullptr, &info, nullptr), DISP_E_EXCEPTION);
    EXPECT_EQ(info.scode, MakeHresult(0x800A4E89));
    EXPECT_EQ(BstrView(info.bstrDescription), u"It broke.");
    EXPECT_EQ(BstrView(info.bstrSource), u"Sample.Source");
    EXPECT_EQ(BstrView(info.bstrHelpFile), u"sample.hlp");
    EXPECT_EQ(info.dwHelpContext, 21302u);
    ClearExcepInfo(&info);
    // Without a record the plain result comes back and the record stays for GetErrorInfo.
    EXPECT_EQ(s.Invoke(6, IID_NULL, 0x400, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), MakeHresult(0x800A4E89));
    ComPtr<IErrorInfo> error;
    ASSERT_EQ(GetErrorInfo(0, error.Out()), S_OK);
    EXPECT_EQ(GetErrorInfo(0, error.Out()), S_FALSE);  // taking it clears the slot
}

TEST(ErrorInfoTest, RecordsBelongToTheirThread) {
    PublishErrorInfo(GUID_NULL, u"main", u"main thread", nullptr, 1);
    bool otherSawOne = true;
    std::thread other([&] {
        ComPtr<IErrorInfo> error;
        otherSawOne = GetErrorInfo(0, error.Out()) == S_OK;
        PublishErrorInfo(GUID_NULL, u"other", u"left behind", nullptr, 2);  // freed with the thread
    });
    other.join();
    EXPECT_FALSE(otherSawOne);
    ComPtr<IErrorInfo> error;
    ASSERT_EQ(GetErrorInfo(0, error.Out()), S_OK);
    Bstr text;
    error->GetDescription(text.Out());
    EXPECT_EQ(text.View(), u"main thread");
    EXPECT_EQ(SetErrorInfo(1, nullptr), E_INVALIDARG);
}

TEST(TypeInfoTest, DescribesTheTable) {
    ComPtr<ITypeInfo> info;
    ASSERT_EQ(CreateInterfaceTypeInfo(&kSample, nullptr, info.Out()), S_OK);
    UINT count = 0;
    info->GetFuncCount(&count);
    EXPECT_EQ(count, 9u);
    DispMember member{};
    ASSERT_EQ(info->GetFuncDesc(6, &member), S_OK);
    EXPECT_EQ(std::u16string_view(member.name), u"Add");
    EXPECT_EQ(info->GetFuncDesc(9, &member), TYPE_E_ELEMENTNOTFOUND);
    Bstr name;
    info->GetName(name.Out());
    EXPECT_EQ(name.View(), u"ISample");
}

}  // namespace
}  // namespace quenda
