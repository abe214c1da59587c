// Hosts socket controls the way the program does: the library registered in a scratch
// registry, controls created by ProgID, events received through a connection-point sink.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/com_library.h"
#include "platform/com/connection_point.h"
#include "platform/com/error_info.h"
#include "platform/registry/registry.h"
#include "tests/support/temp_directory.h"

namespace quenda::test {

struct ErrorSeen {
    int16_t code;
    std::string description;
};

// The host-visible number (low word of the HRESULT, 0 for success), description and help
// context of a failed call; "<no error info>" when the call left none.
struct Failure {
    int number;
    std::string description;
    uint32_t helpContext;
};

inline Failure TakeFailure(HRESULT hr) {
    Failure failure{SUCCEEDED(hr) ? 0 : static_cast<int>(static_cast<uint32_t>(hr) & 0xFFFF), "<no error info>", 0};
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Out()) == S_OK) {
        Bstr text;
        info->GetDescription(text.Out());
        info->GetHelpContext(&failure.helpContext);
        failure.description = Latin1FromBstr(text.Get());
    }
    return failure;
}

// The sink side every control's events share: the IDispatch a connection point takes and the
// record of Error and ReadyToSend. The sink of one control decodes its events in Invoke.
class ControlEventSink : public IDispatch {
public:
    // events: the source interface the sink is connected to.
    explicit ControlEventSink(const IID& events) : events_(events) {}

    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == events_) {
            *object = static_cast<IDispatch*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Lives in the test fixture; the controls it is connected to go first.
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

    // The Error events seen, for failure messages.
    std::string ErrorsText() const {
        std::string text;
        for (const ErrorSeen& error : errors) text += " Error(" + std::to_string(error.code) + ", " + error.description + ")";
        return text.empty() ? " no Error events" : text;
    }

    std::vector<ErrorSeen> errors;
    int readyToSend = 0;
    int unexpected = 0;
    bool allByReference = true;

protected:
    ~ControlEventSink() = default;

    // Records Error(ErrorCode, Description) from its two arguments (last first).
    void RecordError(const DISPPARAMS& params) {
        const VARIANT* args = params.rgvarg;
        allByReference = allByReference && args[1].vt == (VT_BYREF | VT_I2) && args[0].vt == (VT_BYREF | VT_BSTR);
        errors.push_back({*args[1].piVal, Latin1FromBstr(*args[0].pbstrVal)});
    }

private:
    const IID& events_;
};

// Where a hosted control comes from.
struct HostedClass {
    LPCOLESTR progId;
    const IID& iid;        // the dual interface
    const IID& events;     // the source interface sinks connect to
    const char* library;   // registered when the ProgID is not known yet
};

// A fixture hosting controls of interface I whose events go to sinks of type Sink.
template <class I, class Sink>
class HostedControlTest : public ::testing::Test {
protected:
    explicit HostedControlTest(const HostedClass& hosted) : hosted_(hosted) {}

    void SetUp() override {
        Registry::SetProcessPath(dir_ / "registry");
        CLSID clsid{};
        if (CLSIDFromProgID(hosted_.progId, &clsid) != S_OK) {
            ASSERT_EQ(CoRegisterServerLibrary(hosted_.library, 1), S_OK);
        }
    }
    void TearDown() override {
        ports_.clear();
        CoFreeUnusedLibraries();
    }

    // A new control whose events go to sink (if given); null when it could not be made.
    I* Create(Sink* sink = nullptr) {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(hosted_.progId, &clsid), S_OK);
        ComPtr<I> port;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, hosted_.iid, port.OutVoid()), S_OK);
        if (!port) return nullptr;
        if (sink != nullptr) {
            ComPtr<IConnectionPointContainer> container;
            ComPtr<IConnectionPoint> point;
            uint32_t cookie = 0;
            EXPECT_EQ(port.As(IID_IConnectionPointContainer, &container), S_OK);
            EXPECT_EQ(container->FindConnectionPoint(hosted_.events, point.Out()), S_OK);
            EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
        }
        ports_.push_back(port);
        return port.Get();
    }

    static HRESULT PutText(I* port, HRESULT (I::*put)(BSTR), std::string_view bytes) {
        Bstr text = Bstr::FromLatin1(bytes);
        return (port->*put)(text.Get());
    }
    static std::string GetText(I* port, HRESULT (I::*get)(BSTR*)) {
        Bstr text;
        EXPECT_EQ((port->*get)(text.Out()), S_OK);
        return Latin1FromBstr(text.Get());
    }
    static bool IsActive(I* port) {
        VARIANT_BOOL active = VARIANT_FALSE;
        EXPECT_EQ(port->get_Active(&active), S_OK);
        return active != VARIANT_FALSE;
    }

    TempDirectory dir_;
    Sink a_, b_;                    // sinks outlive the controls connected to them
    std::vector<ComPtr<I>> ports_;  // every control made, released in TearDown

private:
    const HostedClass& hosted_;
};

}  // namespace quenda::test
