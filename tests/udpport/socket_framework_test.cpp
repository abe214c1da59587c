// The socket framework below the control: loading the Winsock layer by path, and a socket core
// whose layer could not be loaded failing cleanly with 10093.
#include <gtest/gtest.h>

#include <filesystem>

#include "controls/socketbase/socket_core.h"
#include "controls/socketbase/winsock_state.h"
#include "platform/winmsg/message_queue.h"
#include "platform/winmsg/window.h"
#include "tests/support/temp_directory.h"

namespace quenda::testing {
namespace {

// Counts what the core asks of its component.
class CountingBehaviour final : public SocketBehaviour {
public:
    void ReadLoop(ReadMode) override { ++reads; }
    int CloseSocket() override { return ++closes, 0; }
    void RaiseReadyToSend() override { ++ready; }
    void Hold() override { ++holds; }
    void Unhold() override { --holds; }

    int reads = 0, closes = 0, ready = 0, holds = 0;
};

TEST(WinsockStateTest, NothingIsLoadedOrStartedUntilAskedAndAMissingFileSaysSo) {
    test::TempDirectory dir;
    WinsockState state((dir / "libwsock32.so").string());
    EXPECT_EQ(state.SystemStatus(), "Down");
    EXPECT_EQ(state.Description(), "");
    EXPECT_EQ(state.Api(), nullptr);
    EXPECT_FALSE(state.Load());
    EXPECT_EQ(state.Description(), "Could not load Winsock DLL.");
    EXPECT_EQ(state.SystemStatus(), "Down");
    EXPECT_EQ(state.LoadCount(), 0);
    EXPECT_EQ(state.Api(), nullptr);
}

TEST(WinsockStateTest, LoadsByPathCountsLoadsAndReportsTheFullName) {
    test::TempDirectory dir;
    WinsockState state((dir / "libwsock32.so").string());
    std::string path(std::string(300, 'x'));
    state.SetPath(path);
    EXPECT_EQ(state.Path().size(), kMaxWinsockPath);
    std::filesystem::path real = std::filesystem::canonical(QUENDA_WINSOCK_PATH);
    state.SetPath(QUENDA_WINSOCK_PATH);
    ASSERT_TRUE(state.Load());
    ASSERT_NE(state.Api(), nullptr);
    EXPECT_EQ(state.LoadCount(), 1);
    EXPECT_EQ(state.ModulePath(), real.string());
    EXPECT_EQ(state.SystemStatus(), "Running");
    EXPECT_GT(state.MaxSockets(), 0);
    EXPECT_GE(state.MaxDatagramSize(), 512);
    const WinsockApi* first = state.Api();
    ASSERT_TRUE(state.Load());
    EXPECT_EQ(state.LoadCount(), 2);
    EXPECT_EQ(state.Api(), first);
    // The empty path is the default, which here does not exist.
    state.SetPath("");
    EXPECT_EQ(state.Path(), (dir / "libwsock32.so").string());
    EXPECT_FALSE(state.Load());
    EXPECT_EQ(state.LoadCount(), 2);
    EXPECT_NE(state.Api(), nullptr);  // what was resolved stays usable
}

TEST(SocketCoreTest, WithoutALayerEveryWinsockOperationFailsWith10093) {
    test::TempDirectory dir;
    WinsockState state((dir / "missing.so").string());
    CountingBehaviour behaviour;
    SocketCore core(&behaviour, kUdpNotifyMessage, state);
    EXPECT_FALSE(core.WinsockLoaded());
    EXPECT_NE(core.Window(), nullptr);
    EXPECT_EQ(core.LastWinsockError(), 10093);
    EXPECT_EQ(core.SetLocalHost("127.0.0.1"), 10093);
    EXPECT_EQ(core.SetLocalHost(""), 0);
    EXPECT_EQ(core.LocalHostText(), "[10093] Winsock not loaded yet (WSANOTINITIALISED)");
    uint32_t address = 5;
    EXPECT_EQ(core.ResolveAddress("localhost", &address), 10093);
    EXPECT_EQ(address, 0u);
    EXPECT_EQ(core.DottedAddress(0x0100007F), "");
    EXPECT_EQ(core.Buffer().Capacity(), 2048);
}

TEST(SocketCoreTest, NotificationsCountOnlyForTheCurrentSocketAndRespectReception) {
    test::TempDirectory dir;
    WinsockState state((dir / "missing.so").string());
    CountingBehaviour behaviour;
    SocketCore core(&behaviour, kUdpNotifyMessage, state);
    core.SetSocket(7);
    LRESULT result = 0;
    EXPECT_FALSE(core.HandleMessage(kUdpNotifyMessage, 8, FD_READ, &result));  // an old socket
    EXPECT_FALSE(core.HandleMessage(kIcmpNotifyMessage, 7, FD_READ, &result));
    EXPECT_TRUE(core.HandleMessage(kUdpNotifyMessage, 7, FD_READ, &result));
    EXPECT_TRUE(core.HandleMessage(kUdpNotifyMessage, 7, FD_WRITE, &result));
    EXPECT_EQ(behaviour.reads, 1);
    EXPECT_EQ(behaviour.ready, 1);
    core.SetAcceptData(false);
    core.ReadNotification();
    core.SetAcceptData(true);
    core.SetInEvent(true);
    core.ReadNotification();  // nested inside a running read: nothing
    core.SetInEvent(false);
    EXPECT_EQ(behaviour.reads, 1);
    core.SetClosePending(true);
    core.ReadNotification();
    EXPECT_EQ(behaviour.reads, 2);
    EXPECT_EQ(behaviour.closes, 1);
    core.SetSocket(INVALID_SOCKET);  // nothing real to close
}

TEST(SocketCoreTest, DoEventsTakesOneMessageKeepsQuitAndCloseAndNotesAnInterrupt) {
    test::TempDirectory dir;
    WinsockState state((dir / "missing.so").string());
    CountingBehaviour behaviour;
    SocketCore core(&behaviour, kUdpNotifyMessage, state);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }

