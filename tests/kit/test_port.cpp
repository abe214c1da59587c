// TestPort, a small control built on the library shell only for the tests: typed properties,
// a guarded property, a failing put, events with arguments by reference, persistence.
#include "tests/kit/test_port.h"

#include <array>
#include <string>

#include "controls/kit/dual_control.h"
#include "platform/com/ole_interfaces.h"

namespace quenda::testing {
namespace {

constexpr DispMember kTestPortMembers[] = {
    DispPropGet<&ITestPort::get_Number>(u"Number", kDispNumber),
    DispPropPut<&ITestPort::put_Number>(u"Number", kDispNumber),
    DispPropGet<&ITestPort::get_Text>(u"Text", kDispText),
    DispPropPut<&ITestPort::put_Text>(u"Text", kDispText),
    DispPropGet<&ITestPort::get_Flag, VT_BOOL>(u"Flag", kDispFlag),
    DispPropPut<&ITestPort::put_Flag, VT_BOOL>(u"Flag", kDispFlag),
    DispPropGet<&ITestPort::get_Small>(u"Small", kDispSmall),
    DispPropPut<&ITestPort::put_Small>(u"Small", kDispSmall),
    DispPropGet<&ITestPort::get_Real>(u"Real", kDispReal),
    DispPropPut<&ITestPort::put_Real>(u"Real", kDispReal),
    DispPropGet<&ITestPort::get_Port>(u"Port", kDispPort),
    DispPropPut<&ITestPort::put_Port>(u"Port", kDispPort),
    DispPropGet<&ITestPort::get_Counter>(u"Counter", kDispCounter),
    DispPropPut<&ITestPort::put_Counter>(u"Counter", kDispCounter),
    DispPropGet<&ITestPort::get_Secret>(u"Secret", kDispSecret),
    DispPropPut<&ITestPort::put_Secret>(u"Secret", kDispSecret),
    DispPropGet<&ITestPort::get_Anything>(u"Anything", kDispAnything),
    DispPropPut<&ITestPort::put_Anything>(u"Anything", kDispAnything),
    DispMethod<&ITestPort::Send>(u"Send", kDispSend),
    DispMethod<&ITestPort::Fail>(u"Fail", kDispFail),
};

constexpr DispMember kTestPortEvents[] = {
    DispEvent(u"DataIn", kEventDataIn, {VT_BSTR, VT_BSTR, VT_I2}),
    DispEvent(u"Error", kEventError, {VT_I2, VT_BSTR}),
    DispEvent(u"ReadyToSend", kEventReadyToSend, {}),
};

constexpr DispInterface kDual = {IID_ITestPort, u"ITestPort", kDispDual, kTestPortMembers,
                                 sizeof kTestPortMembers / sizeof kTestPortMembers[0]};
constexpr DispInterface kEvents = {DIID_ITestPortEvents, u"_ITestPortEvents", kDispSource,
                                   kTestPortEvents,
                                   sizeof kTestPortEvents / sizeof kTestPortEvents[0]};
constexpr CoclassInfo kCoclass = {CLSID_TestPort, u"TestPort", &kDual, &kEvents};
constexpr TypeLibInfo kTypeLib = {LIBID_TestPortLib, u"TESTPORTLib", 1, 0, &kCoclass};

constexpr PersistedProperty kPersisted[] = {
    {u"Number", kDispNumber}, {u"Text", kDispText}, {u"Flag", kDispFlag},
    {u"Small", kDispSmall},   {u"Real", kDispReal}, {u"Anything", kDispAnything},
};

// A recognisable toolbox picture: a diagonal of blue on red.
constexpr auto kBitmap = [] {
    std::array<uint32_t, kBitmapWidth * kBitmapHeight> pixels{};
    for (int y = 0; y < kBitmapHeight; ++y) {
        for (int x = 0; x < kBitmapWidth; ++x)
            pixels[y * kBitmapWidth + x] = x == y ? 0xFF0000FF : 0xFFFF0000;
    }
    return pixels;
}();

HRESULT Create(REFIID iid, void** object);

const ControlClassInfo kTestPortClass = {
    kTestPortProgId,
    kTestPortIndependentProgId,
    u"QuendaTest TestPort Control",
    &kTypeLib,
    kPersisted,
    sizeof kPersisted / sizeof kPersisted[0],
    u"testport.hlp",
    kInvisibleControlMiscStatus,
    kBitmap.data(),
    &Create,
};

class TestPort final : public DualControl<ITestPort> {
  public:
    TestPort() : DualControl(kTestPortClass) { VariantInit(&anything_); }
    ~TestPort() override { VariantClear(&anything_); }

