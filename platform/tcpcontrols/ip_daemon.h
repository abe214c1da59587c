// The TCP server control IPDaemon: its identity, DISPIDs, dual interface and factory, shared by
// the control and the hosts that drive it late-bound.
#pragma once

#include <cstdint>

#include "platform/com/dispatch.h"

namespace quenda {

inline constexpr IID IID_IIPDaemon = {
    0x7A3D5E10, 0x41C2, 0x4B6E, {0x9F, 0x20, 0x51, 0x75, 0xE4, 0x0D, 0x00, 0x01}};
inline constexpr IID DIID_IIPDaemonEvents = {
    0x7A3D5E10, 0x41C2, 0x4B6E, {0x9F, 0x20, 0x51, 0x75, 0xE4, 0x0D, 0x00, 0x02}};

// Listening needs both switches: AcceptConnections says the control may take connections at
// all, Listening asks for the listening socket on LocalPort. The socket opens on the put that
// makes both true and closes when either turns false; open connections are not touched.
enum IPDaemonDispid : DISPID {
    kIPDaemonDataToSend = 5,  // put (I2 connection id, BSTR text): sends the text's bytes
    kIPDaemonListening = 10,  // BOOL: listen on LocalPort; get: the socket is open
    kIPDaemonLocalPort = 13,  // I4 0..65535, 0 = any free port; get: the bound port while listening
    kIPDaemonLocalHost = 14,  // BSTR: the one IPv4 address to listen on, "" = every address
    kIPDaemonAcceptConnections = 20,  // BOOL, false at creation
    kIPDaemonDisconnect = 30,         // method (I2 connection id): closes that connection
    kIPDaemonConnectionCount = 31,    // I4, read-only: connections open
};

// Every event comes from the event loop, never from inside a call to one of the members, and
// every argument is passed by reference.
enum IPDaemonEventDispid : DISPID {
    kIPDaemonOnConnected = 1,  // ConnectionId (I2), StatusCode (I4, 0), Description (BSTR)
    kIPDaemonOnConnectionRequest =
        2,  // RemoteHost (BSTR), RemotePort (I4), Accept (BOOL, true; set false to refuse)
    kIPDaemonOnDataIn = 3,  // ConnectionId (I2), Text (BSTR, one character per byte)
    kIPDaemonOnDisconnected =
        4,  // ConnectionId (I2), StatusCode (I4, Winsock number or 0), Description (BSTR)
};

class IIPDaemon : public IDispatch {
  public:
    virtual HRESULT get_LocalPort(int32_t* port) = 0;
    virtual HRESULT put_LocalPort(int32_t port) = 0;
    virtual HRESULT get_AcceptConnections(int16_t* on) = 0;
    virtual HRESULT put_AcceptConnections(int16_t on) = 0;
    virtual HRESULT get_Listening(int16_t* on) = 0;
    virtual HRESULT put_Listening(int16_t on) = 0;
    virtual HRESULT put_DataToSend(int16_t connectionId, BSTR text) = 0;
    virtual HRESULT Disconnect(int16_t connectionId) = 0;
    virtual HRESULT get_ConnectionCount(int32_t* count) = 0;
    virtual HRESULT get_LocalHost(BSTR* address) = 0;
    // Taken at the next listening start; anything but "" or a dotted IPv4 address is
    // E_INVALIDARG and keeps the old value.
    virtual HRESULT put_LocalHost(BSTR address) = 0;

  protected:
    ~IIPDaemon() = default;
};

// Creates an IPDaemon, not listening. *daemon receives the caller's reference (nullptr and
// E_POINTER when daemon is nullptr). The control lives on the calling thread, which must run
// the Qt event loop (a QCoreApplication) for it to accept, read and raise events; it closes
// every socket when its last reference goes.
HRESULT CreateIPDaemon(IDispatch** daemon);

}  // namespace quenda
