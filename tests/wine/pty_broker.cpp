// The pty broker of the Windows test stage: a Linux program that makes real
// pseudo-terminal pairs for the Windows PseudoTerminal running inside wine,
// links each slave into the wine prefix as a COM port and plays the master
// side on request (protocol in platform/win32/pty_broker_protocol.h).
//
// usage: pty-broker <port file>   (WINEPREFIX names the prefix)
// It listens on a loopback port, writes the port number to <port file> and
// serves until it is killed.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/pseudo_terminal.h"
#include "platform/win32/pty_broker_protocol.h"

namespace {

namespace fs = std::filesystem;
using namespace measure::ptybroker;

fs::path gDosDevices;

bool receiveAll(int fd, void* buffer, size_t size) {
    auto* bytes = static_cast<char*>(buffer);
    while (size > 0) {
        const ssize_t n = ::recv(fd, bytes, size, 0);
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool sendAll(int fd, const void* buffer, size_t size) {
    const auto* bytes = static_cast<const char*>(buffer);
    while (size > 0) {
        const ssize_t n = ::send(fd, bytes, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void putU32(std::string& out, uint32_t value) {
    unsigned char bytes[4];
    measure::ptybroker::putU32(bytes, value);
    out.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

constexpr int kFirstCom = 10;
constexpr int kLastCom = 250;
std::atomic<int> gNextCom{kFirstCom};

// Links the slave as a free COM10..COM250; returns the COM name. Names are
// handed out in turn rather than lowest first: a test that pulled the cable
// still holds its port (and the port's lock, named after the COM name) until
// it ends, so a name freed just now must not go to the next test.
std::string linkComPort(const std::string& slavePath, fs::path& link) {
    constexpr int kNames = kLastCom - kFirstCom + 1;
    for (int tries = 0; tries < kNames; ++tries) {
        const int n = kFirstCom + (gNextCom.fetch_add(1) - kFirstCom) % kNames;
        link = gDosDevices / ("com" + std::to_string(n));
        std::error_code error;
        fs::create_symlink(slavePath, link, error);
        if (!error) return "COM" + std::to_string(n);
    }
    link.clear();
    return {};
}

void serve(int client) {
    measure::platform::PseudoTerminal line;
    fs::path link;
    const std::string name = line.isOpen() ? linkComPort(line.slavePath(), link) : std::string();
    std::string hello;
    putU32(hello, static_cast<uint32_t>(name.size()));
    hello += name;
    bool running = sendAll(client, hello.data(), hello.size()) && !name.empty();
    while (running) {
        unsigned char head[kRequestBytes];
        if (!receiveAll(client, head, sizeof head)) break;
        const uint32_t a = readU32(head + 1);
        const uint32_t b = readU32(head + 5);
        std::string reply;
        switch (head[0]) {
            case kWrite: {
                std::string bytes(a <= kMaxTransfer ? a : 0, '\0');
                if (a > kMaxTransfer || !receiveAll(client, bytes.data(), bytes.size())) {
                    running = false;
                    break;
                }
                reply.push_back(line.write(bytes) ? 1 : 0);
                break;
            }
            case kRead: {
                std::vector<char> buffer(a <= kMaxTransfer ? a : kMaxTransfer);
                const int n = line.read(buffer.data(), buffer.size(), std::chrono::milliseconds(b));
                putU32(reply, static_cast<uint32_t>(n));
                if (n > 0) reply.append(buffer.data(), static_cast<size_t>(n));
                break;
            }
            case kBaud:
                putU32(reply, line.slaveBaud());
                break;
            case kClose:
                line.close();
                reply.push_back(1);
                running = false;
                break;
            default:
                running = false;
                break;
        }
        if (!reply.empty() && !sendAll(client, reply.data(), reply.size())) break;
    }
    line.close();
    if (!link.empty()) {
        std::error_code ignored;
        fs::remove(link, ignored);
    }
    ::close(client);
}

}  // namespace

int main(int argc, char** argv) {
    const char* prefix = std::getenv("WINEPREFIX");
    if (argc != 2 || prefix == nullptr) {
        std::fprintf(stderr, "usage: WINEPREFIX=... pty-broker <port file>\n");
        return 2;
    }
    gDosDevices = fs::path(prefix) / "dosdevices";
    // Links left by an earlier broker that was killed point at dead terminals.
    for (int n = kFirstCom; n <= kLastCom; ++n) {
        const fs::path link = gDosDevices / ("com" + std::to_string(n));
        std::error_code error;
        if (fs::is_symlink(link, error) && fs::read_symlink(link, error).string().rfind("/dev/pts/", 0) == 0)
            fs::remove(link, error);
    }

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener, 16) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        std::perror("pty-broker");
        return 1;
    }
    {
        const std::string temporary = std::string(argv[1]) + ".tmp";
        std::FILE* file = std::fopen(temporary.c_str(), "w");
        if (file == nullptr) return 1;
        std::fprintf(file, "%u\n", static_cast<unsigned>(ntohs(address.sin_port)));
        std::fclose(file);
        std::rename(temporary.c_str(), argv[1]);
    }
    for (;;) {
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) continue;
        const int on = 1;
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::thread(serve, client).detach();
    }
}
