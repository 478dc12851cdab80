// What the user sees while an instrument works: the instrument's requests in
// plain words, and the patches measured so far as a progress bar on a
// terminal or as plain lines otherwise (logs, pipes, tests).
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>

namespace cli {

// Where a measurement stands, as the instrument's notifications tell it.
struct MeasureProgress {
    bool single = false;   // one patch per button press
    int totalPasses = 0;   // from the negated pass number, 0 = unknown
    int currentPass = 0;   // last pass number posted
    int promptedPass = 0;  // strip the last "scan" prompt named
    size_t patchesDone = 0;
    size_t patchesWanted = 0;
};

// The prompt for an instrument status code, or nothing for codes that need
// no words (0 idle, 1 started). Status 3 and 4 name the strip or patch that
// is awaited; `progress` is updated for them.
std::optional<std::string> statusPrompt(int code, MeasureProgress& progress);

// Text of a thread end code ("finished", "stopped", "failed", ...).
const char* threadEndText(int code);

class Display {
public:
    Display(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}
    ~Display() { endProgress(); }

    // One line of its own; a prompt equal to the previous one is not repeated.
    void prompt(const std::string& text);
    // A plain message line (always shown).
    void line(const std::string& text);
    void progress(size_t done, size_t total);
    // Leaves the progress bar line.
    void endProgress();

private:
    void clearBar();
    std::FILE* out_;
    bool terminal_;
    bool barShown_ = false;
    size_t done_ = 0;
    size_t total_ = 0;
    std::string lastPrompt_;
};

}  // namespace cli
