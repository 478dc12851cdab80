#include "ricoh/adjuster_emulator.h"

#include <json/json.h>
#include <openssl/evp.h>
#include <tinyxml2.h>

#include <array>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <regex>

#include "color/spectral.h"
#include "common/https_server.h"
#include "measure/measure.h"

namespace measure::emu::ricoh {
namespace {

constexpr int kFirstNm = 400;
constexpr int kBands = 31;  // 400..700 nm

std::string fixed(double v, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, v);
    return text;
}

// The patch's reflectance: a smooth curve of its own hue and depth. Under M1
// the paper's optical brightener lifts the blue end; M2 cuts the
// ultraviolet and so the brightener, lowering the bands below 430 nm.
std::array<double, kBands> spectrum(int patch, const std::string& condition) {
    std::array<double, kBands> r{};
    const double peak = 420.0 + 13.0 * (patch % 24);
    const double depth = 0.15 + 0.03 * (patch % 7);
    for (int b = 0; b < kBands; ++b) {
        const double nm = kFirstNm + 10.0 * b;
        double v = depth + 0.7 * std::exp(-((nm - peak) * (nm - peak)) / (2 * 45.0 * 45.0));
        if (condition == "M1" && nm < 470) v += 0.04 * (470 - nm) / 70;
        if (condition == "M2" && nm < 430) v -= 0.03 * (430 - nm) / 30;
        r[static_cast<size_t>(b)] = std::min(0.99, std::max(0.01, v));
    }
    return r;
}

struct PatchText {
    std::vector<std::string> fields;
    std::vector<std::string> cells;
};

PatchText patchText(int patch, const std::string& condition, const std::string& space) {
    PatchText t;
    const auto r = spectrum(patch, condition);
    if (space == "SPECTRAL_REFLECTANCE") {
        // SPECTRAL_NM_ fields hold percentages.
        for (int b = 0; b < kBands; ++b) {
            t.fields.push_back("SPECTRAL_NM_" + std::to_string(kFirstNm + 10 * b));
            t.cells.push_back(fixed(100.0 * r[static_cast<size_t>(b)], 2));
        }
        return t;
    }
    const uint32_t header[3] = {kFirstNm, 10, kBands};
    double xyz[3] = {};
    SpectrumToXYZ(xyz, header, r.data());
    if (space == "XYZ") {
        t.fields = {"XYZ_X", "XYZ_Y", "XYZ_Z"};
        for (double v : xyz) t.cells.push_back(fixed(v, 4));
    } else {
        double lab[3] = {};
        measure::XYZToLab(xyz[0], xyz[1], xyz[2], &lab[0], &lab[1], &lab[2]);
        t.fields = {"LAB_L", "LAB_A", "LAB_B"};
        for (double v : lab) t.cells.push_back(fixed(v, 4));
    }
    return t;
}

std::string it8(int patches, const std::string& condition, const std::string& space, Fault fault) {
    if (fault == Fault::It8Empty) return "";
    PatchText first = patchText(0, condition, space);
    if (fault == Fault::It8MissingField)  // the values stay, under names that say nothing
        for (size_t i = 0; i < first.fields.size(); ++i) first.fields[i] = "VALUE_" + std::to_string(i + 1);
    std::string out = "CGATS.17\nORIGINATOR \"ricoh-adjuster-emulator\"\n";
    out += "MEASUREMENT_CONDITION \"" + condition + "\"\n";
    out += "NUMBER_OF_FIELDS " + std::to_string(first.fields.size() + 1) + "\nBEGIN_DATA_FORMAT\nSAMPLE_ID";
    for (const auto& f : first.fields) out += " " + f;
    const int announced = fault == Fault::It8HugeCount ? 2147483647 : patches;
    out += "\nEND_DATA_FORMAT\nNUMBER_OF_SETS " + std::to_string(announced) + "\nBEGIN_DATA\n";
    const int rows = fault == Fault::It8RowCount ? patches - 1 : patches;
    for (int p = 0; p < rows; ++p) {
        PatchText t = patchText(p, condition, space);
        if (fault == Fault::It8NonNumeric && p == patches / 2) t.cells[1] = "n/a";
        out += std::to_string(p + 1);
        for (const auto& c : t.cells) out += " " + c;
        out += "\n";
    }
    return out + "END_DATA\n";
}

bool validChart(const std::string& xml) {
    tinyxml2::XMLDocument doc;
    if (doc.Parse(xml.data(), xml.size()) != tinyxml2::XML_SUCCESS || doc.RootElement() == nullptr)
        return false;
    const tinyxml2::XMLElement* chart = doc.RootElement()->FirstChildElement("Chart");
    return chart != nullptr && chart->IntAttribute("SheetCount", 0) > 0 &&
           chart->IntAttribute("ChartPatchCount", 0) > 0;
}

}  // namespace

