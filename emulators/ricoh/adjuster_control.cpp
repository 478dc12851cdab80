#include "ricoh/adjuster_control.h"

#include <memory>

namespace measure::emu::ricoh::control {

namespace {

// Each member of the plain settings, named as on the wire; one list serves
// both directions.
template <class Visit>
void members(AdjusterEmulator::Options& o, Visit visit) {
    visit("sheets", o.sheets);
    visit("patches", o.patches);
    visit("credentials", o.credentials);
    visit("serialId", o.serialId);
    visit("holdMs", o.holdMs);
}

template <class Visit>
void members(JobScript& s, Visit visit) {
    visit("pollsPerSheet", s.pollsPerSheet);
    visit("suspendAtPoll", s.suspendAtPoll);
    visit("suspendedPolls", s.suspendedPolls);
    visit("endState", s.endState);
    visit("stuck", s.stuck);
}

void take(const Json::Value& v, int& out) {
    out = v.asInt();
}
void take(const Json::Value& v, bool& out) {
    out = v.asBool();
}
void take(const Json::Value& v, std::string& out) {
    out = v.asString();
}

template <class T>
Json::Value toObject(T copy) {
    Json::Value v(Json::objectValue);
    members(copy, [&v](const char* name, const auto& member) { v[name] = member; });
    return v;
}

// Members missing from `value` keep their defaults.
template <class T>
T fromObject(const Json::Value& value) {
    T t;
    members(t, [&value](const char* name, auto& member) {
        if (value.isMember(name)) take(value[name], member);
    });
    return t;
}

}  // namespace

Json::Value toJson(const AdjusterEmulator::Options& options) {
    return toObject(options);
}

AdjusterEmulator::Options optionsFrom(const Json::Value& value) {
    return fromObject<AdjusterEmulator::Options>(value);
}

Json::Value toJson(const JobScript& script) {
    return toObject(script);
}

JobScript scriptFrom(const Json::Value& value) {
    return fromObject<JobScript>(value);
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
