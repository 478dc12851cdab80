/* The fixture's load state, copied into the environment of the C runtime
 * DLL that the tests share with this library. */
#include <stdlib.h>

void publishLoaded(const char* value) {
    _putenv_s("MEASURE_TEST_VENDOR_LOADED", value);
}
