// The serving side of the control channel (adjuster_control.h): adjusters
// made, scripted and read on request, each on its own loopback HTTPS port.
#include <httplib.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "ricoh/adjuster_control.h"

namespace measure::emu::ricoh::control {
namespace {

class Adjusters {
public:
    explicit Adjusters(std::string folder) : folder_(std::move(folder)) {}

    // The answer to `call` with `in`; null when the call or its adjuster is unknown.
    Json::Value answer(const std::string& call, const Json::Value& in) {
        Json::Value out(Json::objectValue);
        if (call == "create") {
            std::lock_guard lock(mutex_);
            const int id = ++lastId_;
            const std::string certificates = folder_ + "/" + std::to_string(id);
            std::error_code ignored;
            std::filesystem::create_directories(certificates, ignored);
            adjusters_[id] = std::make_shared<AdjusterEmulator>(certificates, optionsFrom(in["options"]));
            out["id"] = id;
            return out;
        }
        if (call == "chartDefinition") {
            out["text"] = AdjusterEmulator::chartDefinition(in["sheets"].asInt(), in["patches"].asInt());
            return out;
        }
        if (call == "encodedCredentials") {
            out["text"] = AdjusterEmulator::encodedCredentials(in["text"].asString());
            return out;
        }
        if (call == "patchValues") {
            out["values"] = Json::Value(Json::arrayValue);
            for (double v : AdjusterEmulator::patchValues(in["patch"].asInt(), in["condition"].asString(),
                                                          in["space"].asString()))
                out["values"].append(v);
            return out;
        }
        if (call == "measuredData") {
            out["text"] = AdjusterEmulator::measuredData(in["patches"].asInt(), in["condition"].asString(),
                                                         in["space"].asString());
            return out;
        }
        const int id = in["id"].asInt();
        std::shared_ptr<AdjusterEmulator> adjuster;
        {
            std::lock_guard lock(mutex_);
            const auto it = adjusters_.find(id);
            if (it == adjusters_.end()) return Json::Value();
            adjuster = it->second;
            if (call == "destroy") adjusters_.erase(it);
        }
        if (call == "destroy" || call == "stop") {
            adjuster->stop();
        } else if (call == "start") {
            out["started"] = adjuster->start();
            out["port"] = adjuster->port();
        } else if (call == "foreignJob") {
            adjuster->setForeignJobRunning(in["running"].asBool());
        } else if (call == "fault") {
            adjuster->setFault(static_cast<Route>(in["route"].asInt()),
                               static_cast<Fault>(in["fault"].asInt()));
        } else if (call == "script") {
            adjuster->setScript(scriptFrom(in["script"]));
        } else if (call == "nextJobId") {
            adjuster->setNextJobId(in["jobId"].asString());
        } else if (call == "journal") {
            out["journal"] = Json::Value(Json::arrayValue);
            for (const JournalEntry& e : adjuster->journal()) out["journal"].append(toJson(e));
        } else if (call == "count") {
            out["count"] = adjuster->count(in["method"].asString(), in["prefix"].asString());
        } else if (call == "jobState") {
            out["state"] = adjuster->jobState();
        } else {
            return Json::Value();
        }
        return out;
    }

private:
    const std::string folder_;
    std::mutex mutex_;
    int lastId_ = 0;
    std::map<int, std::shared_ptr<AdjusterEmulator>> adjusters_;
};

}  // namespace

bool serve(const std::string& folder, const std::string& portFile) {
    Adjusters adjusters(folder);
    httplib::Server server;
    // Test programs run side by side, each holding requests of its own.
    server.new_task_queue = [] { return new httplib::ThreadPool(16); };
    server.Post(R"(/([A-Za-z]+))", [&adjusters](const httplib::Request& req, httplib::Response& res) {
        Json::Value in;
        if (!readObject(req.body, in)) {
            res.status = 400;
            return;
        }
        Json::Value out;
        try {
            out = adjusters.answer(req.matches[1], in);
        } catch (const Json::Exception&) {  // a member of the wrong type
            res.status = 400;
            return;
        }
        if (out.isNull()) {
            res.status = 404;
            return;
        }
        res.set_content(write(out), "application/json");
    });
    const int port = server.bind_to_any_port("127.0.0.1");
    if (port <= 0) return false;
    std::FILE* file = std::fopen((portFile + ".tmp").c_str(), "w");
    if (file == nullptr) return false;
    std::fprintf(file, "%d\n", port);
    std::fclose(file);
    std::rename((portFile + ".tmp").c_str(), portFile.c_str());
    return server.listen_after_bind();
}

}  // namespace measure::emu::ricoh::control
