#include "transport/tcp_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/test_environment.h"
#include "transport/message_framer.h"

namespace measure::transport {
namespace {

using namespace std::chrono_literals;
using platform::kInvalidSocket;
using platform::SocketHandle;

constexpr auto kPatience = 5s;  // bound of every wait for the client's threads
const std::string kFrame = "BEGIN_MESSAGE\r\nTYPE: INIT\r\nNAME: Init\r\nEND_MESSAGE\r\n";

// The service side on loopback: listens, accepts one client at a time.
class LoopbackPeer {
public:
    LoopbackPeer() { listener_ = platform::listenLoopback(0, port_); }
    ~LoopbackPeer() {
        closeClient();
        platform::closeSocket(listener_);
    }
    bool listening() const { return listener_ != kInvalidSocket; }
    uint16_t port() const { return port_; }

    bool accept() {
        closeClient();
        client_ = platform::acceptConnection(listener_, 5000);
        return client_ != kInvalidSocket;
    }
    bool send(const std::string& bytes) {
        return sendAll(client_, bytes.data(), bytes.size(), 5000) == bytes.size();
    }
    // Reads until `count` bytes came or the connection ended.
    std::string receive(size_t count) {
        std::string text;
        char buffer[512];
        while (text.size() < count) {
            const int n = platform::receiveSome(client_, buffer, sizeof buffer, 5000);
            if (n <= 0) break;
            text.append(buffer, static_cast<size_t>(n));
        }
        return text;
    }
    // True when the client closed its end.
    bool sawClose() {
        char byte = 0;
        return platform::receiveSome(client_, &byte, 1, 5000) == 0;
    }
    void closeClient() {
        platform::shutdownSocket(client_);
        platform::closeSocket(client_);
        client_ = kInvalidSocket;
    }

private:
    SocketHandle listener_ = kInvalidSocket;
    SocketHandle client_ = kInvalidSocket;
    uint16_t port_ = 0;
};

// Records every message handed to OnMessage.
class RecordingConnection : public TCPClientConnection {
public:
    using TCPClientConnection::TCPClientConnection;
    ~RecordingConnection() override { shutdown(); }

    void OnMessage(const char* data, size_t length) override {
        std::lock_guard lock(mutex_);
        messages_.emplace_back(data, length);
        changed_.notify_all();
    }
    // Waits (bounded) until `count` messages came; returns what came (at
    // once for 0).
    std::vector<std::string> waitFor(size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, kPatience, [&] { return messages_.size() >= count; });
        return messages_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> messages_;
};

class TcpClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.listening());
        client.setHost("127.0.0.1");
        client.setPort(peer.port());
    }
    RecordingConnection* connect() {
        auto* connection =
            static_cast<RecordingConnection*>(client.Connect(std::make_unique<RecordingConnection>(&client)));
        if (connection != nullptr && !peer.accept()) return nullptr;
        return connection;
    }

    LoopbackPeer peer;
    TCPClient client;
};

TEST_F(TcpClientTest, AMessageSplitOverManyReadsIsDeliveredOnce) {
    RecordingConnection* connection = connect();
    ASSERT_NE(connection, nullptr);
    EXPECT_TRUE(connection->IsConnected());
    for (size_t at = 0; at < kFrame.size(); at += 7) {
        ASSERT_TRUE(peer.send(kFrame.substr(at, 7)));
        std::this_thread::sleep_for(1ms);  // let the pieces arrive as separate reads
    }
    EXPECT_EQ(connection->waitFor(1), std::vector<std::string>{kFrame});
    ASSERT_TRUE(peer.send(kFrame));
    EXPECT_EQ(connection->waitFor(2).size(), 2u);
}

TEST_F(TcpClientTest, AnOversizedFrameIsDroppedAndLaterMessagesStillArrive) {
    RecordingConnection* connection = connect();
    ASSERT_NE(connection, nullptr);
    EXPECT_EQ(connection->maxFrame(), MessageFramer::kDefaultMaxFrame);
    connection->setMaxFrame(64 * 1024);  // the same rule as 16 MiB, at a size that keeps the test fast
    const std::string huge = "BEGIN_MESSAGE\r\n" + std::string(connection->maxFrame() + 4096, 'x');
    // The client reads while the peer writes; send from another thread so a
    // full socket buffer cannot stall the test.
    std::thread writer([&] { EXPECT_TRUE(peer.send(huge + "END_MESSAGE\r\n" + kFrame)); });
    const auto messages = connection->waitFor(1);
    writer.join();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], kFrame);
}

