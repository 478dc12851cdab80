// libEyeOne_iSis64.so / EyeOne_iSis64.dll: the i1iSis SDK's calls, exported
// by ordinal (as "ordinal_N" for the platform loader; the .def file numbers
// them on Windows) and forwarded to the virtual reader. Every call is checked
// against the driver's own declaration of its type.
#include <type_traits>

#include "drivers/xrite/isis/isis_sdk.h"
#include "virtual_isis.h"

using namespace measure::xrite;
using xrite_emu::VirtualIsis;

extern "C" {

EMU_ISIS_API int32_t ordinal_2(int32_t how) {
    return VirtualIsis::instance().measureChart(how);
}
EMU_ISIS_API int32_t ordinal_3(float* spectrum36, int32_t row, int32_t column) {
    return VirtualIsis::instance().getSpectrum(spectrum36, row, column);
}
EMU_ISIS_API const char* ordinal_6(const char* key) {
    return VirtualIsis::instance().getOption(key);
}
EMU_ISIS_API int32_t ordinal_7(const char* key, const char* value) {
    return VirtualIsis::instance().setOption(key, value);
}
EMU_ISIS_API int32_t ordinal_8() {
    return VirtualIsis::instance().chartStatus();
}
EMU_ISIS_API int32_t ordinal_9() {
    return VirtualIsis::instance().isConnected();
}
EMU_ISIS_API int32_t ordinal_12(int32_t how) {
    return VirtualIsis::instance().prepareChart(how);
}
EMU_ISIS_API int32_t ordinal_14() {
    return VirtualIsis::instance().prescan();
}
EMU_ISIS_API void ordinal_16() {
    VirtualIsis::instance().releasePaper();
}
EMU_ISIS_API const char* ordinal_22() {
    return VirtualIsis::instance().serialNumberUnopened();
}

}  // extern "C"

#define EMU_ISIS_CHECK_TYPE(ordinal, name)                                   \
    static_assert(std::is_same_v<decltype(ordinal_##ordinal), isisfn::name>, \
                  #name " differs from the driver's type");
MEASURE_ISIS_CALLS(EMU_ISIS_CHECK_TYPE)
