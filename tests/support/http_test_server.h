// The loopback HTTPS server the HTTP client tests talk to, with the routes of
// transport/http_test_routes.h and a self-signed certificate for localhost
// and 127.0.0.1. On Linux it runs in the test program. Under wine it is the
// Linux test server that ./dev starts for the Windows stage, found through
// MEASURE_HTTPS_TEST_PORT and MEASURE_HTTPS_TEST_FOLDER (the folder of its
// certificates, as a Windows path), so that the client's TLS is Windows' own.
#pragma once

#include <memory>
#include <string>

namespace measure::test {

class HttpTestServer {
public:
    HttpTestServer();
    ~HttpTestServer();
    HttpTestServer(const HttpTestServer&) = delete;
    HttpTestServer& operator=(const HttpTestServer&) = delete;

    // Makes the server ready; false (with the reason in why()) when there is none.
    bool start();
    const std::string& why() const { return why_; }
    // "https://localhost:<port>": libcurl 7.88 with Schannel matches the
    // certificate's DNS names only, not its IP addresses.
    std::string baseUrl() const { return "https://localhost:" + std::to_string(port_); }
    // The server's certificate, to trust it.
    const std::string& certificateFile() const { return certificateFile_; }
    // A self-signed certificate the server's is not signed by.
    const std::string& unrelatedCertificateFile() const { return unrelatedCertificateFile_; }

private:
    struct InProcess;
    std::unique_ptr<InProcess> inProcess_;
    int port_ = -1;
    std::string certificateFile_;
    std::string unrelatedCertificateFile_;
    std::string why_;
};

}  // namespace measure::test
