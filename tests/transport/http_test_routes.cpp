#include "transport/http_test_routes.h"

#include <chrono>

namespace measure::test {

void SlowReleases::release(const std::string& key) {
    {
        std::lock_guard lock(mutex_);
        keys_.insert(key);
    }
    released_.notify_all();
}

void SlowReleases::releaseAll() {
    {
        std::lock_guard lock(mutex_);
        all_ = true;
    }
    released_.notify_all();
}

bool SlowReleases::waitFor(const std::string& key) {
    std::unique_lock lock(mutex_);
    return released_.wait_for(lock, std::chrono::seconds(5), [&] { return all_ || keys_.count(key) > 0; });
}

namespace {

void echo(const httplib::Request& request, httplib::Response& response) {
    response.set_header("X-Method", request.method);
    response.set_content(request.method + " " + request.path + " " + request.body, "text/plain");
}

}  // namespace

void addHttpTestRoutes(httplib::Server& server, SlowReleases& releases) {
    server.Get("/echo", echo);
    server.Post("/echo", echo);
    server.Patch("/echo", echo);
    server.Delete("/echo", echo);
    server.Options("/echo", echo);
    server.Get("/headers", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content(request.get_header_value("X-Job") + "|" +
                                 request.get_header_value("Authorization") + "|" +
                                 request.get_header_value("User-Agent") + "|" +
                                 (request.has_header("Expect") ? "expect" : "no-expect"),
                             "text/plain");
        response.set_header("X-Serial", "  SN 12345  ");
    });
    server.Post("/upload", [](const httplib::Request& request, httplib::Response& response) {
        if (!request.has_file("multipartFile")) {
            response.status = 400;
            return;
        }
        const auto file = request.get_file_value("multipartFile");
        response.status = 200;
        response.set_content(file.filename + "|" + file.content_type + "|" + file.content, "text/plain");
    });
    server.Get("/moved",
               [](const httplib::Request&, httplib::Response& response) { response.set_redirect("/echo"); });
    server.Get("/slow", [&releases](const httplib::Request& request, httplib::Response& response) {
        releases.waitFor(request.get_param_value("key"));
        response.set_content("late", "text/plain");
    });
    server.Get("/release", [&releases](const httplib::Request& request, httplib::Response& response) {
        releases.release(request.get_param_value("key"));
        response.set_content("released", "text/plain");
    });
}

}  // namespace measure::test
