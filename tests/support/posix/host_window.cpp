#include "support/host_window.h"

namespace measure::test {

HostWindow::HostWindow() : handle_(MeasureCreateMessageWindow()) {}

HostWindow::~HostWindow() {
    destroy();
}

int HostWindow::next(HostMessage& out, int timeoutMs) {
    MEASURE_MSG msg{};
    const int got = MeasureGetMessage(handle_, &msg, timeoutMs);
    if (got == 1) out = HostMessage{msg.message, msg.wParam, msg.lParam};
    return got;
}

std::vector<HostMessage> HostWindow::drain() {
    std::vector<HostMessage> out;
    HostMessage msg{};
    while (next(msg, 0) == 1) out.push_back(msg);
    return out;
}

void HostWindow::destroy() {
    MeasureDestroyMessageWindow(handle_);
}

bool systemWithdrawsCancelledSends() {
    return true;
}

bool systemRefusesPointerMessages() {
    return false;
}

}  // namespace measure::test
