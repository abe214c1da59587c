// Hosts UDPPort controls the way the program does (tests/support/hosted_control.h), records
// their events, and opens and sends on loopback.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "controls/udpport/udpport_interface.h"
#include "tests/support/hosted_control.h"
#include "tests/support/qt_loop.h"

namespace quenda::testing {

using test::Failure;
using test::TakeFailure;

struct DataInSeen {
    std::string datagram;  // one byte per character
    std::string address;
    int16_t port;
};

// Records the events of one control; onDataIn runs inside the DataIn event.
class EventSink final : public test::ControlEventSink {
public:
    EventSink() : ControlEventSink(DIID__IUDPPortEvents) {}

    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        const VARIANT* args = params->rgvarg;
        if (id == kUdpEventDataIn && params->cArgs == 3) {
            allByReference = allByReference && args[2].vt == (VT_BYREF | VT_BSTR) &&
                             args[1].vt == (VT_BYREF | VT_BSTR) && args[0].vt == (VT_BYREF | VT_I2);
            DataInSeen seen{Latin1FromBstr(*args[2].pbstrVal), Latin1FromBstr(*args[1].pbstrVal), *args[0].piVal};
            dataIn.push_back(seen);
            if (onDataIn) onDataIn(seen);
        } else if (id == kUdpEventError && params->cArgs == 2) {
            RecordError(*params);
        } else if (id == kUdpEventReadyToSend && params->cArgs == 0) {
            ++readyToSend;
        } else {
            ++unexpected;
        }
        return S_OK;
    }

    std::vector<DataInSeen> dataIn;
    std::function<void(const DataInSeen&)> onDataIn;
};

inline constexpr test::HostedClass kUdpPortHosted = {kUdpPortProgId, IID_IUDPPort, DIID__IUDPPortEvents,
                                                     QUENDA_TARNEL_LIBRARY};

class UdpPortTest : public test::HostedControlTest<IUDPPort, EventSink> {
protected:
    UdpPortTest() : HostedControlTest(kUdpPortHosted) {}

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

    // Sends bytes from port to 127.0.0.1:to.
    static HRESULT SendTo(IUDPPort* port, int32_t to, std::string_view bytes) {
        HRESULT hr = PutText(port, &IUDPPort::put_RemoteHost, "127.0.0.1");
        if (SUCCEEDED(hr)) hr = port->put_RemotePort(to);
        if (SUCCEEDED(hr)) hr = PutText(port, &IUDPPort::put_DataToSend, bytes);
        return hr;
    }
};

}  // namespace quenda::testing
