// The TECHKON measurement service and its SpectroDens on loopback TCP: the
// service's side of the text messages ("Init", "Connect", properties,
// calibration, values and the events of a user who measures), a chart of
// patches with real spectra on a paper, and scripted faults. Tests run it
// in-process; `techkon-service-emulator` wraps it for hands-on use with
// measure-cli.
//
// Every member is safe to call from any thread while the service runs.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/socket.h"

namespace measure::emu::techkon {

// One measured sample as the instrument reports it: L*a*b*, XYZ and the
// remission of 400 to 700 nm in 10 nm steps.
struct Sample {
    std::array<double, 3> lab{};
    std::array<double, 3> xyz{};
    std::array<double, 31> remission{};
};

// Patches with smooth, distinct spectra on a bright paper. Every value is
// rounded to 4 decimals, as the service writes them, so what a driver reads
// back equals these exactly.
class Chart {
public:
    explicit Chart(int patches = 48);
    int size() const { return static_cast<int>(patches_.size()); }
    // Patch `i` (wraps around the chart).
    const Sample& patch(int i) const;
    const Sample& paper() const { return paper_; }
    // A sample made from a 36-band spectrum (380 to 730 nm).
    static Sample fromSpectrum(const std::array<double, 36>& spectrum);

private:
    std::vector<Sample> patches_;
    Sample paper_;
};

// How the user's next strip scan turns out.
struct ScanScript {
    int samples = -1;             // samples reported; -1: the patches plus one paper on each side
    double paperDrift = 0;        // L* of the trailing paper sample lowered by this much
    bool dropConnection = false;  // the connection falls instead of the scan events
    // Instead of the scan: an event of this name ("LampError", or
    // "ConnectionState" with `eventData` "FALSE").
    std::string eventName;
    std::string eventData;
};

// A scripted misbehaviour for requests whose TYPE and NAME match (case
// blind; an empty pattern matches all).
struct Fault {
    enum class Kind {
        Silence,       // no reply at all
        ReplyData,     // reply with `text` as the data (an unknown property value)
        DropAtAccept,  // close each new connection at once
        DropMidReply,  // send the first half of the reply, then close
        GarbageFirst,  // `text` sent ahead of the reply in the same write
        InvalidFirst,  // a frame without TYPE and NAME ahead of the reply
        EndlessFirst,  // "BEGIN_MESSAGE" and `size` bytes without an end ahead of the reply
        LowerCase,     // reply TYPE and NAME in lower case
    };
    Kind kind = Kind::Silence;
    std::string type;
    std::string name;
    std::string text;
    size_t size = 0;
    int times = -1;  // how many matching requests to harm; -1: all

    static Fault on(Kind kind, std::string type = {}, std::string name = {}, std::string text = {},
                    size_t size = 0, int times = -1) {
        return Fault{kind, std::move(type), std::move(name), std::move(text), size, times};
    }
};

// The service's settings before any request.
struct Settings {
    bool attached = true;  // the SpectroDens is plugged in
    std::string serial = "40711";
    std::string storedSamples = "0";
    // Property values as the service spells them.
    std::map<std::string, std::string> properties = {
        {"MeasurementMode", "Lab"},
        {"MeasurementCondition", "M1"},
        {"Illuminant", "D65"},
        {"Observer", "O10"},
        {"WhiteReference", "PAPER"},
        {"PolarizationFilter", "ON"},
        {"DeviceType", "SPECTRODENS_PREMIUM"},
    };
    bool decimalComma = false;    // "12,5" rather than "12.5"
    bool crlfSeparators = false;  // values one per line rather than tab separated
    // The answer to "StartCalibration": "" by the white reference
    // (CalibrationPaper, or CalibrationAbsolute for ABSOLUTE), "LampError",
    // or "none" for silence.
    std::string calibration;
    // The calibration's reply and its result in one write.
    bool calibrationInOneWrite = false;
};

class Service {
public:
    explicit Service(Chart chart = Chart(), Settings settings = {});
    ~Service();
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    // Listens on 127.0.0.1:`port` (0: any free port); false when it cannot.
    bool start(uint16_t port = 0);
    void stop();
    uint16_t port() const { return port_; }
    const Chart& chart() const { return chart_; }
    // Every line of traffic ("> " received message, "< " sent) as it passes;
    // set it before start().
    void setMonitor(std::function<void(const std::string&)> monitor) { monitor_ = std::move(monitor); }

    // Scripting.
    void addFault(Fault fault);
    void clearFaults();
    void setAttached(bool attached);
    void setCalibration(std::string answer);
    void setCalibrationInOneWrite(bool on);
    void setFormat(bool decimalComma, bool crlfSeparators);
    std::string property(const std::string& name) const;
    void setProperty(const std::string& name, const std::string& value);

    // The virtual user. False when no client is connected.
    bool scan(int firstPatch, int patches, const ScanScript& script = {});
    bool spot(int patch);
    // The user measures by himself a moment (`delayMs` real) after the
    // driver has set a measurement mode or fetched a strip's values: strips of
    // `stripLength` patches through the chart, or spots, patch after patch.
    // With `total`, strips stop at the job's last patch and start over.
    void setAutoUser(int stripLength, int delayMs, int total = 0);
    // Sends `bytes` as they are; false when no client is connected.
    bool sendRaw(const std::string& bytes);
    // Closes the current connection.
    void dropConnection();

    // Every request message as received, byte for byte, in order.
    std::vector<std::string> journal() const;
    // How many requests had this TYPE and NAME (as sent).
    int count(const std::string& type, const std::string& name) const;
    int connections() const;
    // Waits up to `timeout` real time for `condition` over the journal.
    bool waitFor(const std::function<bool(const std::vector<std::string>&)>& condition,
                 std::chrono::milliseconds timeout) const;

private:
    void run();
    void serve(platform::SocketHandle socket);
    void handle(const std::string& raw);
    void userLoop();
    bool write(const std::string& bytes);
    std::string valueList(const std::vector<Sample>& samples, int kind) const;
    // The first fault for this request (or, with `atAccept`, for a new
    // connection), counted as used; nullopt when none applies.
    std::optional<Fault> takeFault(const std::string& type, const std::string& name, bool atAccept);
    void armUser();

    const Chart chart_;
    platform::SocketHandle listener_ = platform::kInvalidSocket;
    uint16_t port_ = 0;
    std::thread thread_;
    std::thread userThread_;
    std::atomic<bool> stopping_{false};
    std::function<void(const std::string&)> monitor_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    Settings settings_;
    std::vector<Fault> faults_;
    std::vector<std::string> journal_;
    int connections_ = 0;
    platform::SocketHandle client_ = platform::kInvalidSocket;
    std::mutex writeMutex_;
    std::vector<Sample> scanSamples_;
    Sample spotSample_;
    // The automatic user.
    int autoStrip_ = 0;
    int autoDelayMs_ = 0;
    int autoTotal_ = 0;
    int autoCursor_ = 0;
    bool userArmed_ = false;
    std::chrono::steady_clock::time_point userAt_;
};

}  // namespace measure::emu::techkon
