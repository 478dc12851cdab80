// The Ricoh Auto Color Adjuster's REST service on loopback HTTPS: the status,
// job, chart definition, poll, cancel, terminate and result routes under
// "/raca/v1/", with a job that runs through scripted states (SCANNING per
// sheet, an operator's SUSPENDED, COMPLETED or FAILED), a journal of every
// request, the "Authorization" check and faults per route. The tests run it
// in-process; ricoh-adjuster-emulator serves it for hands-on use.
//
// Two backends behind this one class, so that the same tests run on both
// systems: on Linux the adjuster runs in this process (OpenSSL and
// cpp-httplib); in the Windows build, which has neither, every call goes to
// a Linux ricoh-adjuster-emulator serving adjusters over its loopback
// control channel (adjuster_control.h), found through the variable
// MEASURE_RICOH_ADJUSTER_CONTROL that ./dev sets for the wine stage.
//
// Its measured data come from real spectra: each patch has a reflectance
// spectrum (400 to 700 nm) depending on the lighting condition, from which
// XYZ and Lab under D50 are computed with the library's colorimetry, and the
// IT8 result holds what the job asked for.
//
// Thread safety: the control calls may be made from any thread while the
// server's threads answer requests.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace measure::emu::ricoh {

enum class Route { Status, Create, Upload, Poll, Cancel, Terminate, Result };

enum class Fault {
    None,
    Http500,
    Http503,
    Http404,
    Hold,  // answers only after holdMs (or when the emulator stops)
    Drop,  // sends the headers, then closes the connection
    // Malformed JSON replies (status, create, poll).
    TruncatedJson,
    NotAnObject,
    StatusMissing,
    StatusNotText,
    LowerCaseJobId,  // "jobid" instead of "jobId"
    LateJobId,       // "jobId" only after 1000 characters
    // Bad IT8 results.
    It8RowCount,      // fewer rows than NUMBER_OF_SETS
    It8MissingField,  // the asked-for fields absent
    It8NonNumeric,    // a cell that is no number
    It8Empty,         // an empty body
    It8HugeCount,     // NUMBER_OF_SETS of 2^31-1
};

// How the next job runs, poll by poll.
struct JobScript {
    int pollsPerSheet = 1;               // SCANNING answers per sheet
    int suspendAtPoll = 0;               // 1-based poll that answers SUSPENDED first; 0: never
    int suspendedPolls = 0;              // how many polls stay SUSPENDED
    std::string endState = "COMPLETED";  // or "FAILED" or "TERMINATED"
    bool stuck = false;                  // SCANNING for ever
};

struct JournalEntry {
    std::string method;
    std::string path;
    std::multimap<std::string, std::string> headers;
    std::string body;
    // The multipart part "multipartFile", when the request had one.
    bool hasPart = false;
    std::string partFileName;
    std::string partType;
    std::string partContent;

    std::string header(const std::string& name) const {
        const auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
};

class AdjusterEmulator {
public:
    struct Options {
        int sheets = 2;
        int patches = 24;                         // on the chart definition
        std::string credentials = "user:secret";  // accepted as "Basic " + their base64
        std::string serialId = "RACA-7301";
        int holdMs = 8000;  // how long a held reply waits
    };

    // Certificate files go into `folder` (the serving process's own folder
    // in the Windows build).
    AdjusterEmulator(const std::string& folder, Options options);
    ~AdjusterEmulator();
    AdjusterEmulator(const AdjusterEmulator&) = delete;
    AdjusterEmulator& operator=(const AdjusterEmulator&) = delete;

    bool start();
    void stop();
    int port() const;

    // "USER:PASSWORD" as HTTP basic authentication carries it (base64).
    static std::string encodedCredentials(const std::string& credentials);

    // The chart definition the adjuster expects (and a driver uploads).
    std::string chartDefinition() const;
    static std::string chartDefinition(int sheets, int patches);

    // Forces the status route to answer SCANNING although no job runs.
    void setForeignJobRunning(bool running);
    void setFault(Route route, Fault fault);
    void setScript(JobScript script);
    // The identifier the next created job gets (default "job-<n>").
    void setNextJobId(const std::string& id);

    std::vector<JournalEntry> journal() const;
    // Requests with this method whose path starts with `prefix`.
    int count(const std::string& method, const std::string& prefix) const;
    // The state of the last job ("" before any).
    std::string jobState() const;

    // The values the result holds for `patch` (0-based) under `condition`
    // ("M0", "M1", "M2") in `space` ("LAB", "XYZ", "SPECTRAL_REFLECTANCE":
    // 31 reflectance factors, 400..700 nm), exactly as written in the IT8.
    static std::vector<double> patchValues(int patch, const std::string& condition, const std::string& space);
    // The IT8 result of `patches` patches.
    static std::string measuredData(int patches, const std::string& condition, const std::string& space);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace measure::emu::ricoh
