// Hosts ICMPPort controls the way the program does (tests/support/hosted_control.h), records
// their events, and as root exchanges messages with them on loopback.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "controls/icmpport/icmpport_interface.h"
#include "tests/icmpport/loopback_icmp.h"
#include "tests/support/hosted_control.h"
#include "tests/support/qt_loop.h"

namespace quenda::testing {

using test::Failure;
using test::TakeFailure;

struct MessageSeen {
    int16_t type;
    int16_t code;
    std::string data;  // one byte per character
    int16_t checksum;
    std::string source;
};

// Records the events of one control; onDataIn runs inside the DataIn event.
class EventSink final : public test::ControlEventSink {
public:
    EventSink() : ControlEventSink(DIID__IICMPPortEvents) {}

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
            RecordError(*params);
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

    std::vector<MessageSeen> dataIn;
    std::function<void(const MessageSeen&)> onDataIn;
};

inline constexpr test::HostedClass kIcmpPortHosted = {kIcmpPortProgId, IID_IICMPPort, DIID__IICMPPortEvents,
                                                      QUENDA_PELLIN_LIBRARY};

class IcmpPortTest : public test::HostedControlTest<IICMPPort, EventSink> {
protected:
    IcmpPortTest() : HostedControlTest(kIcmpPortHosted) {}

    static int32_t TimeToLive(IICMPPort* port) {
        int32_t ttl = -1;
        EXPECT_EQ(port->get_TimeToLive(&ttl), S_OK);
        return ttl;
    }
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
