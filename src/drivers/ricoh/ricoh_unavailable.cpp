// The Ricoh adjuster's entries in a build without libcurl, jsoncpp or
// tinyxml2: the adjuster cannot be reached, so the open fails with one clear
// log line and the other entries find no driver.
#include "core/logger.h"
#include "drivers/ricoh/ricoh_entries.h"

namespace measure::ricoh {

int32_t OpenRicohMonet(MEASURESTRUCT* pMeasure) {
    if (pMeasure == nullptr) return -1;
    Log(0, "OpenRicohMonet", "HTTP not available in this build");
    return -1;
}

int32_t CloseRicohMonet(MEASURESTRUCT* pMeasure) {
    return pMeasure == nullptr ? -1 : 0;
}

int32_t StartMultiMeasureRicohMonet(MEASURESTRUCT*) {
    return -1;
}

int32_t StartSimpleMultiMeasureRicohMonet(MEASURESTRUCT*) {
    return -1;
}

int32_t StopMultiMeasureRicohMonet(MEASURESTRUCT*) {
    return -1;
}

}  // namespace measure::ricoh
