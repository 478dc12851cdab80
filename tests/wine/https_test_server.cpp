// The HTTPS server of the Windows test stage: a Linux program (OpenSSL
// through cpp-httplib) serving the routes of transport/http_test_routes.h on
// a loopback port, so that the HTTP client under wine is tested over
// libcurl with Windows' own TLS against a real server.
//
// usage: https-test-server <folder>
// It writes its certificate and key into <folder> (localhost.crt, .key) and
// a certificate it is not signed by (unrelated.crt), then, once it accepts,
// the file <folder>/port with the port number, and serves until it is killed.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "common/https_server.h"
#include "common/self_signed_certificate.h"
#include "transport/http_test_routes.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: https-test-server <folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    measure::test::SlowReleases releases;
    measure::emulator::HttpsServer https(folder);
    if (https.server() == nullptr ||
        measure::emulator::writeSelfSignedCertificate(folder, "unrelated").certificate.empty()) {
        std::fprintf(stderr, "https-test-server: no certificate or TLS context in %s\n", folder.c_str());
        return 1;
    }
    // Requests of the test programs, which may run side by side.
    https.server()->new_task_queue = [] { return new httplib::ThreadPool(16); };
    measure::test::addHttpTestRoutes(*https.server(), releases);
    if (!https.start()) {
        std::fprintf(stderr, "https-test-server: could not listen on 127.0.0.1\n");
        return 1;
    }
    const std::string portFile = folder + "/port";
    std::FILE* file = std::fopen((portFile + ".tmp").c_str(), "w");
    if (file == nullptr) return 1;
    std::fprintf(file, "%d\n", https.port());
    std::fclose(file);
    std::rename((portFile + ".tmp").c_str(), portFile.c_str());
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}
