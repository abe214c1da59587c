// Checks event sinks: advising, raising with arguments by reference, and letting go.
#include <gtest/gtest.h>

#include <vector>

#include "platform/com/connection_point.h"

namespace quenda {
namespace {

// Records each event it gets; optionally rewrites the first argument or unadvises.
class RecordingSink final : public IDispatch {
public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *object = static_cast<IDispatch*>(this);
            ++refs;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                   UINT*) override {
        EXPECT_EQ(iid, IID_NULL);
        EXPECT_EQ(locale, 0x400u);
        EXPECT_EQ(flags, DISPATCH_METHOD);
        ids.push_back(id);
        argCounts.push_back(params->cArgs);
        for (UINT i = 0; i < params->cArgs; ++i) EXPECT_TRUE(params->rgvarg[i].vt & VT_BYREF);
        if (params->cArgs == 3) {
            // Arguments come last first: Datagram is rgvarg[2], SourcePort rgvarg[0].
            datagrams.push_back(Latin1FromBstr(*params->rgvarg[2].pbstrVal));
            ports.push_back(*params->rgvarg[0].piVal);
            if (rewrite) {
                SysReAllocString(params->rgvarg[2].pbstrVal, u"rewritten");
            }
        }
        if (point != nullptr) point->Unadvise(cookieToDrop);
        return S_OK;
    }

    ULONG refs = 1;
    bool rewrite = false;
    IConnectionPoint* point = nullptr;  // unadvise cookieToDrop from inside the event
    uint32_t cookieToDrop = 0;
    std::vector<DISPID> ids;
    std::vector<UINT> argCounts;
    std::vector<std::string> datagrams;
    std::vector<int16_t> ports;
};

// A bare container whose references are counted, standing in for a control.
class Container final : public IConnectionPointContainer {
public:
    HRESULT QueryInterface(REFIID, void**) override { return E_NOTIMPL; }
    ULONG AddRef() override { return ++refs; }
    ULONG Release() override { return --refs; }
    HRESULT EnumConnectionPoints(IEnumConnectionPoints**) override { return E_NOTIMPL; }
    HRESULT FindConnectionPoint(REFIID, IConnectionPoint**) override { return E_NOTIMPL; }
    ULONG refs = 1;
};

const IID kEvents = {0xABCDEF01, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

TEST(ConnectionPointTest, EveryConnectedSinkGetsTheEventWithArgumentsByReference) {
    Container container;
    ConnectionPoint point(&container, kEvents);
    RecordingSink first, second;
    first.rewrite = true;
    uint32_t c1 = 0, c2 = 0;
    ASSERT_EQ(point.Advise(&first, &c1), S_OK);
    ASSERT_EQ(point.Advise(&second, &c2), S_OK);
    EXPECT_NE(c1, 0u);
    EXPECT_NE(c1, c2);
    EXPECT_EQ(first.refs, 2u);

    EventArgs args;
    args.AddLatin1(std::string("\x00\xff" "abc", 5));
    args.AddText(u"10.0.0.1");
    args.AddI2(static_cast<int16_t>(53000));
    EXPECT_EQ(point.Fire(1, &args), 2);
    ASSERT_EQ(first.datagrams.size(), 1u);
    EXPECT_EQ(first.datagrams[0], std::string("\x00\xff" "abc", 5));
    EXPECT_EQ(first.ports[0], -12536);
    // The first sink's change is seen by the next sink: one set of values per event.
    EXPECT_EQ(second.datagrams[0], "rewritten");

    EXPECT_EQ(point.Fire(3, nullptr), 2);
    EXPECT_EQ(second.ids.back(), 3);
    EXPECT_EQ(second.argCounts.back(), 0u);

    ASSERT_EQ(point.Unadvise(c1), S_OK);
    EXPECT_EQ(point.Unadvise(c1), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point.Unadvise(0), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(first.refs, 1u);
    EXPECT_EQ(point.Fire(3, nullptr), 1);
    point.DisconnectAll();
    EXPECT_EQ(second.refs, 1u);
    EXPECT_EQ(container.refs, 1u);
}

TEST(ConnectionPointTest, SinksThatLeaveDuringAnEventAreSafe) {
    Container container;
    ConnectionPoint point(&container, kEvents);
    RecordingSink leaver, other;
    uint32_t leaverCookie = 0, otherCookie = 0;
    ASSERT_EQ(point.Advise(&leaver, &leaverCookie), S_OK);
    ASSERT_EQ(point.Advise(&other, &otherCookie), S_OK);
    leaver.point = &point;
    leaver.cookieToDrop = leaverCookie;
    point.Fire(2, nullptr);
    EXPECT_EQ(point.SinkCount(), 1u);
    EXPECT_EQ(leaver.refs, 1u);
    EXPECT_EQ(other.ids.size(), 1u);
}

TEST(ConnectionPointTest, RefusesSinksWithoutDispatch) {
    Container container;
    ConnectionPoint point(&container, kEvents);
    class Plain final : public IUnknown {
    public:
        HRESULT QueryInterface(REFIID, void** o) override {
            *o = nullptr;
            return E_NOINTERFACE;
        }
        ULONG AddRef() override { return 2; }
        ULONG Release() override { return 1; }
    } plain;
    uint32_t cookie = 7;
    EXPECT_EQ(point.Advise(&plain, &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);
    EXPECT_EQ(point.Advise(nullptr, &cookie), E_POINTER);
    IConnectionPointContainer* back = nullptr;
    ASSERT_EQ(point.GetConnectionPointContainer(&back), S_OK);
    EXPECT_EQ(back, &container);
    back->Release();
    IID iid{};
    point.GetConnectionInterface(&iid);
    EXPECT_EQ(iid, kEvents);
}

}  // namespace
}  // namespace quenda