std::string AdjusterEmulator::encodedCredentials(const std::string& text) {
    std::string out(4 * ((text.size() + 2) / 3) + 1, '\0');
    const int n =
        EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                        reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    out.resize(static_cast<size_t>(n));
    return out;
}

struct AdjusterEmulator::State {
    explicit State(const std::string& folder) : server(folder) {}
    measure::emulator::HttpsServer server;
    Options options;
    mutable std::mutex mutex;
    std::condition_variable released;
    bool stopping = false;
    bool foreignJob = false;
    std::map<Route, Fault> faults;
    JobScript script;
    std::vector<JournalEntry> journal;
    std::string nextJobId;
    int jobsCreated = 0;
    // The current job.
    std::string jobId;
    std::string condition, space;
    bool uploaded = false;
    int polls = 0;
    std::string jobState;  // "", "CREATED", "SCANNING", "SUSPENDED", end states

    Fault fault(Route r) const {
        const auto it = faults.find(r);
        return it == faults.end() ? Fault::None : it->second;
    }
    bool jobRunning() const {
        return !jobId.empty() && jobState != "COMPLETED" && jobState != "FAILED" && jobState != "TERMINATED";
    }
    // The job's state at its next poll.
    std::string advance() {
        if (!jobRunning()) return jobState;
        ++polls;
        const int scanning = std::max(1, options.sheets) * std::max(1, script.pollsPerSheet);
        const bool suspendedNow = script.suspendAtPoll > 0 && polls >= script.suspendAtPoll &&
                                  polls < script.suspendAtPoll + script.suspendedPolls;
        const int suspendedSoFar = script.suspendAtPoll > 0 && polls >= script.suspendAtPoll
                                       ? std::min(polls - script.suspendAtPoll + 1, script.suspendedPolls)
                                       : 0;
        if (suspendedNow)
            jobState = "SUSPENDED";
        else if (script.stuck || polls - suspendedSoFar <= scanning)
            jobState = "SCANNING";
        else
            jobState = script.endState;
        return jobState;
    }
};

AdjusterEmulator::AdjusterEmulator(const std::string& folder, Options options)
    : state_(std::make_unique<State>(folder)) {
    state_->options = std::move(options);
}

AdjusterEmulator::~AdjusterEmulator() {
    stop();
}

int AdjusterEmulator::port() const {
    return state_->server.port();
}

std::string AdjusterEmulator::chartDefinition(int sheets, int patches) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ChartDefinition>\n  <Chart SheetCount=\"" +
           std::to_string(sheets) + "\" ChartPatchCount=\"" + std::to_string(patches) +
           "\"/>\n</ChartDefinition>\n";
}

std::string AdjusterEmulator::chartDefinition() const {
    return chartDefinition(state_->options.sheets, state_->options.patches);
}

void AdjusterEmulator::setForeignJobRunning(bool running) {
    std::lock_guard lock(state_->mutex);
    state_->foreignJob = running;
}

void AdjusterEmulator::setFault(Route route, Fault fault) {
    std::lock_guard lock(state_->mutex);
    state_->faults[route] = fault;
}

void AdjusterEmulator::setScript(JobScript script) {
    std::lock_guard lock(state_->mutex);
    state_->script = std::move(script);
}

void AdjusterEmulator::setNextJobId(const std::string& id) {
    std::lock_guard lock(state_->mutex);
    state_->nextJobId = id;
}

std::vector<JournalEntry> AdjusterEmulator::journal() const {
    std::lock_guard lock(state_->mutex);
    return state_->journal;
}

int AdjusterEmulator::count(const std::string& method, const std::string& prefix) const {
    std::lock_guard lock(state_->mutex);
    int n = 0;
    for (const auto& e : state_->journal)
        if (e.method == method && e.path.rfind(prefix, 0) == 0) ++n;
    return n;
}

std::string AdjusterEmulator::jobState() const {
    std::lock_guard lock(state_->mutex);
    return state_->jobState;
}

std::vector<double> AdjusterEmulator::patchValues(int patch, const std::string& condition,
                                                  const std::string& space) {
    const PatchText t = patchText(patch, condition, space);
    std::vector<double> v;
    for (const auto& c : t.cells)
        v.push_back(space == "SPECTRAL_REFLECTANCE" ? std::stod(c) / 100.0 : std::stod(c));
    return v;
}

