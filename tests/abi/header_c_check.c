/* Compiled as C11: the public header must stand alone in a C host. */
#include <measure/measure.h>

int measure_header_c_check(void) {
    MEASURE2STRUCT record = {0};
    record.cb = (uint32_t)sizeof record;
    return (int)record.cb == (int)MEASURE2_RECORD_SIZE ? 0 : 1;
}
