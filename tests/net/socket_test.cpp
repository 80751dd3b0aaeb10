#include "net/socket.h"
#include "net/socket_platform.h"
#include "support/tcp_peer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A CGSocket that notes the size of every Read, to see how Discard takes the queue apart.
class RecordingSocket : public CGSocket {
public:
    int Read(char* buffer, int size) override {
        Sizes.push_back(size);
        return CGSocket::Read(buffer, size);
    }
    std::vector<int> Sizes;
};

// A connected pair on loopback: Server is the CGSocket under test, accepted through Open()
// from Listener; Peer is the far end, a plain CGSocket as well.
class SocketPair : public ::testing::Test {
protected:
    void SetUp() override {
        Listener.Socket = ListenLoopback(0, Port);
        ASSERT_NE(Listener.Socket, InvalidSocket);
        Peer.Socket = ConnectLoopback(Port);
        ASSERT_NE(Peer.Socket, InvalidSocket);
        Server.Listener = &Listener;
        ASSERT_EQ(Server.Open(), 1);
    }

    CGSocket Listener;
    RecordingSocket Server;
    CGSocket Peer;
    std::uint16_t Port = 0;
};

std::string ReadString(CGSocket& s, int size) {
    std::string buffer(static_cast<size_t>(size), '\0');
    int n = s.Read(buffer.data(), size);
    buffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return buffer;
}

} // namespace

TEST(CGSocketLifecycle, ClosedSocketRefusesEverything) {
    CGSocket s;
    EXPECT_EQ(s.IsOpen(), 0);
    EXPECT_EQ(s.Close(), -1);
    EXPECT_EQ(s.Open(), 0); // no listener to accept from
    char buffer[8];
    EXPECT_EQ(s.Read(buffer, 8), -1);
    EXPECT_EQ(s.Write("x", 1), -1);
    EXPECT_NE(s.Discard(), 0);
    EXPECT_EQ(s.IsOpen(), 0);
}

TEST(CGSocketLifecycle, NewSocketsSendShortRequestsAtOnce) {
    // TCP_NODELAY: a request is not held back until the server acknowledges the last one.
    CGSocketHandle s = socket_platform::CreateTcp();
    EXPECT_EQ(TcpNoDelay(s), 1);
    CloseHandleOf(s);
}

TEST_F(SocketPair, OpenAcceptsAgainAndCloseHappensOnce) {
    CGSocket second;
    second.Socket = ConnectLoopback(Port);
    ASSERT_EQ(Server.Open(), 1) << "Open on a socket in use drops it for the next connection";
    char buffer[8];
    EXPECT_EQ(Peer.Read(buffer, 8), -1) << "the first connection was closed";
    EXPECT_EQ(second.Write("hi", 2), 2);
    EXPECT_EQ(ReadString(Server, 8), "hi");

    EXPECT_EQ(Server.Close(), 0);
    EXPECT_EQ(Server.IsOpen(), 0);
    EXPECT_EQ(Server.Close(), -1);
    EXPECT_EQ(second.Read(buffer, 8), -1) << "the peer sees the orderly end";
}

TEST_F(SocketPair, ReadWaitsHalfASecondByDefaultAndAsLongAsSet) {
    char buffer[16];
    auto start = Clock::now();
    EXPECT_EQ(Server.Read(buffer, 16), 0);
    EXPECT_GE(SecondsSince(start), 0.45);

    EXPECT_EQ(Server.SetTimeout(2, 250), 1);
    start = Clock::now();
    EXPECT_EQ(Server.Read(buffer, 16), 0);
    EXPECT_GE(SecondsSince(start), 2.2);
}

TEST_F(SocketPair, ReadTakesWhatIsQueuedAfterOneWait) {
    // A long wait shows that Read does not wait for the rest of its size.
    Server.SetTimeout(30, 0);
    ASSERT_EQ(Peer.Write("abcd", 4), 4);
    auto start = Clock::now();
    EXPECT_EQ(ReadString(Server, 10), "abcd");
    EXPECT_LT(SecondsSince(start), 20.0);

    const std::string bytes = "0123456789abcdefghijklmno"; // 25
    ASSERT_TRUE(SendAll(Peer.Socket, bytes));
    ASSERT_TRUE(WaitForQueued(Server.Socket, 25, 5000));
    EXPECT_EQ(ReadString(Server, 10), "0123456789");
    EXPECT_TRUE(WaitForQueued(Server.Socket, 15, 0)) << "15 bytes stay queued";
    char none[1];
    EXPECT_EQ(Server.Read(none, 0), 0) << "a size of 0 takes nothing";
    EXPECT_EQ(ReadString(Server, 100), "abcdefghijklmno");
}

