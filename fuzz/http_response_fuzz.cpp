// libFuzzer target: HTTP responses as the HTTP client takes them. A loopback
// server in this process answers each request with the input's bytes (after
// the first) and closes the connection; the first byte picks the request
// (even: GET, odd: HEAD). Whatever the bytes, the request ends with a status
// or libcurl's failure code, the headers are split into trimmed names and
// values, and the body is never longer than what was sent.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "platform/socket.h"
#include "transport/http_client.h"

namespace {

using namespace measure;

class LoopbackServer {
public:
    LoopbackServer() {
        listener_ = platform::listenLoopback(0, port_);
        if (listener_ == platform::kInvalidSocket) std::abort();
        // Serves for the life of the process.
        std::thread([this] { serve(); }).detach();
    }
    uint16_t port() const { return port_; }
    void setResponse(std::string response) {
        std::lock_guard lock(mutex_);
        response_ = std::move(response);
    }

private:
    void serve() {
        for (;;) {
            const platform::SocketHandle peer = platform::acceptConnection(listener_, 1000);
            if (peer == platform::kInvalidSocket) continue;
            // The request head, so that closing does not reset the connection
            // before the client has read the answer.
            std::string request;
            char buffer[2048];
            while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
                const int n = platform::receiveSome(peer, buffer, sizeof buffer, 2000);
                if (n <= 0) break;
                request.append(buffer, static_cast<size_t>(n));
            }
            std::string response;
            {
                std::lock_guard lock(mutex_);
                response = response_;
            }
            for (size_t sent = 0; sent < response.size();) {
                const int n = platform::sendSome(peer, response.data() + sent, response.size() - sent, 2000);
                if (n <= 0) break;
                sent += static_cast<size_t>(n);
            }
            platform::shutdownSocket(peer);
            platform::closeSocket(peer);
        }
    }

    platform::SocketHandle listener_ = platform::kInvalidSocket;
    uint16_t port_ = 0;
    std::mutex mutex_;
    std::string response_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static LoopbackServer* server = new LoopbackServer;
    if (size == 0) return 0;
    const std::string response(reinterpret_cast<const char*>(data + 1), size - 1);
    server->setResponse(response);

    // A new connection each time: no connection is reused across inputs.
    transport::HttpConnection connection("http://127.0.0.1:" + std::to_string(server->port()));
    connection.setTimeout(30);
    const transport::HttpResponse answer =
        (data[0] & 1) != 0 ? connection.head("/raca/v1/status") : connection.get("/raca/v1/status");
    if (answer.code >= 100 && answer.body.size() > response.size()) std::abort();
    for (const auto& [name, value] : answer.headers) {
        const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
        if (!name.empty() && (blank(name.front()) || blank(name.back()))) std::abort();
        if (!value.empty() && (blank(value.front()) || blank(value.back()))) std::abort();
    }
    return 0;
}
