// Connection points: event sinks that advise an object, and raising events to all of them.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/com/dispatch.h"

namespace quenda {

inline constexpr IID IID_IConnectionPointContainer = {
    0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IConnectionPoint = {
    0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

class IConnectionPointContainer;
class IEnumConnections;
class IEnumConnectionPoints;

class IConnectionPoint : public IUnknown {
  public:
    virtual HRESULT GetConnectionInterface(IID* iid) = 0;
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
    // Connects sink (which must answer the event interface or IDispatch) and returns a
    // non-zero cookie. CONNECT_E_CANNOTCONNECT when the sink answers neither.
    virtual HRESULT Advise(IUnknown* sink, uint32_t* cookie) = 0;
    // CONNECT_E_NOCONNECTION for a cookie not handed out or already given back.
    virtual HRESULT Unadvise(uint32_t cookie) = 0;
    virtual HRESULT EnumConnections(IEnumConnections** connections) = 0;

  protected:
    ~IConnectionPoint() = default;
};

class IConnectionPointContainer : public IUnknown {
  public:
    virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) = 0;
    // The connection point for event interface iid; CONNECT_E_NOCONNECTION when there is none.
    virtual HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) = 0;

  protected:
    ~IConnectionPointContainer() = default;
};

// Values of one event's arguments, passed to each sink by reference. What a sink writes into
// them is visible to the next sink and to the raiser, and freed with this object.
class EventArgs {
  public:
    EventArgs() = default;
    ~EventArgs();
    EventArgs(const EventArgs&) = delete;
    EventArgs& operator=(const EventArgs&) = delete;

    void AddI2(int16_t value);
    void AddI4(int32_t value);
    void AddR4(float value);
    void AddBool(bool value);
    // Copies the text (Latin-1 bytes or UTF-16) into a BSTR owned here.
    void AddLatin1(std::string_view bytes);
    void AddText(std::u16string_view text);

    uint32_t Count() const { return static_cast<uint32_t>(values_.size()); }
    // The value of argument i (declaration order).
    const VARIANT& Value(uint32_t i) const { return *values_[i]; }
    // Fills params with BYREF variants (last argument first) for one Invoke.
    void BuildParams(std::vector<VARIANT>* byRef, DISPPARAMS* params);

  private:
    std::vector<VARIANT*> values_;  // owned, stable addresses for the references
};

// Calls id on one sink as an event: IID_NULL, locale 0x400, DISPATCH_METHOD, no result.
HRESULT InvokeEvent(IDispatch* sink, DISPID id, EventArgs* args);

// The connection point of one event interface, embedded in the object that raises the
// events; its references count on that object.
class ConnectionPoint final : public IConnectionPoint {
  public:
    ConnectionPoint(IConnectionPointContainer* container, const IID& eventIid);
    ~ConnectionPoint();
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetConnectionInterface(IID* iid) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override;
    HRESULT Advise(IUnknown* sink, uint32_t* cookie) override;
    HRESULT Unadvise(uint32_t cookie) override;
    HRESULT EnumConnections(IEnumConnections** connections) override;

    const IID& EventIid() const { return eventIid_; }
    size_t SinkCount() const { return sinks_.size(); }

    // Raises event id on every sink connected when the call starts (a sink may advise or
    // unadvise meanwhile). Returns how many sinks were called.
    int Fire(DISPID id, EventArgs* args);

    // Lets go of every sink (the object is going away).
    void DisconnectAll();

  private:
    IConnectionPointContainer* container_;                // the owning object, not counted
    IID eventIid_;                                        // the event interface served
    std::vector<std::pair<uint32_t, IDispatch*>> sinks_;  // cookie and counted sink
    uint32_t nextCookie_ = 1;                             // never 0
};

}  // namespace quenda
