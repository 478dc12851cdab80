// A thin synchronous HTTP/HTTPS client over libcurl's easy interface: one
// connection object per remote service holds the settings (headers, timeout,
// authentication, TLS, redirects, proxy, progress), and one call per method
// performs a request and returns its status code, body and response headers.
// Its user is the Ricoh Auto Color Adjuster driver.
//
// After construction nothing is thrown: every outcome is an HttpResponse. A
// transfer that fails has libcurl's result code (when at most 99, else -1) as
// its code and libcurl's text for that result as its body.
//
// One thread at a time per connection. The transfer timeout runs on the
// scaled clock as a wait for a peer (platform::scaledPeerWait).
#pragma once

#include <cstddef>
#include <map>
#include <memory>
#include <string>

namespace measure::transport {

struct HttpResponse {
    int code = 0;  // HTTP status, or the libcurl result of a failed transfer, or -1
    std::string body;
    std::map<std::string, std::string> headers;  // name -> value, trimmed
};

// What the last request took, from libcurl: its error text (empty when none)
// and its phases in seconds since the start.
struct HttpRequestInfo {
    std::string curlError;
    double totalTime = 0;
    double nameLookupTime = 0;
    double connectTime = 0;
    double appConnectTime = 0;  // TLS handshake done
    double preTransferTime = 0;
    double startTransferTime = 0;
    double redirectTime = 0;
    int redirectCount = 0;
};

// Transfer progress in bytes; return non-zero to abort the transfer.
using HttpProgressCallback = int (*)(void* data, double downloadTotal, double downloadNow, double uploadTotal,
                                     double uploadNow);

class HttpConnection {
public:
    // The version in the user agent "measure-http/<version>".
    static constexpr const char* kVersion = "1";

    // Initialises libcurl for the process (all features), once; the first
    // call's result on every call: 0 or libcurl's error code.
    static int globalInit();

    // A connection to `baseUrl` ("https://10.0.0.5:443"); every request URL is
    // appended to it. Throws std::runtime_error("Couldn't initialize curl
    // handle") when libcurl cannot give a handle.
    explicit HttpConnection(std::string baseUrl);
    ~HttpConnection();
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;
    HttpConnection(HttpConnection&&) noexcept;
    HttpConnection& operator=(HttpConnection&&) noexcept;

    // Request headers, each sent as "name: value". An empty value removes a
    // header libcurl would add itself ("Expect").
    void setHeaders(std::map<std::string, std::string> headers) { headers_ = std::move(headers); }
    const std::map<std::string, std::string>& headers() const { return headers_; }
    // Adds a header or replaces its value.
    void AppendHeader(const std::string& name, const std::string& value) { headers_[name] = value; }

    // Transfer timeout in seconds; 0 means none. A timeout also disables signals.
    void setTimeout(int seconds) { timeoutSeconds_ = seconds; }
    void followRedirects(bool follow, int maxRedirects = -1) {
        followRedirects_ = follow;
        maxRedirects_ = maxRedirects;
    }
    void setNoSignal(bool noSignal) { noSignal_ = noSignal; }
    // Basic authentication, used while the user name is non-empty.
    void setBasicAuth(const std::string& user, const std::string& password) {
        user_ = user;
        password_ = password;
    }
    // The user agent is the prefix, a blank, then "measure-http/1"; without a
    // prefix just "measure-http/1".
    void setUserAgent(const std::string& prefix) { userAgentPrefix_ = prefix; }
    std::string userAgent() const;

    // TLS: each option is passed only when non-empty.
    void setCaInfoFile(const std::string& path) { caInfoFile_ = path; }
    void setCertificate(const std::string& path, const std::string& type = {}) {
        certificate_ = path;
        certificateType_ = type;
    }
    void setKey(const std::string& path, const std::string& password = {}) {
        key_ = path;
        keyPassword_ = password;
    }
    // Peer and host verification are on until switched off here.
    void setVerifyPeer(bool verify) { verifyPeer_ = verify; }
    void setVerifyHost(bool verify) { verifyHost_ = verify; }

    // A proxy, tunnelled; empty for none.
    void setProxy(const std::string& uri) { proxy_ = uri; }
    // Connect through a Unix domain socket; empty for none.
    void setUnixSocketPath(const std::string& path) { unixSocketPath_ = path; }
    void setProgressCallback(HttpProgressCallback callback, void* data) {
        progress_ = callback;
        progressData_ = data;
    }

    HttpResponse get(const std::string& url);
    HttpResponse post(const std::string& url, const std::string& data);
    HttpResponse patch(const std::string& url, const std::string& data);
    HttpResponse del(const std::string& url);
    // HEAD: the response has no body, so none is awaited.
    HttpResponse head(const std::string& url);
    HttpResponse options(const std::string& url);
    // Uploads `xml` as the one form part "multipartFile" (file name
    // "multipartFile", type "application/xml"), with TLS verification off.
    void postMultipartXml(const std::string& url, const std::string& xml, HttpResponse& response);

    // What the last request took.
    const HttpRequestInfo& lastRequest() const { return info_; }
    const std::string& baseUrl() const { return baseUrl_; }

private:
    enum class Method { Get, Post, Patch, Delete, Head, Options };
    HttpResponse perform(Method method, const std::string& url, const std::string* data);
    void applyTimeout();
    void applyProgress();

    struct Handle;
    std::unique_ptr<Handle> handle_;
    std::string baseUrl_;
    std::map<std::string, std::string> headers_;
    int timeoutSeconds_ = 0;
    bool followRedirects_ = false;
    int maxRedirects_ = -1;
    bool noSignal_ = false;
    std::string user_;
    std::string password_;
    std::string userAgentPrefix_;
    std::string caInfoFile_;
    std::string certificate_;
    std::string certificateType_;
    std::string key_;
    std::string keyPassword_;
    bool verifyPeer_ = true;
    bool verifyHost_ = true;
    std::string proxy_;
    std::string unixSocketPath_;
    HttpProgressCallback progress_ = nullptr;
    void* progressData_ = nullptr;
    HttpRequestInfo info_;
};

}  // namespace measure::transport
