#include "ricoh/adjuster_control.h"

#include <memory>

namespace measure::emu::ricoh::control {

Json::Value toJson(const AdjusterEmulator::Options& options) {
    Json::Value v(Json::objectValue);
    v["sheets"] = options.sheets;
    v["patches"] = options.patches;
    v["credentials"] = options.credentials;
    v["serialId"] = options.serialId;
    v["holdMs"] = options.holdMs;
    return v;
}

AdjusterEmulator::Options optionsFrom(const Json::Value& value) {
    AdjusterEmulator::Options o;
    o.sheets = value.get("sheets", o.sheets).asInt();
    o.patches = value.get("patches", o.patches).asInt();
    o.credentials = value.get("credentials", o.credentials).asString();
    o.serialId = value.get("serialId", o.serialId).asString();
    o.holdMs = value.get("holdMs", o.holdMs).asInt();
    return o;
}

Json::Value toJson(const JobScript& script) {
    Json::Value v(Json::objectValue);
    v["pollsPerSheet"] = script.pollsPerSheet;
    v["suspendAtPoll"] = script.suspendAtPoll;
    v["suspendedPolls"] = script.suspendedPolls;
    v["endState"] = script.endState;
    v["stuck"] = script.stuck;
    return v;
}

JobScript scriptFrom(const Json::Value& value) {
    JobScript s;
    s.pollsPerSheet = value.get("pollsPerSheet", s.pollsPerSheet).asInt();
    s.suspendAtPoll = value.get("suspendAtPoll", s.suspendAtPoll).asInt();
    s.suspendedPolls = value.get("suspendedPolls", s.suspendedPolls).asInt();
    s.endState = value.get("endState", s.endState).asString();
    s.stuck = value.get("stuck", s.stuck).asBool();
    return s;
}

Json::Value toJson(const JournalEntry& entry) {
    Json::Value v(Json::objectValue);
    v["method"] = entry.method;
    v["path"] = entry.path;
    Json::Value headers(Json::arrayValue);
    for (const auto& [name, value] : entry.headers) {
        Json::Value pair(Json::arrayValue);
        pair.append(name);
        pair.append(value);
        headers.append(pair);
    }
    v["headers"] = headers;
    v["body"] = entry.body;
    v["hasPart"] = entry.hasPart;
    v["partFileName"] = entry.partFileName;
    v["partType"] = entry.partType;
    v["partContent"] = entry.partContent;
    return v;
}

JournalEntry entryFrom(const Json::Value& value) {
    JournalEntry e;
    e.method = value["method"].asString();
    e.path = value["path"].asString();
    for (const Json::Value& pair : value["headers"])
        e.headers.emplace(pair[0].asString(), pair[1].asString());
    e.body = value["body"].asString();
    e.hasPart = value["hasPart"].asBool();
    e.partFileName = value["partFileName"].asString();
    e.partType = value["partType"].asString();
    e.partContent = value["partContent"].asString();
    return e;
}

std::string write(const Json::Value& value) {
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "";
    return Json::writeString(builder, value);
}

bool readObject(const std::string& text, Json::Value& value) {
    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    std::string errors;
    return reader->parse(text.data(), text.data() + text.size(), &value, &errors) && value.isObject();
}

}  // namespace measure::emu::ricoh::control
