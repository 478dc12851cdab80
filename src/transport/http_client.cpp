#include "transport/http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "platform/clock.h"

namespace measure::transport {
namespace {

// RAII for the C objects of one request.
struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, SlistDeleter>;

struct MimeDeleter {
    void operator()(curl_mime* mime) const { curl_mime_free(mime); }
};
using Mime = std::unique_ptr<curl_mime, MimeDeleter>;

size_t writeBody(char* data, size_t size, size_t count, void* user) {
    static_cast<HttpResponse*>(user)->body.append(data, size * count);
    return size * count;
}

std::string trim(const std::string& text) {
    const char* blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// One response header line: the name up to the first colon, the value
// trimmed. The status line and the blank end line have no colon.
size_t writeHeader(char* data, size_t size, size_t count, void* user) {
    const std::string line(data, size * count);
    const size_t colon = line.find(':');
    if (colon != std::string::npos)
        static_cast<HttpResponse*>(user)->headers[trim(line.substr(0, colon))] = trim(line.substr(colon + 1));
    return size * count;
}

// The PATCH body, handed to libcurl piece by piece.
struct UploadSource {
    const std::string* data = nullptr;
    size_t offset = 0;
};

size_t readUpload(char* buffer, size_t size, size_t count, void* user) {
    auto* source = static_cast<UploadSource*>(user);
    const size_t left = source->data->size() - source->offset;
    const size_t take = std::min(left, size * count);
    std::memcpy(buffer, source->data->data() + source->offset, take);
    source->offset += take;
    return take;
}

struct Progress {
    HttpProgressCallback callback = nullptr;
    void* data = nullptr;
};

int reportProgress(void* user, curl_off_t downloadTotal, curl_off_t downloadNow, curl_off_t uploadTotal,
                   curl_off_t uploadNow) {
    const auto* progress = static_cast<const Progress*>(user);
    return progress->callback(progress->data, static_cast<double>(downloadTotal),
                              static_cast<double>(downloadNow), static_cast<double>(uploadTotal),
                              static_cast<double>(uploadNow));
}

double seconds(CURL* curl, CURLINFO what) {
    curl_off_t microseconds = 0;
    if (curl_easy_getinfo(curl, what, &microseconds) != CURLE_OK) return 0;
    return static_cast<double>(microseconds) / 1e6;
}

// The transfer timeout in milliseconds on the scaled clock, at least 1.
long timeoutMs(int timeoutSeconds) {
    const uint32_t ms = static_cast<uint32_t>(std::min(timeoutSeconds, 2000000)) * 1000u;
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(platform::scaledPeerWait(ms));
    return std::max<long>(1, static_cast<long>(wait.count()));
}

}  // namespace

struct HttpConnection::Handle {
    CURL* curl = nullptr;
    char error[CURL_ERROR_SIZE] = {};
    Progress progress;
    ~Handle() {
        if (curl != nullptr) curl_easy_cleanup(curl);
    }
};

int HttpConnection::globalInit() {
    static std::once_flag once;
    static int result = 0;
    std::call_once(once, [] { result = static_cast<int>(curl_global_init(CURL_GLOBAL_ALL)); });
    return result;
}

HttpConnection::HttpConnection(std::string baseUrl)
    : handle_(std::make_unique<Handle>()), baseUrl_(std::move(baseUrl)) {
    globalInit();
    handle_->curl = curl_easy_init();
    if (handle_->curl == nullptr) throw std::runtime_error("Couldn't initialize curl handle");
}

HttpConnection::~HttpConnection() = default;
HttpConnection::HttpConnection(HttpConnection&&) noexcept = default;
HttpConnection& HttpConnection::operator=(HttpConnection&&) noexcept = default;

std::string HttpConnection::userAgent() const {
    std::string agent = userAgentPrefix_;
    if (!agent.empty()) agent += ' ';
    return agent + "measure-http/" + kVersion;
}

HttpResponse HttpConnection::get(const std::string& url) {
    return perform(Method::Get, url, nullptr);
}
HttpResponse HttpConnection::post(const std::string& url, const std::string& data) {
    return perform(Method::Post, url, &data);
}
HttpResponse HttpConnection::patch(const std::string& url, const std::string& data) {
    return perform(Method::Patch, url, &data);
}
HttpResponse HttpConnection::del(const std::string& url) {
    return perform(Method::Delete, url, nullptr);
}
HttpResponse HttpConnection::head(const std::string& url) {
    return perform(Method::Head, url, nullptr);
}
HttpResponse HttpConnection::options(const std::string& url) {
    return perform(Method::Options, url, nullptr);
}

namespace {

// The body and the response headers of a transfer go into `response`.
void collectInto(CURL* curl, HttpResponse& response) {
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, writeHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &response);
}

// Every stored header as "name: value"; the list must outlive the transfer.
HeaderList applyHeaders(CURL* curl, const std::map<std::string, std::string>& headers) {
    HeaderList list;
    for (const auto& [name, value] : headers) {
        const std::string line = name + ": " + value;
        curl_slist* grown = curl_slist_append(list.get(), line.c_str());
        if (grown == nullptr) break;
        list.release();
        list.reset(grown);
    }
    if (list) curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list.get());
    return list;
}

// The result rules: libcurl's failure (its code up to 99, else -1, with its
// text as the body) or the HTTP status.
void finish(CURL* curl, CURLcode result, HttpResponse& response) {
    if (result != CURLE_OK) {
        response.code = result <= 99 ? static_cast<int>(result) : -1;
        response.body = curl_easy_strerror(result);
        return;
    }
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    response.code = static_cast<int>(status);
}

}  // namespace

