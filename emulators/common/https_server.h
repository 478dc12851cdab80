// A loopback HTTPS server for emulated services and tests: cpp-httplib's
// SSLServer with a certificate made at start, on 127.0.0.1 at a free port,
// listening on its own thread until stop() or destruction.
//
// Register routes on server() before start(). Handlers run on the server's
// worker threads; a handler that waits must bound its wait, since stop()
// waits for running handlers.
#pragma once

#include <httplib.h>

#include <memory>
#include <string>
#include <thread>

#include "common/self_signed_certificate.h"

namespace measure::emulator {

class HttpsServer {
public:
    // Writes the certificate into `folder` and prepares the server.
    explicit HttpsServer(const std::string& folder);
    ~HttpsServer();
    HttpsServer(const HttpsServer&) = delete;
    HttpsServer& operator=(const HttpsServer&) = delete;

    // Null when the certificate or the TLS context could not be made.
    httplib::SSLServer* server() { return server_.get(); }
    // Binds, starts listening and waits (up to 5 s) until it accepts. False
    // when any step failed.
    bool start();
    void stop();

    int port() const { return port_; }
    // "https://127.0.0.1:<port>"
    std::string baseUrl() const { return "https://127.0.0.1:" + std::to_string(port_); }
    const CertificateFiles& certificate() const { return files_; }

private:
    CertificateFiles files_;
    std::unique_ptr<httplib::SSLServer> server_;
    std::thread thread_;
    int port_ = -1;
};

}  // namespace measure::emulator
