#include "common/https_server.h"

#include <chrono>

namespace measure::emulator {

HttpsServer::HttpsServer(const std::string& folder) : files_(writeSelfSignedCertificate(folder)) {
    if (files_.certificate.empty()) return;
    auto server = std::make_unique<httplib::SSLServer>(files_.certificate.c_str(), files_.key.c_str());
    if (server->is_valid()) server_ = std::move(server);
}

HttpsServer::~HttpsServer() {
    stop();
}

bool HttpsServer::start() {
    if (!server_ || thread_.joinable()) return false;
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) return false;
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!server_->is_running()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void HttpsServer::stop() {
    if (!thread_.joinable()) return;
    server_->stop();
    thread_.join();
}

}  // namespace measure::emulator
