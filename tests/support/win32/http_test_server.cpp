#include "support/http_test_server.h"

#include <cstdlib>

namespace measure::test {

struct HttpTestServer::InProcess {};

HttpTestServer::HttpTestServer() = default;
HttpTestServer::~HttpTestServer() = default;

bool HttpTestServer::start() {
    const char* port = std::getenv("MEASURE_HTTPS_TEST_PORT");
    const char* folder = std::getenv("MEASURE_HTTPS_TEST_FOLDER");
    if (port == nullptr || folder == nullptr) {
        why_ =
            "MEASURE_HTTPS_TEST_PORT and MEASURE_HTTPS_TEST_FOLDER name no test server "
            "(./dev test-windows starts one)";
        return false;
    }
    port_ = std::atoi(port);
    certificateFile_ = std::string(folder) + "\\localhost.crt";
    unrelatedCertificateFile_ = std::string(folder) + "\\unrelated.crt";
    return port_ > 0;
}

}  // namespace measure::test