    HRESULT get_Number(int32_t* value) override { return Out(value, number_); }
    HRESULT put_Number(int32_t value) override {
        if (value < 0) return ReportCode(104, "TestPort refuses negative numbers.", kHelpNumber);
        number_ = value;
        MarkDirty();
        return S_OK;
    }
    HRESULT get_Text(BSTR* value) override {
        if (value == nullptr) return E_POINTER;
        *value = SysAllocStringLen(text_.data(), static_cast<uint32_t>(text_.size()));
        return *value ? S_OK : ReportCode(200, nullptr, 0);
    }
    HRESULT put_Text(BSTR value) override {
        text_ = BstrView(value);
        return S_OK;
    }
    HRESULT get_Flag(int16_t* value) override { return Out(value, flag_); }
    HRESULT put_Flag(int16_t value) override {
        flag_ = value ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
    }
    HRESULT get_Small(int16_t* value) override { return Out(value, small_); }
    HRESULT put_Small(int16_t value) override {
        small_ = value;
        return S_OK;
    }
    HRESULT get_Real(double* value) override { return Out(value, real_); }
    HRESULT put_Real(double value) override {
        real_ = value;
        return S_OK;
    }
    HRESULT get_Port(int32_t* value) override { return Out(value, static_cast<int32_t>(port_)); }
    HRESULT put_Port(int32_t value) override {
        if ((value & 0xFFFF) == 53) return ReportCode(10048, nullptr, kHelpPort);
        port_ = static_cast<uint16_t>(value);
        return S_OK;
    }
    HRESULT get_Counter(int32_t* value) override { return Out(value, counter_); }
    HRESULT put_Counter(int32_t) override {
        return ReportGuard(PropertyGuard::kReadOnly, kHelpCounter);
    }
    HRESULT get_Secret(int32_t* value) override {
        if (!UserMode()) return ReportGuard(PropertyGuard::kRuntimeOnly, kHelpSecret);
        return Out(value, secret_);
    }
    HRESULT put_Secret(int32_t value) override {
        secret_ = value;
        return S_OK;
    }
    HRESULT get_Anything(VARIANT* value) override {
        if (value == nullptr) return E_POINTER;
        VariantInit(value);
        return VariantCopy(value, &anything_);
    }
    HRESULT put_Anything(VARIANT value) override { return VariantCopyInd(&anything_, &value); }
    HRESULT Send(BSTR datagram, int16_t port) override {
        ++counter_;
        EventArgs args;
        args.AddText(BstrView(datagram));
        args.AddText(u"127.0.0.1");
        args.AddI2(port);
        FireEvent(kEventDataIn, &args);
        return S_OK;
    }
    HRESULT Fail(int32_t code) override { return ReportCode(code, nullptr, kHelpFail); }

  private:
    template <typename T>
    static HRESULT Out(T* out, T value) {
        if (out == nullptr) return E_POINTER;
        *out = value;
        return S_OK;
    }

    int32_t number_ = 7;
    std::u16string text_ = u"default";
    int16_t flag_ = VARIANT_TRUE;
    int16_t small_ = -2;
    double real_ = 0.5;
    uint16_t port_ = 0;
    int32_t counter_ = 0;
    int32_t secret_ = 99;
    VARIANT anything_;  // owned
};

HRESULT Create(REFIID iid, void** object) {
    return CreateControl<TestPort>(iid, object);
}

}  // namespace
}  // namespace quenda::testing

using quenda::testing::kTestPortClass;

QUENDA_CONTROL_LIBRARY_EXPORTS(kTestPortClass)
