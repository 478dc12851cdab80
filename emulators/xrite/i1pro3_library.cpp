// libi1Pro364.so: the i1Pro3 SDK (I1PRO3_ calls, the same arguments as I1_).
#include "virtual_i1.h"

namespace {
constexpr xrite_emu::Library kLibrary = xrite_emu::Library::Pro3;
}

#define EMU_I1_PREFIX I1PRO3_
#include "sdk_exports.inc"
