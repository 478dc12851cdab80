// Chart reference colours: predicts, for every patch of a chart that gives
// device values (RGB, CMYK or named colorant channels), its reflectance
// spectrum and its D50 Lab value, so that a driver can show or hand the
// instrument the colour a patch should have.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace measure {

// One predicted spectrum: 36 reflectance factors, then 380, 10, 36.
struct ReferenceSpectrum {
    double values[36];
    int32_t startNm;
    int32_t stepNm;
    int32_t count;
};

// The reference colour block. The arrays are allocated by
// BuildChartReferences with std::calloc; the caller owns them and frees
// them with FreeChartReferences (or std::free).
struct ChartReferences {
    int32_t patchCount = 0;
    int32_t colorKind = 0;           // 4 once device values were read
    double* lab = nullptr;           // L*, a*, b* per patch
    double* second = nullptr;        // three doubles per patch, zero; left to the caller
    double* deviceValues = nullptr;  // 16 doubles (128 bytes) per patch, percent; CMYK first
    ReferenceSpectrum* spectra = nullptr;
};

inline constexpr int kReferenceChannels = 16;

// Reads the chart at `chartPath` and fills `block`. 0 on success; -1 when the
// chart cannot be read, has no patches or no device values, or a prediction
// fails. On failure the Lab, second and spectra arrays are freed and their
// pointers cleared; a device value array already filled stays with the
// caller.
int BuildChartReferences(const char* chartPath, ChartReferences* block);
void FreeChartReferences(ChartReferences* block);

// The pieces of the build, for tests.

// RGB (0 to 255, rounded and clamped) to CMYK percent rounded to two
// decimals: a grey becomes black only, any other colour C, M, Y without K.
void rgbToCmykPercent(double r, double g, double b, double cmyk[4]);

// The predictor colorant of a further channel (5 on) from its name: the
// first colour word found in the lower-cased name decides the code, and
// "light", "gray" or "grey" make it a half-strength ink. False for an empty
// name (the channel is skipped).
bool colorantForChannel(const std::string& name, int& code, double& strength);

}  // namespace measure
