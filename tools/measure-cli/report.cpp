#include "report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <vector>

#include "cgats_writer.h"
#include "compare.h"
#include "display_colour.h"
#include "measurement_file.h"

namespace cli {
namespace {

std::string escaped(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string fixed(double value, int decimals = 2) {
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// The bands of CIEDE2000 differences a print check uses: hardly visible,
// visible side by side, clearly visible, a different colour.
const char* differenceClass(double deltaE2000) {
    if (deltaE2000 <= 1.0) return "de-good";
    if (deltaE2000 <= 2.0) return "de-fair";
    if (deltaE2000 <= 4.0) return "de-poor";
    return "de-bad";
}

const char* kStyle = R"(
body{font-family:system-ui,sans-serif;margin:1.5em;color:#222;background:#fafafa}
h1{font-size:1.4em}h2{font-size:1.1em;margin-top:1.5em}
.grid{display:grid;grid-template-columns:repeat(auto-fill,minmax(64px,1fr));gap:4px;max-width:1200px}
.swatch{position:relative;display:block;height:64px;border:2px solid #ccc;text-decoration:none;color:inherit;overflow:hidden}
.swatch .id{position:absolute;left:2px;bottom:2px;font-size:10px;background:rgba(255,255,255,.8);padding:0 2px}
.swatch .ref,.swatch .meas{position:absolute;top:0;bottom:0;width:50%}
.swatch .ref{left:0}.swatch .meas{right:0}
.swatch .de{position:absolute;right:2px;top:2px;font-size:10px;padding:0 2px;color:#fff}
.swatch.oog::after{content:"!";position:absolute;right:3px;bottom:1px;font-weight:bold;color:#fff;background:#c00;padding:0 3px;font-size:11px}
.de-good{border-color:#2a2}.de-fair{border-color:#cb2}.de-poor{border-color:#e80}.de-bad{border-color:#d22}
.de.de-good{background:#2a2}.de.de-fair{background:#a90}.de.de-poor{background:#e80}.de.de-bad{background:#d22}
.swatch.hot,.swatch:target{outline:3px solid #000}
svg{background:#8a8a8a;max-width:1000px;width:100%;height:auto}
.axis{stroke:#222;stroke-width:1}.tick{font-size:11px;fill:#111}
.curve{fill:none;stroke-width:1;opacity:.3}
.curve:hover,.curve.hot,.curve:target{stroke-width:3;opacity:1}
table{border-collapse:collapse;font-size:12px}th,td{border:1px solid #ccc;padding:2px 6px;text-align:right}
td.chip{width:24px}tr.hot{background:#ffd}
)";

// Hovering a swatch, a curve or a row marks all three of that patch.
const char* kScript = R"(
for (const el of document.querySelectorAll('[data-patch]')) {
  const mark = on => { for (const m of document.querySelectorAll('[data-patch="' + el.dataset.patch + '"]')) m.classList.toggle('hot', on); };
  el.addEventListener('mouseenter', () => mark(true));
  el.addEventListener('mouseleave', () => mark(false));
}
)";

struct PatchView {
    std::string id;
    std::string name;
    std::array<double, 3> lab{};
    DisplayColour colour;
    std::optional<PatchPair> pair;
    DisplayColour referenceColour;
    std::vector<double> spectrum;
};

void swatches(std::string& html, const std::vector<PatchView>& views) {
    html += "<section id=\"swatches\"><h2>Patches</h2>\n<div class=\"grid\">\n";
    for (size_t i = 0; i < views.size(); ++i) {
        const PatchView& v = views[i];
        const std::string n = std::to_string(i + 1);
        std::string classes = "swatch";
        if (v.colour.outOfGamut) classes += " oog";
        std::string title = v.id + (v.name.empty() ? "" : " " + v.name) + ": L* " + fixed(v.lab[0]) + " a* " +
                            fixed(v.lab[1]) + " b* " + fixed(v.lab[2]);
        if (v.colour.outOfGamut) title += " (outside sRGB: shown clipped)";
        if (v.pair) {
            classes += std::string(" split ") + differenceClass(v.pair->deltaE2000);
            title += ", dE2000 " + fixed(v.pair->deltaE2000);
        }
        html += "<a class=\"" + classes + "\" id=\"p-" + n + "\" href=\"#c-" + n + "\" data-patch=\"" + n +
                "\" title=\"" + escaped(title) + "\"";
        if (!v.pair) html += " style=\"background:" + v.colour.hex() + "\"";
        html += ">";
        if (v.pair) {
            html += "<span class=\"ref\" style=\"background:" + v.referenceColour.hex() + "\"></span>";
            html += "<span class=\"meas\" style=\"background:" + v.colour.hex() + "\"></span>";
            html += std::string("<span class=\"de ") + differenceClass(v.pair->deltaE2000) + "\">" +
                    fixed(v.pair->deltaE2000, 1) + "</span>";
        }
        html += "<span class=\"id\">" + escaped(v.id) + "</span></a>\n";
    }
    html += "</div></section>\n";
}

// Reflectance curves: x the wavelength, y the reflectance factor from 0 to
// 1 (or higher when a fluorescent sample reflects more than the white).
void curves(std::string& html, const std::vector<PatchView>& views, const uint32_t* header) {
    constexpr double kWidth = 720, kHeight = 400, kLeft = 50, kRight = 15, kTop = 15, kBottom = 35;
    const double first = header[0];
    const double last = header[0] + header[1] * (header[2] - 1);
    double top = 1.0;
    for (const PatchView& v : views)
        for (double r : v.spectrum) top = std::max(top, r);
    const double span = std::max(last - first, 1.0);
    auto x = [&](double nm) { return kLeft + (nm - first) / span * (kWidth - kLeft - kRight); };
    auto y = [&](double r) { return kHeight - kBottom - r / top * (kHeight - kTop - kBottom); };

    html += "<section id=\"curves\"><h2>Reflectance</h2>\n";
    html += "<svg xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + fixed(kWidth, 0) + " " +
            fixed(kHeight, 0) + "\" role=\"img\" aria-label=\"reflectance curves\">\n";
    html += "<line class=\"axis\" x1=\"" + fixed(kLeft, 1) + "\" y1=\"" + fixed(y(0), 1) + "\" x2=\"" +
            fixed(kWidth - kRight, 1) + "\" y2=\"" + fixed(y(0), 1) + "\"/>\n";
    html += "<line class=\"axis\" x1=\"" + fixed(kLeft, 1) + "\" y1=\"" + fixed(y(0), 1) + "\" x2=\"" +
            fixed(kLeft, 1) + "\" y2=\"" + fixed(y(top), 1) + "\"/>\n";
    for (double nm = std::ceil(first / 50.0) * 50.0; nm <= last; nm += 50.0)
        html += "<text class=\"tick\" x=\"" + fixed(x(nm), 1) + "\" y=\"" + fixed(kHeight - 15, 1) +
                "\" text-anchor=\"middle\">" + fixed(nm, 0) + " nm</text>\n";
    for (double r = 0.0; r <= top + 1e-9; r += 0.2)
        html += "<text class=\"tick\" x=\"" + fixed(kLeft - 5, 1) + "\" y=\"" + fixed(y(r) + 4, 1) +
                "\" text-anchor=\"end\">" + fixed(r, 1) + "</text>\n";
    for (size_t i = 0; i < views.size(); ++i) {
        const PatchView& v = views[i];
        const std::string n = std::to_string(i + 1);
        html += "<polyline class=\"curve\" id=\"c-" + n + "\" data-patch=\"" + n + "\" stroke=\"" +
                v.colour.hex() + "\" points=\"";
        for (size_t b = 0; b < v.spectrum.size(); ++b) {
            if (b != 0) html += ' ';
            html +=
                fixed(x(first + static_cast<double>(header[1] * b)), 1) + "," + fixed(y(v.spectrum[b]), 1);
        }
        html += "\"><title>" + escaped(v.id) + "</title></polyline>\n";
    }
    html += "</svg></section>\n";
}

void valuesTable(std::string& html, const std::vector<PatchView>& views, bool withReference) {
    html +=
        "<section id=\"values\"><h2>Values</h2>\n<table>\n<thead><tr><th>#</th><th>SAMPLE_ID</th>"
        "<th>SAMPLE_NAME</th><th></th><th>L*</th><th>a*</th><th>b*</th><th>sRGB</th>";
    if (withReference) html += "<th>ref L*</th><th>ref a*</th><th>ref b*</th><th>dE2000</th><th>dE76</th>";
    html += "</tr></thead>\n<tbody>\n";
    for (size_t i = 0; i < views.size(); ++i) {
        const PatchView& v = views[i];
        const std::string n = std::to_string(i + 1);
        html += "<tr data-patch=\"" + n + "\"><td>" + n + "</td><td>" + escaped(v.id) + "</td><td>" +
                escaped(v.name) + "</td><td class=\"chip\" style=\"background:" + v.colour.hex() + "\"></td>";
        for (double value : v.lab) html += "<td>" + fixed(value) + "</td>";
        html += "<td>" + v.colour.hex() + (v.colour.outOfGamut ? " (out of gamut)" : "") + "</td>";
        if (v.pair) {
            for (double value : v.pair->referenceLab) html += "<td>" + fixed(value) + "</td>";
            html += "<td>" + fixed(v.pair->deltaE2000) + "</td><td>" + fixed(v.pair->deltaE76) + "</td>";
        } else if (withReference) {
            html += "<td></td><td></td><td></td><td></td><td></td>";
        }
        html += "</tr>\n";
    }
    html += "</tbody></table></section>\n";
}

}  // namespace

ReportOutcome writeReport(const std::string& measuredPath, const std::string& referencePath,
                          const std::string& output) {
    ReportOutcome outcome;
    MeasurementFile measured;
    if (!measured.open(measuredPath, outcome.problem)) return outcome;
    MeasurementFile reference;
    Comparison comparison;
    const bool withReference = !referencePath.empty();
    if (withReference) {
        if (!reference.open(referencePath, outcome.problem) ||
            !compareFiles(reference, measured, comparison, outcome.problem))
            return outcome;
        for (const std::string& warning : comparison.warnings)
            std::fprintf(stderr, "measure-cli report: warning: %s\n", warning.c_str());
    }
    const bool spectral = measured.hasSpectra() && measured.spectraUsable(outcome.problem);
    outcome.problem.clear();

    const SrgbConverter srgb;
    std::vector<PatchView> views(static_cast<size_t>(measured.patches()));
    for (int32_t p = 0; p < measured.patches(); ++p) {
        PatchView& v = views[static_cast<size_t>(p)];
        v.id = measured.sampleId(p);
        v.name = measured.sampleName(p);
        if (!measured.lab(p, v.lab, outcome.problem)) return outcome;
        v.colour = srgb.fromLab(v.lab);
        if (v.colour.outOfGamut) ++outcome.outOfGamut;
        if (spectral) {
            v.spectrum.resize(measured.spectralHeader()[2]);
            if (!measured.spectrum(p, v.spectrum.data(), outcome.problem)) return outcome;
        }
    }
    for (const PatchPair& pair : comparison.pairs) {
        PatchView& v = views[static_cast<size_t>(pair.measured)];
        v.pair = pair;
        v.referenceColour = srgb.fromLab(pair.referenceLab);
    }

    std::string html;
    html.reserve(static_cast<size_t>(measured.patches()) * (spectral ? 900 : 600) + 4096);
    html +=
        "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Measurement report: " +
        escaped(measuredPath) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n";
    html += "<h1>" + escaped(measuredPath) + "</h1>\n<p>" + std::to_string(measured.patches()) + " patches";
    if (!srgb.available())
        html += "; this build has no colour engine, so swatches are grey";
    else if (outcome.outOfGamut != 0)
        html += "; " + std::to_string(outcome.outOfGamut) + " outside sRGB, marked ! and shown clipped";
    html += ".</p>\n";
    if (withReference) {
        std::vector<double> e2000;
        for (const PatchPair& pair : comparison.pairs) e2000.push_back(pair.deltaE2000);
        const Statistics s = statisticsOf(e2000);
        html +=
            "<p>Reference " + escaped(referencePath) + ", " + std::to_string(comparison.pairs.size()) +
            " patches paired by " + (comparison.byId ? "SAMPLE_ID" : "position") +
            ". Each swatch shows the reference on the left, the measurement on the right. dE2000: average " +
            fixed(s.average) + ", median " + fixed(s.median) + ", 95th percentile " + fixed(s.percentile95) +
            ", maximum " + fixed(s.maximum) + ".</p>\n";
    }
    swatches(html, views);
    if (spectral) curves(html, views, measured.spectralHeader());
    valuesTable(html, views, withReference);
    html += "<script>" + std::string(kScript) + "</script>\n</body>\n</html>\n";

    if (!saveWhole(output, html, outcome.problem)) {
        outcome.problem = "cannot write " + output + ": " + outcome.problem;
        return outcome;
    }
    outcome.ok = true;
    outcome.patches = views.size();
    return outcome;
}

}  // namespace cli
