// The instrument registry: 39 constant rows and a terminator (ID 0), the only
// place where an instrument ID is bound to its names, modes and driver.
#pragma once

#include <cstddef>
#include <string>

#include "measure/measure.h"

namespace measure {

inline constexpr size_t kRegistryRows = 39;

// The first row; kRegistryRows rows and the terminator follow contiguously.
const InstrumentDescriptor* registryRows();

}  // namespace measure
