/* The fixture's load state, copied into the environment (setenv copies, so
 * the text outlives the unloaded library). */
#include <stdlib.h>

void publishLoaded(const char* value) {
    setenv("MEASURE_TEST_VENDOR_LOADED", value, 1);
}
