// The identity, dual interface and DISPIDs of TestPort, a small control built only for the
// tests: the test library and the tests that host it both include this header.
#pragma once

#include "platform/com/type_info.h"

namespace quenda::testing {

inline constexpr CLSID CLSID_TestPort = {
    0x5E1A0001, 0x7C3B, 0x4D21, {0x9A, 0x11, 0x20, 0x26, 0x12, 0x07, 0x00, 0x01}};
inline constexpr IID IID_ITestPort = {
    0x5E1A0002, 0x7C3B, 0x4D21, {0x9A, 0x11, 0x20, 0x26, 0x12, 0x07, 0x00, 0x02}};
inline constexpr IID DIID_ITestPortEvents = {
    0x5E1A0003, 0x7C3B, 0x4D21, {0x9A, 0x11, 0x20, 0x26, 0x12, 0x07, 0x00, 0x03}};
inline constexpr GUID LIBID_TestPortLib = {
    0x5E1A0004, 0x7C3B, 0x4D21, {0x9A, 0x11, 0x20, 0x26, 0x12, 0x07, 0x00, 0x04}};

inline constexpr char16_t kTestPortProgId[] = u"QuendaTest.TestPort.1";
inline constexpr char16_t kTestPortIndependentProgId[] = u"QuendaTest.TestPort";

enum TestPortDispid : DISPID {
    kDispNumber = 1,    // I4; a negative number is refused with code 104
    kDispText = 2,      // BSTR
    kDispFlag = 3,      // BOOL
    kDispSmall = 4,     // I2
    kDispReal = 5,      // R8
    kDispPort = 6,      // I4, low 16 bits kept; 53 fails with Winsock code 10048
    kDispCounter = 7,   // I4, read-only: how many datagrams Send raised
    kDispSecret = 8,    // I4, run time only
    kDispAnything = 9,  // VARIANT, any value
    kDispSend = 10,     // method (BSTR datagram, I2 port): raises DataIn
    kDispFail = 11,     // method (I4 code): returns that component code
};

enum TestPortEventDispid : DISPID {
    kEventDataIn = 1,  // Datagram (BSTR), SourceAddress (BSTR), SourcePort (I2), all by reference
    kEventError = 2,   // ErrorCode (I2), Description (BSTR)
    kEventReadyToSend = 3,  // none
};

inline constexpr uint32_t kHelpNumber = 21301;
inline constexpr uint32_t kHelpPort = 21306;
inline constexpr uint32_t kHelpCounter = 21307;
inline constexpr uint32_t kHelpSecret = 21308;
inline constexpr uint32_t kHelpFail = 21311;

class ITestPort : public IDispatch {
  public:
    virtual HRESULT get_Number(int32_t* value) = 0;
    virtual HRESULT put_Number(int32_t value) = 0;
    virtual HRESULT get_Text(BSTR* value) = 0;
    virtual HRESULT put_Text(BSTR value) = 0;
    virtual HRESULT get_Flag(int16_t* value) = 0;
    virtual HRESULT put_Flag(int16_t value) = 0;
    virtual HRESULT get_Small(int16_t* value) = 0;
    virtual HRESULT put_Small(int16_t value) = 0;
    virtual HRESULT get_Real(double* value) = 0;
    virtual HRESULT put_Real(double value) = 0;
    virtual HRESULT get_Port(int32_t* value) = 0;
    virtual HRESULT put_Port(int32_t value) = 0;
    virtual HRESULT get_Counter(int32_t* value) = 0;
    virtual HRESULT put_Counter(int32_t value) = 0;
    virtual HRESULT get_Secret(int32_t* value) = 0;
    virtual HRESULT put_Secret(int32_t value) = 0;
    virtual HRESULT get_Anything(VARIANT* value) = 0;
    virtual HRESULT put_Anything(VARIANT value) = 0;
    virtual HRESULT Send(BSTR datagram, int16_t port) = 0;
    virtual HRESULT Fail(int32_t code) = 0;

  protected:
    ~ITestPort() = default;
};

}  // namespace quenda::testing