TEST_F(SocketPair, ReadReportsThePeersCloseAfterItsLastBytes) {
    ASSERT_EQ(Peer.Write("ab", 2), 2);
    Peer.Close();
    ASSERT_TRUE(WaitForQueued(Server.Socket, 2, 5000));
    EXPECT_EQ(ReadString(Server, 10), "ab");
    char buffer[10];
    EXPECT_EQ(Server.Read(buffer, 10), -1);
    EXPECT_EQ(Server.Read(buffer, 10), -1);
}

TEST_F(SocketPair, DiscardTakesTheQueueIn256BytePieces) {
    ASSERT_TRUE(SendAll(Peer.Socket, std::string(600, 'x')));
    ASSERT_TRUE(WaitForQueued(Server.Socket, 600, 5000));
    EXPECT_EQ(Server.Discard(), 0);
    EXPECT_EQ(Server.Sizes, (std::vector<int>{256, 256, 88}));
    EXPECT_EQ(Server.Discard(), 0) << "nothing queued: nothing read";
    EXPECT_EQ(Server.Sizes.size(), 3u);

    ASSERT_EQ(Peer.Write("next", 4), 4);
    EXPECT_EQ(ReadString(Server, 16), "next") << "only what had arrived was thrown away";
}

TEST_F(SocketPair, WriteSendsAndFailsAgainstAGonePeer) {
    EXPECT_EQ(Server.Write("hello", 5), 5);
    EXPECT_EQ(ReadString(Peer, 16), "hello");
    // The first sends after the peer left may still succeed; then they fail, and must not
    // end the process (no SIGPIPE).
    Peer.Close();
    std::string block(65536, 'y');
    int result = 1;
    for (int i = 0; i < 100 && result > 0; ++i) {
        result = Server.Write(block.data(), static_cast<int>(block.size()));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(result, -1);
}

// Port 80 is fixed for CGSocketClient, so these run only inside the private network
// namespace that tests/update/run_in_netns.py makes.
class Port80 : public ::testing::Test {
protected:
    void SetUp() override {
        const char* flag = std::getenv("VARNOCLE_PRIVATE_NETWORK");
        if (flag == nullptr || std::strcmp(flag, "1") != 0)
            GTEST_SKIP() << "needs a private network namespace (run_in_netns.py)";
    }
};

TEST_F(Port80, ConnectReconnectAndRefusal) {
    std::uint16_t port = 0;
    CGSocket listener;
    listener.Socket = ListenLoopback(80, port);
    ASSERT_NE(listener.Socket, InvalidSocket);
    CGSocket accepted;
    accepted.Listener = &listener;

    CGSocketClient client;
    ASSERT_EQ(client.Connect(LoopbackAddress()), 1);
    EXPECT_EQ(client.IsOpen(), 1);
    EXPECT_EQ(TcpNoDelay(client.Socket), 1);
    ASSERT_EQ(accepted.Open(), 1);
    EXPECT_EQ(client.Write("one", 3), 3);
    EXPECT_EQ(ReadString(accepted, 8), "one");

    ASSERT_EQ(client.Open(), 1) << "a new connection to the stored address";
    EXPECT_EQ(ReadString(accepted, 8), "") << "the old connection ended";
    ASSERT_EQ(accepted.Open(), 1);
    EXPECT_EQ(client.Write("two", 3), 3);
    EXPECT_EQ(ReadString(accepted, 8), "two");

    listener.Close();
    EXPECT_EQ(client.Connect(LoopbackAddress()), 0);
    EXPECT_EQ(client.IsOpen(), 0);
    EXPECT_EQ(client.Open(), 0);
    EXPECT_EQ(client.IsOpen(), 0);
}

TEST_F(Port80, ConnectGivesUpOnAPeerThatNeverAnswers) {
    // run_in_netns.py routes this address to a device that drops everything.
    const char* silent = std::getenv("VARNOCLE_SILENT_ADDRESS");
    if (silent == nullptr)
        GTEST_SKIP() << "no silent address given";
    std::uint32_t address = 0;
    ASSERT_EQ(ResolveHostIPv4(silent, address), 1);
    CGSocketClient client;
    client.ConnectTimeoutSeconds = 1;
    auto start = Clock::now();
    EXPECT_EQ(client.Connect(address), 0);
    EXPECT_GE(SecondsSince(start), 0.9);
    EXPECT_EQ(client.IsOpen(), 0);
}
