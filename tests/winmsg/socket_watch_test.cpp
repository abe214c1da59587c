// One-shot readiness watches over a connected pair of datagram sockets.
#include "platform/winmsg/socket_watch.h"

#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/qt_loop.h"

namespace quenda {
namespace {

class SocketWatchTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM, 0, fds_), 0); }
    void TearDown() override {
        ::close(fds_[0]);
        ::close(fds_[1]);
    }
    void SendByte() { ASSERT_EQ(::send(fds_[1], "x", 1, 0), 1); }

    int fds_[2] = {-1, -1};
};

TEST_F(SocketWatchTest, ReadWatchFiresOnceUntilArmedAgain) {
    int calls = 0;
    SocketWatch watch(fds_[0], SocketWatch::Direction::kRead, [&] { ++calls; });
    test::RunLoopFor(20);
    EXPECT_EQ(calls, 0);  // created disarmed

    ASSERT_TRUE(watch.Arm());
    EXPECT_TRUE(watch.IsArmed());
    SendByte();
    SendByte();
    ASSERT_TRUE(test::RunLoopUntil([&] { return calls == 1; }));
    EXPECT_FALSE(watch.IsArmed());
    test::RunLoopFor(30);
    EXPECT_EQ(calls, 1);  // data is still there, but the watch is spent

    ASSERT_TRUE(watch.Arm());
    ASSERT_TRUE(test::RunLoopUntil([&] { return calls == 2; }));

    char buffer[4];
    ASSERT_EQ(::recv(fds_[0], buffer, sizeof buffer, 0), 1);
    ASSERT_EQ(::recv(fds_[0], buffer, sizeof buffer, 0), 1);
    ASSERT_TRUE(watch.Arm());
    watch.Disarm();
    SendByte();
    test::RunLoopFor(30);
    EXPECT_EQ(calls, 2);
}

TEST_F(SocketWatchTest, WatchMayBeDestroyedByItsOwnCall) {
    // A notification handled at once may close the socket, and with it the watch.
    std::unique_ptr<SocketWatch> watch;
    int calls = 0;
    watch = std::make_unique<SocketWatch>(fds_[0], SocketWatch::Direction::kRead, [&] {
        ++calls;
        watch.reset();
    });
    ASSERT_TRUE(watch->Arm());
    SendByte();
    ASSERT_TRUE(test::RunLoopUntil([&] { return calls == 1; }));
    EXPECT_EQ(watch, nullptr);
    SendByte();
    test::RunLoopFor(30);
    EXPECT_EQ(calls, 1);
}

TEST_F(SocketWatchTest, WriteWatchFiresWhenWritable) {
    int calls = 0;
    SocketWatch watch(fds_[0], SocketWatch::Direction::kWrite, [&] { ++calls; });
    ASSERT_TRUE(watch.Arm());
    ASSERT_TRUE(test::RunLoopUntil([&] { return calls == 1; }));
}

}  // namespace
}  // namespace quenda
