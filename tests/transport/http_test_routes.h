// What the HTTP client tests ask of their HTTPS server, written once for the
// in-process server of the Linux tests and for the Linux test server program
// that the Windows tests reach under wine (tests/wine/https_test_server.cpp).
//
//   /echo       "<method> <path> <body>" for GET, POST, PATCH, DELETE,
//               OPTIONS (HEAD as GET), the method also in X-Method
//   /headers    "<X-Job>|<Authorization>|<User-Agent>|expect or no-expect",
//               with the response header X-Serial "  SN 12345  "
//   /upload     "<file name>|<type>|<content>" of the form part multipartFile
//   /moved      a redirect to /echo
//   /slow?key=K "late" once /release?key=K came (or after 5 s)
#pragma once

#include <httplib.h>

#include <condition_variable>
#include <mutex>
#include <set>
#include <string>

namespace measure::test {

// Keys released for /slow. Handlers wait at most 5 s, so a server stops
// even when a test never released its key.
class SlowReleases {
public:
    void release(const std::string& key);
    // Ends every wait (when the server stops).
    void releaseAll();
    // True when released in time.
    bool waitFor(const std::string& key);

private:
    std::mutex mutex_;
    std::condition_variable released_;
    std::set<std::string> keys_;
    bool all_ = false;
};

// Registers the routes above; `releases` must outlive the server.
void addHttpTestRoutes(httplib::Server& server, SlowReleases& releases);

}  // namespace measure::test