void HttpConnection::applyTimeout() {
    if (timeoutSeconds_ <= 0) return;
    curl_easy_setopt(handle_->curl, CURLOPT_TIMEOUT_MS, timeoutMs(timeoutSeconds_));
    curl_easy_setopt(handle_->curl, CURLOPT_NOSIGNAL, 1L);
}

void HttpConnection::applyProgress() {
    if (progress_ == nullptr) return;
    handle_->progress = {progress_, progressData_};
    curl_easy_setopt(handle_->curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle_->curl, CURLOPT_XFERINFOFUNCTION, reportProgress);
    curl_easy_setopt(handle_->curl, CURLOPT_XFERINFODATA, &handle_->progress);
}

HttpResponse HttpConnection::perform(Method method, const std::string& url, const std::string* data) {
    CURL* curl = handle_->curl;
    HttpResponse response;
    handle_->error[0] = '\0';

    const std::string fullUrl = baseUrl_ + url;
    const std::string agent = userAgent();
    curl_easy_setopt(curl, CURLOPT_URL, fullUrl.c_str());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, agent.c_str());
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, handle_->error);
    collectInto(curl, response);

    const HeaderList headers = applyHeaders(curl, headers_);
    if (!user_.empty()) {
        curl_easy_setopt(curl, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
        curl_easy_setopt(curl, CURLOPT_USERNAME, user_.c_str());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password_.c_str());
    }

    applyTimeout();
    if (noSignal_) curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    if (followRedirects_) {
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl, CURLOPT_MAXREDIRS, static_cast<long>(maxRedirects_));
    }
    if (!caInfoFile_.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, caInfoFile_.c_str());
    if (!certificate_.empty()) curl_easy_setopt(curl, CURLOPT_SSLCERT, certificate_.c_str());
    if (!certificateType_.empty()) curl_easy_setopt(curl, CURLOPT_SSLCERTTYPE, certificateType_.c_str());
    if (!key_.empty()) curl_easy_setopt(curl, CURLOPT_SSLKEY, key_.c_str());
    if (!keyPassword_.empty()) curl_easy_setopt(curl, CURLOPT_KEYPASSWD, keyPassword_.c_str());
    if (!verifyPeer_) curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    if (!verifyHost_) curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    if (!proxy_.empty()) {
        curl_easy_setopt(curl, CURLOPT_PROXY, proxy_.c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPPROXYTUNNEL, 1L);
    }
    if (!unixSocketPath_.empty()) curl_easy_setopt(curl, CURLOPT_UNIX_SOCKET_PATH, unixSocketPath_.c_str());
    applyProgress();

    UploadSource upload;
    switch (method) {
        case Method::Get:
            break;
        case Method::Post:
            curl_easy_setopt(curl, CURLOPT_POST, 1L);
            curl_easy_setopt(curl, CURLOPT_POSTFIELDS, data->c_str());
            curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(data->size()));
            break;
        case Method::Patch:
            upload.data = data;
            curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
            curl_easy_setopt(curl, CURLOPT_READFUNCTION, readUpload);
            curl_easy_setopt(curl, CURLOPT_READDATA, &upload);
            curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(data->size()));
            curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "PATCH");
            break;
        case Method::Delete:
            curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "DELETE");
            break;
        case Method::Head:
            curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "HEAD");
            curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
            break;
        case Method::Options:
            curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, "OPTIONS");
            break;
    }

    finish(curl, curl_easy_perform(curl), response);

    info_ = {};
    info_.curlError = handle_->error;
    info_.totalTime = seconds(curl, CURLINFO_TOTAL_TIME_T);
    info_.nameLookupTime = seconds(curl, CURLINFO_NAMELOOKUP_TIME_T);
    info_.connectTime = seconds(curl, CURLINFO_CONNECT_TIME_T);
    info_.appConnectTime = seconds(curl, CURLINFO_APPCONNECT_TIME_T);
    info_.preTransferTime = seconds(curl, CURLINFO_PRETRANSFER_TIME_T);
    info_.startTransferTime = seconds(curl, CURLINFO_STARTTRANSFER_TIME_T);
    info_.redirectTime = seconds(curl, CURLINFO_REDIRECT_TIME_T);
    long redirects = 0;
    curl_easy_getinfo(curl, CURLINFO_REDIRECT_COUNT, &redirects);
    info_.redirectCount = static_cast<int>(redirects);

    // Settings persist in this object; the handle starts clean next time.
    curl_easy_reset(curl);
    return response;
}

void HttpConnection::postMultipartXml(const std::string& url, const std::string& xml,
                                      HttpResponse& response) {
    CURL* curl = handle_->curl;
    response = {};
    Mime form(curl_mime_init(curl));
    curl_mimepart* part = form ? curl_mime_addpart(form.get()) : nullptr;
    if (part == nullptr) {
        finish(curl, CURLE_OUT_OF_MEMORY, response);
        return;
    }
    curl_mime_name(part, "multipartFile");
    curl_mime_filename(part, "multipartFile");
    curl_mime_type(part, "application/xml");
    curl_mime_data(part, xml.data(), xml.size());

    const HeaderList headers = applyHeaders(curl, headers_);
    const std::string fullUrl = baseUrl_ + url;
    curl_easy_setopt(curl, CURLOPT_URL, fullUrl.c_str());
    curl_easy_setopt(curl, CURLOPT_MIMEPOST, form.get());
    collectInto(curl, response);
    applyProgress();
    applyTimeout();
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);

    finish(curl, curl_easy_perform(curl), response);
    curl_easy_reset(curl);
}

}  // namespace measure::transport
