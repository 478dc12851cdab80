#include "drivers/konica/myiro9/fd9_library.h"

namespace measure::konica {

Fd9Library::Fd9Library() : VendorLibrary("clFD9_LIB", "FD9SDK.dll") {
#define MEASURE_FD9_BIND(name) bind(name, #name);
    MEASURE_FD9_CALLS(MEASURE_FD9_BIND)
#undef MEASURE_FD9_BIND
    bound();
}

std::shared_ptr<const Fd9Library> Fd9Library::load(std::string& failure) {
    try {
        return std::shared_ptr<const Fd9Library>(new Fd9Library());
    } catch (const std::exception& e) {
        failure = e.what();
    }
    return nullptr;
}

}  // namespace measure::konica
