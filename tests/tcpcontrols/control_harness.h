// Drives the TCP controls the way a late-bound host does (Invoke by DISPID or by name), records
// their events, and provides loopback peers for them to talk to.
#pragma once

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/com/com_object.h"
#include "platform/com/connection_point.h"
#include "tests/support/qt_loop.h"

namespace quenda::test {

// Every byte value once, in order.
std::string AllBytes();

// What a failed call left: its HRESULT (DISP_E_EXCEPTION resolved to the error's scode) and
// the error description.
struct CallResult {
    HRESULT hr = S_OK;
    std::string description;
};

// Late-bound calls on one control.
CallResult PutProperty(IDispatch* control, DISPID id, std::vector<VARIANT> args);
CallResult CallMethod(IDispatch* control, DISPID id, std::vector<VARIANT> args);
// The property's value; a failed get fails the test and returns VT_EMPTY.
VARIANT GetProperty(IDispatch* control, DISPID id);
int32_t GetNumber(IDispatch* control, DISPID id);
DISPID IdOfName(IDispatch* control, const char16_t* name);
// Expects each name to map to its DISPID.
void ExpectIdsOfNames(IDispatch* control, std::initializer_list<std::pair<const char16_t*, DISPID>> names);

VARIANT I2Arg(int16_t value);
VARIANT I4Arg(int32_t value);
VARIANT BoolArg(bool value);
VARIANT TextArg(std::string_view bytes);

// One event as a sink saw it: numbers and texts in declaration order.
struct Event {
    DISPID id = 0;
    std::vector<VARTYPE> types;     // each argument's type, BYREF bit removed
    std::vector<int32_t> numbers;   // numeric and boolean arguments (booleans as -1/0)
    std::vector<std::string> texts; // text arguments, one byte per character
};

// Records events; optionally answers ConnectionRequest-style BOOL arguments with accept and
// runs onEvent inside each one.
class RecordingSink final : public ComObject<IDispatch> {
  public:
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override;

    // Events with this id.
    std::vector<Event> Of(DISPID id) const;
    // All bytes of the events with this id whose first number is first, their text argument textArg joined.
    std::string JoinedText(DISPID id, int32_t first, size_t textArg = 0) const;

    std::vector<Event> events;
    bool accept = true;                       // written into a BOOL argument
    std::function<void(const Event&)> onEvent;  // runs inside the event

  private:
    void* FindInterface(REFIID iid) override;
};

// A sink advised on a control for as long as it lives.
class Advised {
  public:
    Advised(IDispatch* control, REFIID events);
    ~Advised();
    RecordingSink& sink() { return *sink_.Get(); }

  private:
    ComPtr<RecordingSink> sink_;
    ComPtr<IConnectionPoint> point_;
    uint32_t cookie_ = 0;
};

// A loopback client of the daemon: connects, writes, collects what comes back.
class LoopbackClient {
  public:
    explicit LoopbackClient(uint16_t port, const QHostAddress& address = QHostAddress::LocalHost);
    ~LoopbackClient();
    bool WaitConnected();
    void Write(std::string_view bytes);
    // Waits until at least count bytes came; false on time-out.
    bool WaitBytes(size_t count);
    // Waits until the other side closed the connection.
    bool WaitClosed();
    void Close() { socket_.disconnectFromHost(); }
    const std::string& Received() const { return received_; }

  private:
    QTcpSocket socket_;
    std::string received_;
    bool closed_ = false;
};

// A loopback TCP server standing in for a name server: records each connection's bytes,
// optionally answering one length-prefixed message with reply and closing afterwards.
class FakeUpstream {
  public:
    FakeUpstream();
    ~FakeUpstream();
    uint16_t Port() const { return server_.serverPort(); }

    std::string reply;               // sent once a whole length-prefixed message came
    bool closeAfterReply = true;

    int Accepted() const { return static_cast<int>(peers_.size()); }
    const std::string& ReceivedOn(int connection) const { return peers_.at(connection)->received; }
    bool IsOpen(int connection) const { return peers_.at(connection)->open; }
    // Closes connection n from this side.
    void Close(int connection) { peers_.at(connection)->socket->disconnectFromHost(); }

  private:
    struct Peer {
        QTcpSocket* socket = nullptr;
        std::string received;
        bool open = true;
        bool answered = false;
    };
    QTcpServer server_;
    std::vector<std::unique_ptr<Peer>> peers_;
};

// A listening socket on 127.0.0.1 whose accept queue is full, so a further connection
// attempt is never answered (the SYN is dropped).
class FullListener {
  public:
    FullListener();
    ~FullListener();
    uint16_t Port() const { return port_; }
    bool Ready() const { return ready_; }

  private:
    int listener_ = -1;
    std::vector<int> fillers_;
    uint16_t port_ = 0;
    bool ready_ = false;
};

}  // namespace quenda::test
