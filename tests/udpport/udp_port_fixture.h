// Hosts UDPPort controls the way the program does: the library registered in a scratch
// registry, controls created by ProgID, events received through a connection-point sink.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/udpport/udpport_interface.h"
#include "platform/com/com_library.h"
#include "platform/com/connection_point.h"
#include "platform/com/error_info.h"
#include "platform/registry/registry.h"
#include "tests/support/qt_loop.h"
#include "tests/support/temp_directory.h"

namespace quenda::testing {

struct DataInSeen {
    std::string datagram;  // one byte per character
    std::string address;
    int16_t port;
};

struct ErrorSeen {
    int16_t code;
    std::string description;
};

// Records the events of one control; onDataIn runs inside the DataIn event.
class EventSink final : public IDispatch {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID__IUDPPortEvents) {
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
        const VARIANT* args = params->rgvarg;
        if (id == kUdpEventDataIn && params->cArgs == 3) {
            allByReference = allByReference && args[2].vt == (VT_BYREF | VT_BSTR) &&
                             args[1].vt == (VT_BYREF | VT_BSTR) && args[0].vt == (VT_BYREF | VT_I2);
            DataInSeen seen{Latin1FromBstr(*args[2].pbstrVal), Latin1FromBstr(*args[1].pbstrVal), *args[0].piVal};
            dataIn.push_back(seen);
            if (onDataIn) onDataIn(seen);
        } else if (id == kUdpEventError && params->cArgs == 2) {
            allByReference = allByReference && args[1].vt == (VT_BYREF | VT_I2) && args[0].vt == (VT_BYREF | VT_BSTR);
            errors.push_back({*args[1].piVal, Latin1FromBstr(*args[0].pbstrVal)});
        } else if (id == kUdpEventReadyToSend && params->cArgs == 0) {
            ++readyToSend;
        } else {
            ++unexpected;
        }
        return S_OK;
    }

    std::vector<DataInSeen> dataIn;
    std::vector<ErrorSeen> errors;
    int readyToSend = 0;
    int unexpected = 0;
    bool allByReference = true;
    std::function<void(const DataInSeen&)> onDataIn;
};

// The host-visible number and description of the last failed call.
struct Failure {
    int number;
    std::string description;
    uint32_t helpContext;
};

inline Failure TakeFailure(HRESULT hr) {
    Failure failure{HostErrorNumber(hr), "<no error info>", 0};
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Out()) == S_OK) {
        Bstr text;
        info->GetDescription(text.Out());
        info->GetHelpContext(&failure.helpContext);
        failure.description = Latin1FromBstr(text.Get());
    }
    return failure;
}

class UdpPortTest : public ::testing::Test {
protected:
    void SetUp() override {
        Registry::SetProcessPath(dir_ / "registry");
        CLSID clsid{};
        if (CLSIDFromProgID(kUdpPortProgId, &clsid) != S_OK) {
            ASSERT_EQ(CoRegisterServerLibrary(QUENDA_TARNEL_LIBRARY, 1), S_OK);
        }
    }
    void TearDown() override {
        ports_.clear();
        CoFreeUnusedLibraries();
    }

    // A new control whose events go to sink (if given).
    IUDPPort* Create(EventSink* sink = nullptr) {
        CLSID clsid{};
        EXPECT_EQ(CLSIDFromProgID(kUdpPortProgId, &clsid), S_OK);
        ComPtr<IUDPPort> port;
        EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUDPPort, port.OutVoid()), S_OK);
        if (!port) return nullptr;
        if (sink != nullptr) {
            ComPtr<IConnectionPointContainer> container;
            ComPtr<IConnectionPoint> point;
            uint32_t cookie = 0;
            EXPECT_EQ(port.As(IID_IConnectionPointContainer, &container), S_OK);
            EXPECT_EQ(container->FindConnectionPoint(DIID__IUDPPortEvents, point.Out()), S_OK);
            EXPECT_EQ(point->Advise(sink, &cookie), S_OK);
        }
        ports_.push_back(port);
        return port.Get();
    }

    // A control opened on loopback at port (0: any); its bound port in *bound.
    IUDPPort* Open(EventSink* sink, int32_t port = 0, int32_t* bound = nullptr) {
        IUDPPort* control = Create(sink);
        if (control == nullptr) return nullptr;
        EXPECT_EQ(control->put_LocalPort(port), S_OK);
        EXPECT_EQ(control->put_Active(VARIANT_TRUE), S_OK);
        if (bound != nullptr) {
            EXPECT_EQ(control->get_LocalPort(bound), S_OK);
        }
        return control;
    }

    static HRESULT PutText(IUDPPort* port, HRESULT (IUDPPort::*put)(BSTR), std::string_view bytes) {
        Bstr text = Bstr::FromLatin1(bytes);
        return (port->*put)(text.Get());
    }
    static std::string GetText(IUDPPort* port, HRESULT (IUDPPort::*get)(BSTR*)) {
        Bstr text;
        EXPECT_EQ((port->*get)(text.Out()), S_OK);
        return Latin1FromBstr(text.Get());
    }
    static bool IsActive(IUDPPort* port) {
        VARIANT_BOOL active = VARIANT_FALSE;
        EXPECT_EQ(port->get_Active(&active), S_OK);
        return active != VARIANT_FALSE;
    }
    // Sends bytes from port to 127.0.0.1:to.
    static HRESULT SendTo(IUDPPort* port, int32_t to, std::string_view bytes) {
        HRESULT hr = PutText(port, &IUDPPort::put_RemoteHost, "127.0.0.1");
        if (SUCCEEDED(hr)) hr = port->put_RemotePort(to);
        if (SUCCEEDED(hr)) hr = PutText(port, &IUDPPort::put_DataToSend, bytes);
        return hr;
    }

    test::TempDirectory dir_;
    EventSink a_, b_;                      // sinks outlive the controls connected to them
    std::vector<ComPtr<IUDPPort>> ports_;  // every control made, released in TearDown
};

}  // namespace quenda::testing