std::string AdjusterEmulator::measuredData(int patches, const std::string& condition,
                                           const std::string& space) {
    return it8(patches, condition, space, Fault::None);
}

void AdjusterEmulator::stop() {
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
    }
    state_->released.notify_all();
    state_->server.stop();
}

bool AdjusterEmulator::start() {
    httplib::SSLServer* http = state_->server.server();
    if (http == nullptr) return false;
    State* s = state_.get();
    // The adjuster keeps a client's connection for a whole job.
    http->set_keep_alive_max_count(100000);
    http->set_keep_alive_timeout(60);

    // Every route: journal, authorisation, then the route's fault or answer.
    using Answer =
        std::function<void(const httplib::Request&, httplib::Response&, std::unique_lock<std::mutex>&)>;
    auto route = [s](Route which, Answer answer) {
        return [s, which, answer](const httplib::Request& req, httplib::Response& res) {
            std::unique_lock lock(s->mutex);
            JournalEntry e;
            e.method = req.method;
            e.path = req.path;
            e.body = req.body;
            for (const auto& [name, value] : req.headers) e.headers.emplace(name, value);
            if (req.has_file("multipartFile")) {
                const auto part = req.get_file_value("multipartFile");
                e.hasPart = true;
                e.partFileName = part.filename;
                e.partType = part.content_type;
                e.partContent = part.content;
            }
            s->journal.push_back(e);
            if (req.get_header_value("Authorization") !=
                "Basic " + encodedCredentials(s->options.credentials)) {
                res.status = 401;
                res.set_content("{\"error\": \"unauthorized\"}", "application/json");
                return;
            }
            switch (s->fault(which)) {
                case Fault::Http500:
                    res.status = 500;
                    return;
                case Fault::Http503:
                    res.status = 503;
                    return;
                case Fault::Http404:
                    res.status = 404;
                    return;
                case Fault::Hold:
                    s->released.wait_for(lock, std::chrono::milliseconds(s->options.holdMs),
                                         [s] { return s->stopping; });
                    break;
                case Fault::Drop:
                    res.set_content_provider(64, "application/json",
                                             [](size_t, size_t, httplib::DataSink&) { return false; });
                    return;
                default:
                    break;
            }
            answer(req, res, lock);
        };
    };
    auto json = [](httplib::Response& res, int status, const std::string& body) {
        res.status = status;
        res.set_content(body, "application/json");
    };
    // The malformed forms of a JSON reply whose good form is `good`.
    auto jsonFault = [](Fault f, const std::string& good, const std::string& noStatus,
                        const std::string& statusNumber) -> std::string {
        switch (f) {
            case Fault::TruncatedJson:
                return good.substr(0, good.size() / 2);
            case Fault::NotAnObject:
                return "[\"READY\", \"COMPLETED\"]";
            case Fault::StatusMissing:
                return noStatus;
            case Fault::StatusNotText:
                return statusNumber;
            default:
                return good;
        }
    };

    http->Get(
        "/raca/v1/status",
        route(Route::Status, [s, json, jsonFault](const httplib::Request&, httplib::Response& res, auto&) {
            if (s->foreignJob || s->jobRunning()) {
                json(res, 200, "{\"status\": \"SCANNING\", \"serialId\": \"" + s->options.serialId + "\"}");
                return;
            }
            const std::string good = "{\"status\": \"READY\", \"serialId\": \"" + s->options.serialId + "\"}";
            json(res, 200,
                 jsonFault(s->fault(Route::Status), good, "{\"serialId\": \"" + s->options.serialId + "\"}",
                           "{\"status\": 1, \"serialId\": \"" + s->options.serialId + "\"}"));
        }));

    http->Post("/raca/v1/jobs/cancel",
               route(Route::Cancel, [s, json](const httplib::Request&, httplib::Response& res, auto&) {
                   if (s->jobRunning()) s->jobState = "TERMINATED";
                   json(res, 200, "{\"status\": \"TERMINATED\"}");
               }));

    http->Post(
        "/raca/v1/jobs",
        route(Route::Create, [s, json](const httplib::Request& req, httplib::Response& res, auto&) {
            Json::Value body;
            Json::CharReaderBuilder builder;
            std::string errors;
            const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
            const bool parsed =
                reader->parse(req.body.data(), req.body.data() + req.body.size(), &body, &errors) &&
                body.isObject() && body.size() == 3;
            const auto text = [&](const char* key) {
                return parsed && body[key].isString() ? body[key].asString() : std::string();
            };
            const std::string condition = text("lightingCondition"), space = text("colorSpace");
            if ((condition != "M0" && condition != "M1" && condition != "M2") ||
                (space != "LAB" && space != "XYZ" && space != "SPECTRAL_REFLECTANCE") ||
                text("outputFormat") != "IT8" || req.get_header_value("Content-Type") != "application/json") {
                json(res, 400, "{\"error\": \"bad job\"}");
                return;
            }
            if (s->foreignJob || s->jobRunning()) {
                res.status = 503;
                return;
            }
            ++s->jobsCreated;
            s->jobId = s->nextJobId.empty() ? "job-" + std::to_string(s->jobsCreated) : s->nextJobId;
            s->nextJobId.clear();
            s->condition = condition;
            s->space = space;
            s->uploaded = false;
            s->polls = 0;
            s->jobState = "CREATED";
            const std::string good = "{\"jobId\": \"" + s->jobId + "\"}";
            std::string reply = good;
            switch (s->fault(Route::Create)) {
                case Fault::TruncatedJson:
                    reply = "{\"jobId\": \"" + s->jobId;
                    break;
                case Fault::NotAnObject:
                    reply = "[1, 2, 3]";
                    break;
                case Fault::LowerCaseJobId:
                    reply = "{\"jobid\": \"" + s->jobId + "\"}";
                    break;
                case Fault::LateJobId:
                    reply = "{\"note\": \"" + std::string(1000, 'x') + "\", \"jobId\": \"" + s->jobId + "\"}";
                    break;
                default:
                    break;
            }
            json(res, 201, reply);
        }));

    http->Post(R"(/raca/v1/jobs/([^/]+)/chartDefinition)",
               route(Route::Upload, [s, json](const httplib::Request& req, httplib::Response& res, auto&) {
                   if (req.matches[1] != s->jobId || s->jobState != "CREATED") {
                       json(res, 404, "{\"error\": \"no such job\"}");
                       return;
                   }
                   if (!req.has_file("multipartFile")) {
                       json(res, 400, "{\"error\": \"no multipartFile\"}");
                       return;
                   }
                   const auto part = req.get_file_value("multipartFile");
                   if (part.filename != "multipartFile" || part.content_type != "application/xml" ||
                       !validChart(part.content)) {
                       json(res, 400, "{\"error\": \"bad chart definition\"}");
                       return;
                   }
                   s->uploaded = true;
                   s->jobState = "SCANNING";
                   json(res, 200, "{\"status\": \"SCANNING\"}");
               }));

    http->Get(R"(/raca/v1/jobs/([^/]+)/measuredData\.it8)",
              route(Route::Result, [s](const httplib::Request& req, httplib::Response& res, auto&) {
                  if (req.matches[1] != s->jobId || s->jobState != "COMPLETED") {
                      res.status = 404;
                      return;
                  }
                  res.status = 200;
                  res.set_content(it8(s->options.patches, s->condition, s->space, s->fault(Route::Result)),
                                  "text/plain");
              }));

    http->Get(
        R"(/raca/v1/jobs/([^/]+))",
        route(Route::Poll, [s, json, jsonFault](const httplib::Request& req, httplib::Response& res, auto&) {
            if (req.matches[1] != s->jobId || !s->uploaded) {
                json(res, 404, "{\"error\": \"no such job\"}");
                return;
            }
            const std::string state = s->advance();
            const std::string id = "\"jobId\": \"" + s->jobId + "\"";
            json(res, 200,
                 jsonFault(s->fault(Route::Poll), "{" + id + ", \"status\": \"" + state + "\"}",
                           "{" + id + "}", "{" + id + ", \"status\": 7}"));
        }));

    http->Patch(R"(/raca/v1/jobs/([^/]+))", route(Route::Terminate, [s, json](const httplib::Request& req,
                                                                              httplib::Response& res, auto&) {
                    if (req.matches[1] != s->jobId) {
                        json(res, 404, "{\"error\": \"no such job\"}");
                        return;
                    }
                    if (req.body != "{\"status\": \"TERMINATED\"}") {
                        json(res, 400, "{\"error\": \"bad state change\"}");
                        return;
                    }
                    s->jobState = "TERMINATED";
                    json(res, 200, "{\"status\": \"TERMINATED\"}");
                }));

    return state_->server.start();
}

}  // namespace measure::emu::ricoh
