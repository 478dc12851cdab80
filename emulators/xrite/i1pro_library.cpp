// libi1Pro64.so: the i1Pro SDK (I1_ calls) with the i1iO table extension.
#include "virtual_i1.h"

namespace {
constexpr xrite_emu::Library kLibrary = xrite_emu::Library::Pro;
}

#define EMU_I1_PREFIX I1_
#include "sdk_exports.inc"