TEST_F(TcpClientTest, APeerClosingMidFrameEndsTheConnectionCleanly) {
    RecordingConnection* connection = connect();
    ASSERT_NE(connection, nullptr);
    ASSERT_TRUE(peer.send("BEGIN_MESSAGE\r\nTYPE: INIT"));
    peer.closeClient();
    EXPECT_TRUE(test::waitFor([&] { return !connection->IsConnected(); }, 5000));
    EXPECT_TRUE(connection->waitFor(0).empty());
    const Message message(kFrame.data(), kFrame.size());
    EXPECT_FALSE(connection->Send(&message));
    client.dropConnection();
    EXPECT_EQ(client.acquire(), nullptr);
}

TEST_F(TcpClientTest, SentMessagesReachThePeerWhole) {
    RecordingConnection* connection = connect();
    ASSERT_NE(connection, nullptr);
    const Message message(kFrame.data(), kFrame.size());
    EXPECT_TRUE(connection->Send(&message, 1000));
    EXPECT_EQ(peer.receive(kFrame.size()), kFrame);
}

TEST_F(TcpClientTest, EmptyAndNullMessagesNeverTouchTheSocket) {
    // A connection without a socket: any real send would fail.
    RecordingConnection idle(&client);
    const Message empty;
    const Message zeroLength("x", 0);
    EXPECT_TRUE(idle.Send(&empty));
    EXPECT_TRUE(idle.Send(&zeroLength));
    EXPECT_FALSE(idle.Send(nullptr));
    const Message text("x", 1);
    EXPECT_FALSE(idle.Send(&text));
    EXPECT_EQ(std::string(text.data(), text.length() + 1), std::string("x\0", 2));
}

TEST_F(TcpClientTest, AnUnresolvableHostConnectsToTheLocalHost) {
    client.setHost("no-such-host.invalid");
    EXPECT_EQ(client.address().address, platform::loopbackAddress());
    client.setHost(nullptr);
    EXPECT_EQ(client.address().address, platform::loopbackAddress());
    client.setHost("10.1.2.3");
    EXPECT_EQ(client.address().address, platform::hostToNetwork32(0x0A010203));
    client.setHost("no-such-host.invalid");
    EXPECT_NE(connect(), nullptr);
}

TEST_F(TcpClientTest, ARefusedConnectionGivesNull) {
    uint16_t closedPort = 0;
    {
        LoopbackPeer gone;
        closedPort = gone.port();
    }
    client.setPort(closedPort);  // nobody listens there any more
    EXPECT_EQ(client.Connect(std::make_unique<RecordingConnection>(&client)), nullptr);
    EXPECT_EQ(client.acquire(), nullptr);
    // A connection of another client is refused outright.
    TCPClient other;
    client.setPort(peer.port());
    EXPECT_EQ(client.Connect(std::make_unique<RecordingConnection>(&other)), nullptr);
}

TEST_F(TcpClientTest, DestroyingTheClientReturnsPromptlyWhileThePeerIsSilent) {
    auto owned = std::make_unique<TCPClient>();
    owned->setPort(peer.port());
    ASSERT_NE(owned->Connect(std::make_unique<RecordingConnection>(owned.get())), nullptr);
    ASSERT_TRUE(peer.accept());
    const auto start = std::chrono::steady_clock::now();
    owned.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_TRUE(peer.sawClose());
}

TEST_F(TcpClientTest, ANewSocketClosesTheOldOneAndServesTheNewPeer) {
    RecordingConnection* connection = connect();
    ASSERT_NE(connection, nullptr);
    LoopbackPeer second;
    const SocketHandle socket = platform::createTcpSocket();
    ASSERT_TRUE(platform::connectSocket(
        socket, {platform::loopbackAddress(), platform::hostToNetwork16(second.port())}, 5000));
    connection->SetSocket(socket);
    ASSERT_TRUE(second.accept());
    EXPECT_TRUE(peer.sawClose());
    EXPECT_TRUE(connection->IsConnected());
    ASSERT_TRUE(second.send(kFrame));
    EXPECT_EQ(connection->waitFor(1), std::vector<std::string>{kFrame});
}

TEST_F(TcpClientTest, ARequestTakesTheNextMessageAsItsReply) {
    RecordingConnection* connection = connect();
    ASSERT_NE(connection, nullptr);
    std::thread service([&] {
        if (peer.receive(5) == "hello") peer.send(kFrame);
    });
    const auto reply = connection->Request("hello", 5, 1000);
    service.join();
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(std::string(reply->data(), reply->length()), kFrame);
    EXPECT_TRUE(connection->waitFor(0).empty());

    // A request on a fallen connection comes back empty-handed.
    peer.closeClient();
    EXPECT_TRUE(test::waitFor([&] { return !connection->IsConnected(); }, 5000));
    EXPECT_EQ(connection->Request("again", 5, 1000), nullptr);
}

}  // namespace
}  // namespace measure::transport
