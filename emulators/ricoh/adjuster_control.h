// The loopback control channel of ricoh-adjuster-emulator: how tests that
// cannot run the adjuster in their own process (the Windows build, which has
// no OpenSSL or cpp-httplib) make, script and read adjusters served by a
// Linux emulator process.
//
// Plain HTTP on 127.0.0.1. Each call is POST "/<call>" with a JSON object;
// the answer is 200 with a JSON object, 404 for an unknown call or adjuster,
// 400 for a body that is no JSON object. The calls mirror AdjusterEmulator:
//   create {options} -> {id}          start {id} -> {started, port}
//   stop {id}      destroy {id}       foreignJob {id, running}
//   fault {id, route, fault}          script {id, script}
//   nextJobId {id, jobId}             journal {id} -> {journal: [entry...]}
//   count {id, method, prefix} -> {count}       jobState {id} -> {state}
//   chartDefinition {sheets, patches} -> {text}
//   encodedCredentials {text} -> {text}
//   patchValues {patch, condition, space} -> {values}
//   measuredData {patches, condition, space} -> {text}
// Routes and faults travel as the numbers of their enumerators.
#pragma once

#include <json/json.h>

#include <string>

#include "ricoh/adjuster_emulator.h"

namespace measure::emu::ricoh::control {

// The variable naming the control channel's port.
inline constexpr const char* kPortVariable = "MEASURE_RICOH_ADJUSTER_CONTROL";

Json::Value toJson(const AdjusterEmulator::Options& options);
AdjusterEmulator::Options optionsFrom(const Json::Value& value);
Json::Value toJson(const JobScript& script);
JobScript scriptFrom(const Json::Value& value);
Json::Value toJson(const JournalEntry& entry);
JournalEntry entryFrom(const Json::Value& value);

// One compact JSON text; false when `text` is no JSON object.
std::string write(const Json::Value& value);
bool readObject(const std::string& text, Json::Value& value);

// Serves adjusters on the control channel until the process ends: writes the
// port into `portFile` once it accepts. Certificates of the adjusters go into
// subfolders of `folder`. False when it could not start. Linux only.
bool serve(const std::string& folder, const std::string& portFile);

}  // namespace measure::emu::ricoh::control
