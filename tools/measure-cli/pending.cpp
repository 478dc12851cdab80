// Placeholder until the colour exports land.
#include "colour_values.h"
#include "commands.h"
namespace cli {
bool spectrumToXyzLab(const double*, std::array<double, 3>&, std::array<double, 3>&) {
    return false;
}
std::array<double, 3> xyzToLab(const std::array<double, 3>&) {
    return {};
}
bool spectrumToDensities(const double*, uint32_t, std::array<double, 4>&) {
    return false;
}
int runConvert(int, char**, int) {
    return fail("convert", "not yet available");
}
int runDemo(int, char**, int) {
    return fail("demo", "not yet available");
}
}  // namespace cli
