// Every SpectroScan answer parser over arbitrary bytes: none may crash, read
// outside the answer, or overflow while scanning numbers.
#include <cstddef>
#include <cstdint>
#include <string>

#include "drivers/spectroscan/spectroscan_protocol.h"

using namespace measure::spectroscan;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The driver reads answers into fixed buffers as text ending at a zero.
    std::string answer(reinterpret_cast<const char*>(data), size);
    answer = answer.substr(0, answer.find('\0'));

    (void)shortAnswerOk(answer);
    (void)tableAnswerOk(answer);
    (void)scanErrorType(answer);
    (void)whiteAnswerOk(answer);
    (void)keyPressed(answer);
    int x = 0, y = 0;
    digitizedPosition(answer, x, y);
    (void)parseDetection(answer);

    HeadIdentity head;
    (void)parseHeadIdentity(answer, head);
    TableIdentity table;
    for (int k = 0; k < 5; ++k) (void)parseTableIdentity(answer, k, table);

    MeasurementData measured;
    (void)parseMeasurement(answer, Output::Spectral, measured);
    (void)parseMeasurement(answer, Output::Density, measured);
    return 0;
}
