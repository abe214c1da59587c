// Hosts ICMPPort controls the way the program does: the library registered in a scratch
// registry, controls created by ProgID, events received through a connection-point sink.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "controls/icmpport/icmpport_interface.h"
#include "platform/com/com_library.h"
#include "platform/com/connection_point.h"
#include "platform/com/error_info.h"
#include "platform/registry/registry.h"
#include "tests/icmpport/loopback_icmp.h"
#include "tests/support/qt_loop.h"
#include "tests/support/temp_directory.h"

namespace quenda::testing {

struct MessageSeen {
    int16_t type;
    int16_t code;
    std::string data;  // one byte per character
    int16_t checksum;
    std::string source;
};

struct ErrorSeen {
    int16_t code;
    std::string description;
};

// Records the events of one control; onDataIn runs inside the DataIn event.
class EventSink final : public IDispatch {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID__IICMPPortEvents) {
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
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        const VARIANT* args = params->rgvarg;  // last argument first
        if (id == kIcmpEventDataIn && params->cArgs == 5) {
            allByReference = allByReference && args[4].vt == (VT_BYREF | VT_I2) && args[3].vt == (VT_BYREF | VT_I2) &&
                             args[2].vt == (VT_BYREF | VT_BSTR) && args[1].vt == (VT_BYREF | VT_I2) &&
                             args[0].vt == (VT_BYREF | VT_BSTR);
            MessageSeen seen{*args[4].piVal, *args[3].piVal, Latin1FromBstr(*args[2].pbstrVal), *args[1].piVal,
                             Latin1FromBstr(*args[0].pbstrVal)};
            dataIn.push_back(seen);
            if (onDataIn) onDataIn(seen);
        } else if (id == kIcmpEventError && params->cArgs == 2) {
            allByReference = allByReference && args[1].vt == (VT_BYREF | VT_I2) && args[0].vt == (VT_BYREF | VT_BSTR);
            errors.push_back({*args[1].piVal, Latin1FromBstr(*args[0].pbstrVal)});
        } else if (id == kIcmpEventReadyToSend && params->cArgs == 0) {
            ++readyToSend;
        } else {
            ++unexpected;
        }
        return S_OK;
    }

    // The first message whose data ends with tail (other ICMP traffic is passed over), or null.
    const MessageSeen* Find(std::string_view tail) const {
        for (const MessageSeen& seen : dataIn) {
            if (std::string_view(seen.data).ends_with(tail)) return &seen;
        }
        return nullptr;
    }

    // The Error events seen, for failure messages.
    std::string ErrorsText() const {
        std::string text;
        for (const ErrorSeen& error : errors) text += " Error(" + std::to_string(error.code) + ", " + error.description + ")";
        return text.empty() ? " no Error events" : text;
    }

    std::vector<MessageSeen> dataIn;
    std::vector<ErrorSeen> errors;
    int readyToSend = 0;
    int unexpected = 0;
    bool allByReference = true;
    std::function<void(const MessageSeen&)> onDataIn;
};

// The host-visible number (low word of the HRESULT), description and help context of a
// failed call.
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

class IcmpPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        Registry::SetProcessPath(dir_ / "registry");
        CLSID clsid{};
        if (CLSIDFromProgID(kIcmpPortProgId, &clsid) != S_OK) {
            ASSERT_EQ(CoRegisterServerLibrary(QUENDA_PELLIN_LIBRARY, 1), S_OK);
        }
    }
    void TearDown() override {
        ports_.clear();
        CoFreeUnusedLibraries();
    }

    // A new control whose events go to sink (if given).
    IICMPPort* Create(EventSink* sink = nullptr) {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(kIcmpPortProgId, &clsid), S_OK);
        ComPtr<IICMPPort> port;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IICMPPort, port.OutVoid()), S_OK);
        if (!port) return nullptr;
        if (sink != nullptr) {
            ComPtr<IConnectionPointContainer> container;
            ComPtr<IConnectionPoint> point;
            uint32_t cookie = 0;
            EXPECT_EQ(port.As(IID_IConnectionPointContainer, &container), S_OK);
            EXPECT_EQ(container->FindConnectionPoint(DIID__IICMPPortEvents, point.Out()), S_OK);
            EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
        }
        ports_.push_back(port);
        return port.Get();
    }

    static HRESULT PutText(IICMPPort* port, HRESULT (IICMPPort::*put)(BSTR), std::string_view bytes) {
        Bstr text = Bstr::FromLatin1(bytes);
        return (port->*put)(text.Get());
    }
    static std::string GetText(IICMPPort* port, HRESULT (IICMPPort::*get)(BSTR*)) {
        Bstr text;
        EXPECT_EQ((port->*get)(text.Out()), S_OK);
        return Latin1FromBstr(text.Get());
    }
    static bool IsActive(IICMPPort* port) {
        VARIANT_BOOL active = VARIANT_FALSE;
        EXPECT_EQ(port->get_Active(&active), S_OK);
        return active != VARIANT_FALSE;
    }
    static int32_t TimeToLive(IICMPPort* port) {
        int32_t ttl = -1;
        EXPECT_EQ(port->get_TimeToLive(&ttl), S_OK);
        return ttl;
    }

    test::TempDirectory dir_;
    EventSink a_;                           // outlives the controls connected to it
    std::vector<ComPtr<IICMPPort>> ports_;  // every control made, released in TearDown
};

// Tests that open raw sockets: skipped, with the reason, where the system refuses them.
class IcmpExchangeTest : public IcmpPortTest {
protected:
    void SetUp() override {
        std::string reason = RawIcmpUnavailableReason();
        if (!reason.empty()) GTEST_SKIP() << reason;
        IcmpPortTest::SetUp();
        ASSERT_TRUE(tap_.IsOpen());
        ASSERT_TRUE(injector_.IsOpen());
    }

    // A control sending to 127.0.0.1, open, with its events going to a_.
    IICMPPort* Open() {
        IICMPPort* port = Create(&a_);
        if (port == nullptr) return nullptr;
        EXPECT_EQ(PutText(port, &IICMPPort::put_RemoteHost, "127.0.0.1"), S_OK);
        EXPECT_EQ(port->put_Active(VARIANT_TRUE), S_OK);
        return port;
    }

    // Runs the loop until a DataIn whose data ends with tail arrived; null if none in time.
    const MessageSeen* AwaitDataIn(std::string_view tail) {
        test::RunLoopUntil([&] { return a_.Find(tail) != nullptr; });
        return a_.Find(tail);
    }

    LoopbackTap tap_;
    IcmpInjector injector_;
};

}  // namespace quenda::testing