    core.DoEvents();  // nothing queued: a short wait, then back
    EXPECT_EQ(core.Message(), nullptr);

    PostMessageA(core.Window(), kInterruptMessage, 0, 0);
    core.DoEvents();
    ASSERT_NE(core.Message(), nullptr);
    EXPECT_STREQ(core.Message(), "Interrupted");

    PostMessageA(core.Window(), WM_CLOSE, 0, 0);
    core.DoEvents();
    EXPECT_TRUE(IsWindow(core.Window()));  // dispatched, it would have destroyed the window

    PostQuitMessage(3);
    core.DoEvents();
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));  // posted again for the real loop
    EXPECT_EQ(msg.message, WM_QUIT);
    EXPECT_EQ(msg.wParam, 3u);

    core.SetSocket(9);
    PostMessageA(core.Window(), kUdpNotifyMessage, 9, FD_READ);
    PostMessageA(core.Window(), kUdpNotifyMessage, 9, FD_WRITE);
    core.DoEvents();  // one message per call
    EXPECT_EQ(behaviour.reads, 1);
    EXPECT_EQ(behaviour.ready, 0);
    core.DoEvents();
    EXPECT_EQ(behaviour.ready, 1);
    EXPECT_EQ(behaviour.holds, 0);  // the control was kept alive exactly while it ran
    core.SetSocket(INVALID_SOCKET);
}

TEST(ReceiveBufferTest, CapacityIsSixteenBitsAndReadsAreClamped) {
    ReceiveBuffer buffer;
    ASSERT_TRUE(buffer.SetCapacity(static_cast<uint16_t>(70000)));
    EXPECT_EQ(buffer.Capacity(), 4464);
    buffer.Area()[0] = 'a';
    buffer.SetCount(99999);  // never more than the area holds
    EXPECT_EQ(buffer.Held().size(), 4464u);
    buffer.SetCount(-1);
    EXPECT_TRUE(buffer.Held().empty());
    ASSERT_TRUE(buffer.SetCapacity(0));
    EXPECT_NE(buffer.Area(), nullptr);
    EXPECT_TRUE(buffer.Held().empty());
}

}  // namespace
}  // namespace quenda::testing
