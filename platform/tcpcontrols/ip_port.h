// The TCP client control IPPort, one element of a control array: its identity, DISPIDs, dual
// interface and factory, shared by the control and the hosts that drive it late-bound.
#pragma once

#include <cstdint>

#include "platform/com/dispatch.h"

namespace quenda {

inline constexpr IID IID_IIPPort = {0x7A3D5E10, 0x41C2, 0x4B6E, {0x9F, 0x20, 0x51, 0x75, 0xE4, 0x0D, 0x00, 0x11}};
inline constexpr IID DIID_IIPPortEvents = {0x7A3D5E10, 0x41C2, 0x4B6E, {0x9F, 0x20, 0x51, 0x75, 0xE4, 0x0D, 0x00, 0x12}};

// How long a connection attempt may take before the control gives up, by default.
inline constexpr int32_t kIPPortDefaultTimeoutMs = 10000;

enum IPPortDispid : DISPID {
    kIPPortConnected = 3,       // BOOL: put true connects, false disconnects; get: connected now
    kIPPortDataToSend = 4,      // BSTR, put only: sends the text's bytes (nothing while not connected)
    kIPPortRemoteHost = 13,     // BSTR: the server's address, dotted IPv4 or IPv6 text (no names)
    kIPPortRemotePort = 14,     // I4 0..65535; connecting to port 0 fails
    kIPPortLinger = 17,         // BOOL, true at creation: a disconnect first sends what is queued;
                                // false resets the connection at once, dropping it
    kIPPortConnectTimeout = 30, // I4 milliseconds 1..600000, kIPPortDefaultTimeoutMs at creation
    kIPPortIndex = 31,          // I2, read-only: the element index given at creation
};

// Every event comes from the event loop, never from inside a call to one of the members; the
// element index is the first argument and every argument is passed by reference.
enum IPPortEventDispid : DISPID {
    kIPPortOnConnected = 1,     // Index (I2), StatusCode (I4, 0), Description (BSTR)
    kIPPortOnDataIn = 2,        // Index (I2), Text (BSTR, one character per byte)
    kIPPortOnDisconnected = 3,  // Index (I2), StatusCode (I4, Winsock number or 0), Description (BSTR)
};

class IIPPort : public IDispatch {
public:
    virtual HRESULT get_Connected(int16_t* on) = 0;
    virtual HRESULT put_Connected(int16_t on) = 0;
    virtual HRESULT put_DataToSend(BSTR text) = 0;
    virtual HRESULT get_RemoteHost(BSTR* host) = 0;
    virtual HRESULT put_RemoteHost(BSTR host) = 0;
    virtual HRESULT get_RemotePort(int32_t* port) = 0;
    virtual HRESULT put_RemotePort(int32_t port) = 0;
    virtual HRESULT get_Linger(int16_t* on) = 0;
    virtual HRESULT put_Linger(int16_t on) = 0;
    virtual HRESULT get_ConnectTimeout(int32_t* ms) = 0;
    virtual HRESULT put_ConnectTimeout(int32_t ms) = 0;
    virtual HRESULT get_Index(int16_t* index) = 0;

protected:
    ~IIPPort() = default;
};

// Creates the IPPort element index, not connected. *port receives the caller's reference
// (E_POINTER when port is nullptr). The control lives on the calling thread, which must run
// the Qt event loop. Connecting (Connected := true) always ends in exactly one Connected or
// Disconnected event: a host that is not an address text, port 0, a refusal or no answer
// within ConnectTimeout all end in Disconnected with the Winsock number of the cause. After
// Connected, one Disconnected follows when either side closes. Closes its socket when its
// last reference goes.
HRESULT CreateIPPort(int16_t index, IDispatch** port);

}  // namespace quenda
