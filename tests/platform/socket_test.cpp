// Datagram sockets on loopback: the exchanges a discovery runs (a query from
// an implicitly bound socket, a reply socket bound to the same port after it)
// and the bounded receive.
#include "platform/socket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "support/environment.h"
#include "support/test_environment.h"

namespace measure::platform {
namespace {

struct UdpSocket {
    SocketHandle handle = createUdpSocket();
    UdpSocket() = default;
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;
    ~UdpSocket() { closeSocket(handle); }
};

Ipv4Endpoint boundLoopback(const UdpSocket& socket) {
    Ipv4Endpoint local;
    EXPECT_TRUE(bindSocket(socket.handle, {loopbackAddress(), 0}));
    EXPECT_TRUE(localEndpoint(socket.handle, local));
    return local;
}

TEST(UdpSocket, DatagramsKeepTheirBoundariesAndTellTheirSender) {
    UdpSocket server;
    UdpSocket client;
    ASSERT_NE(server.handle, kInvalidSocket);
    const Ipv4Endpoint serverAddress = boundLoopback(server);
    Ipv4Endpoint unbound;
    EXPECT_FALSE(localEndpoint(client.handle, unbound));

    ASSERT_EQ(sendDatagram(client.handle, "kmfd-9ta", 8, serverAddress), 8);
    ASSERT_EQ(sendDatagram(client.handle, "second", 6, serverAddress), 6);
    // The first send bound the client to a port of its own.
    Ipv4Endpoint clientAddress;
    ASSERT_TRUE(localEndpoint(client.handle, clientAddress));

    char buffer[64] = {};
    Ipv4Endpoint from;
    ASSERT_EQ(receiveDatagram(server.handle, buffer, sizeof buffer, 5000, &from), 8);
    EXPECT_EQ(std::string(buffer, 8), "kmfd-9ta");
    EXPECT_EQ(from.port, clientAddress.port);
    EXPECT_EQ(from.address, loopbackAddress());
    // A datagram longer than the buffer is cut, and the next one is whole.
    ASSERT_EQ(receiveDatagram(server.handle, buffer, 3, 5000), 3);
    EXPECT_EQ(std::string(buffer, 3), "sec");

    // The reply socket takes over the sender's port once the sender closed,
    // bound on every interface.
    closeSocket(client.handle);
    client.handle = kInvalidSocket;
    UdpSocket reply;
    ASSERT_TRUE(bindSocket(reply.handle, {0, clientAddress.port}));
    ASSERT_EQ(sendDatagram(server.handle, "x,127.0.0.1,", 12, {loopbackAddress(), clientAddress.port}), 12);
    ASSERT_EQ(receiveDatagram(reply.handle, buffer, sizeof buffer, 5000), 12);
    EXPECT_EQ(std::string(buffer, 12), "x,127.0.0.1,");
}

TEST(UdpSocket, ReceiveGivesUpAfterItsScaledWait) {
    test::ScopedTimeScale scale(0.01);
    UdpSocket socket;
    boundLoopback(socket);
    EXPECT_TRUE(setSocketOption(socket.handle, SocketOption::Broadcast, 1));
    char buffer[8];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(receiveDatagram(socket.handle, buffer, sizeof buffer, 100000), 0);
    // 100 s at 1/100 is one second: far below the real wait, far above a poll slice.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(receiveDatagram(kInvalidSocket, buffer, sizeof buffer, 10), -1);
    EXPECT_EQ(sendDatagram(kInvalidSocket, "x", 1, {loopbackAddress(), 9}), -1);
}

TEST(DiscoveryRedirect, OnlyLoopbackEndpointsWithAPortAreTakenAndAnythingElseStopsTheDiscovery) {
    constexpr const char* kVariable = "MEASURE_TEST_DISCOVERY";
    const Ipv4Endpoint normal{0xFFFFFFFFu, hostToNetwork16(51005)};
    {
        test::ScopedEnvironment unset(kVariable, nullptr);
        EXPECT_EQ(discoveryTarget(kVariable, normal), normal);
    }
    {
        test::ScopedEnvironment empty(kVariable, "");
        EXPECT_EQ(discoveryTarget(kVariable, normal), normal);
    }
    {
        test::ScopedEnvironment loopback(kVariable, "127.0.0.3:51006");
        EXPECT_EQ(discoveryTarget(kVariable, normal),
                  (Ipv4Endpoint{hostToNetwork32(0x7F000003), hostToNetwork16(51006)}));
    }
    for (const char* text : {"255.255.255.255:51005", "224.0.0.251:5353", "192.168.1.20:8800", "127.0.0.1",
                             "127.0.0.1:0", "127.0.0.1:65536", "127.0.0.1:+80", "localhost:80", ":80"}) {
        test::ScopedEnvironment wrong(kVariable, text);
        EXPECT_EQ(discoveryTarget(kVariable, normal), std::nullopt) << text;
    }
}

TEST(LocalHost, AddressesComeFromTheOverrideWhileOneIsSet) {
    const std::vector<uint32_t> fixed{loopbackAddress(), hostToNetwork32(0x7F000002)};
    overrideLocalHostAddresses(fixed);
    EXPECT_EQ(localHostAddresses(), fixed);
    overrideLocalHostAddresses(std::nullopt);
    EXPECT_FALSE(localHostName().empty());
    EXPECT_FALSE(localHostOfficialName().empty());
}

}  // namespace
}  // namespace measure::platform

namespace measure::platform {
namespace {

TEST(TcpSocket, ReadableTellsASilentPeerFromAClosedOneOnAnotherLoopbackAddress) {
    uint32_t second = 0;
    ASSERT_TRUE(parseIpv4("127.0.0.2", second));
    uint16_t port = 0;
    const SocketHandle listener = listenLoopbackOn(second, 0, port);
    ASSERT_NE(listener, kInvalidSocket);
    uint32_t outside = 0;
    ASSERT_TRUE(parseIpv4("192.0.2.1", outside));
    uint16_t unused = 0;
    EXPECT_EQ(listenLoopbackOn(outside, 0, unused), kInvalidSocket);

    const SocketHandle client = createTcpSocket();
    ASSERT_TRUE(connectSocket(client, {second, hostToNetwork16(port)}, 5000));
    const SocketHandle peer = acceptConnection(listener, 5000);
    ASSERT_NE(peer, kInvalidSocket);
    // Silent: the wait times out.
    EXPECT_EQ(waitReadable(client, 10), 0);
    ASSERT_EQ(sendSome(peer, "ab", 2, 5000), 2);
    EXPECT_EQ(waitReadable(client, 5000), 1);
    char buffer[4];
    EXPECT_EQ(receiveSome(client, buffer, sizeof buffer, 5000), 2);
    // Closed: readable, and the receive reads the end.
    closeSocket(peer);
    EXPECT_EQ(waitReadable(client, 5000), 1);
    EXPECT_EQ(receiveSome(client, buffer, sizeof buffer, 5000), 0);
    EXPECT_EQ(waitReadable(kInvalidSocket, 10), -1);
    closeSocket(client);
    closeSocket(listener);
}

}  // namespace
}  // namespace measure::platform
