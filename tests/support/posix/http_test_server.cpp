#include "support/http_test_server.h"

#include "common/https_server.h"
#include "support/test_environment.h"
#include "transport/http_test_routes.h"

namespace measure::test {

struct HttpTestServer::InProcess {
    TempDir folder;
    emulator::HttpsServer https{folder.path()};
    SlowReleases releases;
};

HttpTestServer::HttpTestServer() : inProcess_(std::make_unique<InProcess>()) {}

HttpTestServer::~HttpTestServer() {
    inProcess_->releases.releaseAll();
    inProcess_->https.stop();
}

bool HttpTestServer::start() {
    if (inProcess_->https.server() == nullptr) {
        why_ = "no certificate or TLS context for the loopback server";
        return false;
    }
    addHttpTestRoutes(*inProcess_->https.server(), inProcess_->releases);
    if (!inProcess_->https.start()) {
        why_ = "the loopback server did not start";
        return false;
    }
    port_ = inProcess_->https.port();
    certificateFile_ = inProcess_->https.certificate().certificate;
    unrelatedCertificateFile_ =
        emulator::writeSelfSignedCertificate(inProcess_->folder.path(), "unrelated").certificate;
    if (unrelatedCertificateFile_.empty()) {
        why_ = "no unrelated certificate";
        return false;
    }
    return true;
}

}  // namespace measure::test
