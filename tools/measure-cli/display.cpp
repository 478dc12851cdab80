#include "display.h"

#include <cstdio>
#include <string>

namespace cli {

std::optional<std::string> statusPrompt(int code, MeasureProgress& p) {
    auto awaited = [&]() -> std::string {
        if (p.single) {
            return "Place the instrument on patch " + std::to_string(p.patchesDone + 1) + " of " +
                   std::to_string(p.patchesWanted) + " and press its button";
        }
        // Some instruments post the pass number before the wait, others after:
        // a pass number not yet prompted for is the awaited one, else the next.
        const int strip = p.currentPass > p.promptedPass ? p.currentPass : p.promptedPass + 1;
        p.promptedPass = strip;
        if (p.totalPasses > 1)
            return "Scan strip " + std::to_string(strip) + " of " + std::to_string(p.totalPasses);
        return "Press the instrument's button and scan the chart";
    };
    switch (code) {
        case 0:
        case 1:
            return std::nullopt;
        case 2:
            return "Calibrating: keep the instrument on its white reference";
        case 3:
            return awaited();
        case 4:
            return "Strip had the wrong number of patches: scan it again. " + awaited();
        case 6:
            return "Move to the first corner of the chart and press the button";
        case 7:
            return "Move to the second corner of the chart and press the button";
        case 8:
            return "Move to the third corner of the chart and press the button";
        case 9:
            return "Button pressed";
        case 12:
            return "Recognising the chart";
        case 14:
            return "Paper going in";
        case 15:
            return "Calibration failed";
        case 16:
            return "Calibration finished";
        case 20:
            return "The instrument refused its parameter file";
        case 23:
            return "Chart corners registered";
        case 24:
            return "Paper in place";
        case 25:
            return "Insert the chart";
        case 28:
            return "Scan to the right";
        case 29:
            return "Scan to the left";
        case 30:
            return "Locating the chart";
        case 31:
            return "Instrument attached";
        case 32:
            return "Instrument removed";
        case 34:
            return "The chart was not recognised";
        case 35:
            return "Place the instrument on its white tile and press the button";
        case 36:
            return "Button released";
        case 37:
            return "The instrument is busy with another job";
        case 38:
            return "This instrument does not fit the chosen model";
        case 39:
            return "The instrument's illumination does not suit the requested mode";
        case 43:
            return "Scan again";
        case 26:
            return "The instrument refused the chart definition";
        case 45:
            return "The device waits for the operator";
        case 46:
            return "The instrument is busy with another job; try again later";
        case 47:
            return "The instrument is busy";
        case 48:
            return "No calibration needed";
        default:
            return "Instrument status " + std::to_string(code);
    }
}

const char* threadEndText(int code) {
    switch (code) {
        case 0:
            return "finished";
        case 1:
            return "stopped";
        case 3:
            return "failed";
        case 4:
            return "calibration failed";
        default:
            return "ended with an unknown code";
    }
}

void Display::clearBar() {
    if (terminal_ && barShown_) {
        std::fputs("\r\033[K", out_);
        barShown_ = false;
    }
}

void Display::line(const std::string& text) {
    clearBar();
    std::fprintf(out_, "%s\n", text.c_str());
    if (terminal_ && total_ != 0) progress(done_, total_);
    std::fflush(out_);
}

void Display::prompt(const std::string& text) {
    if (text == lastPrompt_) return;
    lastPrompt_ = text;
    line(terminal_ ? "\033[1m" + text + "\033[0m" : text);
}

void Display::progress(size_t done, size_t total) {
    const bool changed = done != done_ || total != total_;
    done_ = done;
    total_ = total;
    if (total == 0) return;
    if (!terminal_) {
        if (changed) std::fprintf(out_, "measured %zu of %zu patches\n", done, total);
        std::fflush(out_);
        return;
    }
    constexpr size_t kWidth = 30;
    const size_t filled = done >= total ? kWidth : done * kWidth / total;
    std::string bar(filled, '#');
    bar.append(kWidth - filled, '.');
    std::fprintf(out_, "\r\033[K[%s] %zu/%zu patches", bar.c_str(), done, total);
    barShown_ = true;
    std::fflush(out_);
}

void Display::endProgress() {
    if (terminal_ && barShown_) {
        std::fputs("\n", out_);
        barShown_ = false;
    }
    total_ = 0;
    std::fflush(out_);
}

}  // namespace cli
