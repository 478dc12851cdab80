#include "transport/http_client.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "support/http_test_server.h"
#include "support/test_environment.h"

namespace measure::transport {
namespace {

using namespace std::chrono_literals;

// The server's routes are described in transport/http_test_routes.h.
class HttpClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(HttpConnection::globalInit(), 0);
        ASSERT_TRUE(https.start()) << https.why();
    }
    // A connection that trusts nothing in particular: verification off.
    HttpConnection trusting() {
        HttpConnection connection(https.baseUrl());
        connection.setVerifyPeer(false);
        connection.setVerifyHost(false);
        return connection;
    }
    // A key of /slow that no other test program shares the server with.
    static std::string slowKey() {
        static std::atomic<int> next{0};
        return std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
               std::to_string(next++);
    }

    test::TempDir folder;
    test::HttpTestServer https;
};

TEST_F(HttpClientTest, EveryMethodReachesTheServerWithItsBody) {
    HttpConnection connection = trusting();
    const std::pair<HttpResponse, std::string> answers[] = {
        {connection.get("/echo"), "GET /echo "},
        {connection.post("/echo", "{\"job\": 1}"), "POST /echo {\"job\": 1}"},
        {connection.patch("/echo", "{\"status\": \"TERMINATED\"}"),
         "PATCH /echo {\"status\": \"TERMINATED\"}"},
        {connection.del("/echo"), "DELETE /echo "},
        // HEAD comes back at once, without a body.
        {connection.head("/echo"), ""},
    };
    for (const auto& [response, body] : answers) {
        EXPECT_EQ(response.code, 200) << body;
        EXPECT_EQ(response.body, body);
    }
    EXPECT_EQ(answers[4].first.headers.at("Content-Length"), "11") << "the headers of GET: \"HEAD /echo \"";
    HttpResponse response = connection.options("/echo");
    EXPECT_EQ(response.code, 200);
    EXPECT_EQ(response.headers["X-Method"], "OPTIONS");
    EXPECT_EQ(connection.get("/nothing-here").code, 404);
}

TEST_F(HttpClientTest, HeadersAuthenticationAndUserAgentAreSent) {
    HttpConnection connection = trusting();
    connection.setHeaders({{"X-Job", "old"}});
    connection.AppendHeader("X-Job", "7");
    connection.AppendHeader("Expect", "");  // removes the header libcurl might add
    connection.setBasicAuth("admin", "secret");
    HttpResponse response = connection.get("/headers");
    ASSERT_EQ(response.code, 200);
    EXPECT_EQ(response.body, "7|Basic YWRtaW46c2VjcmV0|measure-http/1|no-expect");
    // Response header values come trimmed.
    EXPECT_EQ(response.headers["X-Serial"], "SN 12345");

    connection.setUserAgent("Vantu Measurement Service");
    EXPECT_EQ(connection.userAgent(), "Vantu Measurement Service measure-http/1");
    connection.setBasicAuth("", "");
    response = connection.get("/headers");
    EXPECT_EQ(response.body, "7||Vantu Measurement Service measure-http/1|no-expect");
}

TEST_F(HttpClientTest, TheMultipartUploadCarriesTheXmlAsOneNamedPart) {
    HttpConnection connection(https.baseUrl());  // verification stays on: the upload switches it off
    const std::string xml = "<?xml version=\"1.0\"?><chart sheets=\"2\"/>";
    HttpResponse response;
    connection.postMultipartXml("/upload", xml, response);
    EXPECT_EQ(response.code, 200);
    EXPECT_EQ(response.body, "multipartFile|application/xml|" + xml);
}

TEST_F(HttpClientTest, VerificationRefusesACertificateItCannotTraceUnlessTrustedOrOff) {
    // Trusting only a certificate the server's is not signed by: libcurl's
    // verification error, with its text.
    HttpConnection strict(https.baseUrl());
    strict.setCaInfoFile(https.unrelatedCertificateFile());
    HttpResponse response = strict.get("/echo");
    EXPECT_EQ(response.code, 60);  // CURLE_PEER_FAILED_VERIFICATION
    EXPECT_EQ(response.body, "SSL peer certificate or SSH remote key was not OK");
    EXPECT_FALSE(strict.lastRequest().curlError.empty());

    strict.setCaInfoFile(https.certificateFile());
    response = strict.get("/echo");
    EXPECT_EQ(response.code, 200) << strict.lastRequest().curlError;
    EXPECT_GT(strict.lastRequest().appConnectTime, 0.0);
    EXPECT_GE(strict.lastRequest().totalTime, strict.lastRequest().appConnectTime);
    EXPECT_TRUE(strict.lastRequest().curlError.empty());

    HttpConnection relaxed(https.baseUrl());
    relaxed.setCaInfoFile(https.unrelatedCertificateFile());
    relaxed.setVerifyPeer(false);
    relaxed.setVerifyHost(false);
    EXPECT_EQ(relaxed.get("/echo").code, 200);
}

TEST_F(HttpClientTest, AnUnreachablePortGivesLibcurlsCodeAndText) {
    HttpConnection connection("https://127.0.0.1:1");
    const HttpResponse response = connection.get("/status");
    EXPECT_EQ(response.code, 7);  // CURLE_COULDNT_CONNECT
    EXPECT_EQ(response.body, "Couldn't connect to server");

    HttpConnection viaSocket(https.baseUrl());
    viaSocket.setUnixSocketPath(folder.file("no-such-socket"));
    EXPECT_EQ(viaSocket.get("/echo").code, 7);
}

TEST_F(HttpClientTest, ATimeoutEndsASilentTransferAndZeroMeansNone) {
    const std::string key = slowKey();
    HttpConnection connection = trusting();
    connection.setTimeout(1);
    const auto start = std::chrono::steady_clock::now();
    const HttpResponse response = connection.get("/slow?key=" + key);
    EXPECT_EQ(response.code, 28);  // CURLE_OPERATION_TIMEDOUT
    EXPECT_EQ(response.body, "Timeout was reached");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 4s);

    // Without a timeout the transfer waits for the answer.
    connection.setTimeout(0);
    std::thread releaser([this, &key] {
        std::this_thread::sleep_for(5ms);
        EXPECT_EQ(trusting().get("/release?key=" + key).body, "released");
    });
    const HttpResponse late = connection.get("/slow?key=" + key);
    releaser.join();
    EXPECT_EQ(late.code, 200);
    EXPECT_EQ(late.body, "late");
}

TEST_F(HttpClientTest, RedirectsAreFollowedOnlyWhenAsked) {
    HttpConnection connection = trusting();
    EXPECT_EQ(connection.get("/moved").code, 302);
    connection.followRedirects(true, 3);
    const HttpResponse response = connection.get("/moved");
    EXPECT_EQ(response.code, 200);
    EXPECT_EQ(response.body, "GET /echo ");
    EXPECT_EQ(connection.lastRequest().redirectCount, 1);
}

int countProgress(void* data, double, double, double, double) {
    ++*static_cast<int*>(data);
    return 0;
}

int abortProgress(void*, double, double, double, double) {
    return 1;
}

TEST_F(HttpClientTest, TheProgressCallbackSeesTheTransferAndCanAbortIt) {
    HttpConnection connection = trusting();
    int calls = 0;
    connection.setProgressCallback(countProgress, &calls);
    EXPECT_EQ(connection.get("/echo").code, 200);
    EXPECT_GT(calls, 0);

    connection.setProgressCallback(abortProgress, nullptr);
    EXPECT_EQ(connection.get("/echo").code, 42);  // CURLE_ABORTED_BY_CALLBACK
}

}  // namespace
}  // namespace measure::transport
