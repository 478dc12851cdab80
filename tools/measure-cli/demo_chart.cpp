#include "demo_chart.h"

#include <cmath>
#include <vector>

#include "cgats_writer.h"

namespace cli {
namespace {

// Smooth reflectance curves: a step up or down at `centre`, a band around
// it, or a notch in it, between `low` and `high`.
enum class Shape { Rise, Fall, Band, Notch, Flat };

struct DemoPatch {
    const char* name;
    Shape shape;
    double centre;  // nm
    double width;   // nm
    double low;
    double high;
};

constexpr DemoPatch kPatches[] = {
    {"dark skin", Shape::Rise, 590, 35, 0.05, 0.35},    {"light skin", Shape::Rise, 570, 40, 0.20, 0.65},
    {"blue sky", Shape::Fall, 520, 40, 0.10, 0.35},     {"foliage", Shape::Band, 540, 45, 0.05, 0.20},
    {"blue flower", Shape::Notch, 560, 50, 0.15, 0.45}, {"bluish green", Shape::Fall, 580, 35, 0.12, 0.55},
    {"orange", Shape::Rise, 570, 20, 0.05, 0.85},       {"purplish blue", Shape::Band, 450, 40, 0.05, 0.45},
    {"moderate red", Shape::Rise, 600, 20, 0.08, 0.70}, {"purple", Shape::Notch, 540, 60, 0.05, 0.35},
    {"yellow green", Shape::Band, 560, 60, 0.05, 0.70}, {"orange yellow", Shape::Rise, 540, 20, 0.05, 0.85},
    {"blue", Shape::Band, 440, 30, 0.04, 0.40},         {"green", Shape::Band, 530, 35, 0.05, 0.45},
    {"red", Shape::Rise, 610, 15, 0.04, 0.80},          {"yellow", Shape::Rise, 510, 20, 0.05, 0.88},
    {"magenta", Shape::Notch, 550, 45, 0.06, 0.75},     {"cyan", Shape::Fall, 560, 30, 0.08, 0.60},
    {"white 9.5", Shape::Flat, 0, 1, 0.90, 0.90},       {"neutral 8", Shape::Flat, 0, 1, 0.59, 0.59},
    {"neutral 6.5", Shape::Flat, 0, 1, 0.36, 0.36},     {"neutral 5", Shape::Flat, 0, 1, 0.19, 0.19},
    {"neutral 3.5", Shape::Flat, 0, 1, 0.09, 0.09},     {"black 2", Shape::Flat, 0, 1, 0.031, 0.031},
};

double reflectance(const DemoPatch& p, double nm) {
    const double x = (nm - p.centre) / p.width;
    switch (p.shape) {
        case Shape::Rise:
            return p.low + (p.high - p.low) / (1.0 + std::exp(-x));
        case Shape::Fall:
            return p.low + (p.high - p.low) / (1.0 + std::exp(x));
        case Shape::Band:
            return p.low + (p.high - p.low) * std::exp(-x * x);
        case Shape::Notch:
            return p.high - (p.high - p.low) * std::exp(-x * x);
        case Shape::Flat:
            break;
    }
    return p.low;
}

}  // namespace

std::string demoChartText() {
    CgatsWriter writer("measure-cli demo", "24-patch demonstration chart");
    std::vector<std::string> fields = {"SAMPLE_ID"};
    const auto spectral = spectralFieldNames();
    fields.insert(fields.end(), spectral.begin(), spectral.end());
    writer.dataFormat(fields, std::size(kPatches));
    int id = 1;
    for (const DemoPatch& patch : kPatches) {
        double values[36];
        for (int band = 0; band < 36; ++band) {
            // Rounded as an instrument reports them: four decimals of a percent.
            values[band] = std::round(reflectance(patch, 380.0 + 10.0 * band) * 1e6) / 1e6;
        }
        writer.row(std::to_string(id++), values, 36, 100.0);
    }
    writer.finish();
    return writer.text();
}

}  // namespace cli
