// AdjusterEmulator in the Windows build: each call goes over the control
// channel (adjuster_control.h) to the Linux ricoh-adjuster-emulator that
// ./dev starts for the wine stage, which runs the adjuster itself. The
// adjuster's values, chart definitions and IT8 texts come from there too, so
// what a test expects is computed by the same code that serves it.
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "ricoh/adjuster_control.h"
#include "transport/http_client.h"

namespace measure::emu::ricoh {
namespace {

// A control call answers at once; the bound (on the library's scaled clock,
// which the tests shrink) only keeps a vanished emulator from hanging a test.
constexpr int kCallTimeoutSeconds = 600;

std::unique_ptr<transport::HttpConnection> controlConnection() {
    const char* port = std::getenv(control::kPortVariable);
    if (port == nullptr || transport::HttpConnection::globalInit() != 0) {
        std::fprintf(stderr, "%s names no adjuster control channel (./dev test-windows starts one)\n",
                     control::kPortVariable);
        return nullptr;
    }
    auto http = std::make_unique<transport::HttpConnection>(std::string("http://127.0.0.1:") + port);
    http->setTimeout(kCallTimeoutSeconds);
    http->setHeaders({{"Content-Type", "application/json"}});
    return http;
}

// The call's answer; null when there is no channel or the call failed.
Json::Value call(transport::HttpConnection* http, const std::string& name, const Json::Value& in) {
    if (http == nullptr) return Json::Value();
    const transport::HttpResponse reply = http->post("/" + name, control::write(in));
    Json::Value out;
    if (reply.code != 200 || !control::readObject(reply.body, out)) {
        std::fprintf(stderr, "adjuster control call %s: %d %s\n", name.c_str(), reply.code,
                     reply.body.c_str());
        return Json::Value();
    }
    return out;
}

// A call not tied to one adjuster.
Json::Value callOnce(const std::string& name, const Json::Value& in) {
    const auto http = controlConnection();
    return call(http.get(), name, in);
}

}  // namespace

struct AdjusterEmulator::State {
    Options options;
    std::mutex mutex;  // one call at a time on the connection
    std::unique_ptr<transport::HttpConnection> http = controlConnection();
    int id = 0;
    int port = -1;

    Json::Value call(const std::string& name, Json::Value in = Json::Value(Json::objectValue)) {
        std::lock_guard lock(mutex);
        if (id == 0) return Json::Value();
        in["id"] = id;
        return ricoh::call(http.get(), name, in);
    }
};

AdjusterEmulator::AdjusterEmulator(const std::string&, Options options) : state_(std::make_unique<State>()) {
    state_->options = std::move(options);
    Json::Value in(Json::objectValue);
    in["options"] = control::toJson(state_->options);
    state_->id = call(state_->http.get(), "create", in).get("id", 0).asInt();
}

AdjusterEmulator::~AdjusterEmulator() {
    state_->call("destroy");
}

bool AdjusterEmulator::start() {
    const Json::Value out = state_->call("start");
    state_->port = out.get("port", -1).asInt();
    return out.get("started", false).asBool();
}

void AdjusterEmulator::stop() {
    state_->call("stop");
}

int AdjusterEmulator::port() const {
    return state_->port;
}

std::string AdjusterEmulator::encodedCredentials(const std::string& credentials) {
    Json::Value in(Json::objectValue);
    in["text"] = credentials;
    return callOnce("encodedCredentials", in)["text"].asString();
}

std::string AdjusterEmulator::chartDefinition() const {
    return chartDefinition(state_->options.sheets, state_->options.patches);
}

std::string AdjusterEmulator::chartDefinition(int sheets, int patches) {
    Json::Value in(Json::objectValue);
    in["sheets"] = sheets;
    in["patches"] = patches;
    return callOnce("chartDefinition", in)["text"].asString();
}

void AdjusterEmulator::setForeignJobRunning(bool running) {
    Json::Value in(Json::objectValue);
    in["running"] = running;
    state_->call("foreignJob", in);
}

void AdjusterEmulator::setFault(Route route, Fault fault) {
    Json::Value in(Json::objectValue);
    in["route"] = static_cast<int>(route);
    in["fault"] = static_cast<int>(fault);
    state_->call("fault", in);
}

void AdjusterEmulator::setScript(JobScript script) {
    Json::Value in(Json::objectValue);
    in["script"] = control::toJson(script);
    state_->call("script", in);
}

void AdjusterEmulator::setNextJobId(const std::string& id) {
    Json::Value in(Json::objectValue);
    in["jobId"] = id;
    state_->call("nextJobId", in);
}

std::vector<JournalEntry> AdjusterEmulator::journal() const {
    const Json::Value out = state_->call("journal");
    std::vector<JournalEntry> entries;
    for (const Json::Value& e : out["journal"]) entries.push_back(control::entryFrom(e));
    return entries;
}

int AdjusterEmulator::count(const std::string& method, const std::string& prefix) const {
    Json::Value in(Json::objectValue);
    in["method"] = method;
    in["prefix"] = prefix;
    return state_->call("count", in).get("count", -1).asInt();
}

std::string AdjusterEmulator::jobState() const {
    return state_->call("jobState")["state"].asString();
}

std::vector<double> AdjusterEmulator::patchValues(int patch, const std::string& condition,
                                                  const std::string& space) {
    Json::Value in(Json::objectValue);
    in["patch"] = patch;
    in["condition"] = condition;
    in["space"] = space;
    const Json::Value out = callOnce("patchValues", in);
    std::vector<double> values;
    for (const Json::Value& v : out["values"]) values.push_back(v.asDouble());
    return values;
}

std::string AdjusterEmulator::measuredData(int patches, const std::string& condition,
                                           const std::string& space) {
    Json::Value in(Json::objectValue);
    in["patches"] = patches;
    in["condition"] = condition;
    in["space"] = space;
    return callOnce("measuredData", in)["text"].asString();
}

}  // namespace measure::emu::ricoh
