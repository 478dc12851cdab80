// Writes resources/InputCMYK.icc: the CMYK input profile the display colour
// conversion of reference chart data opens. Its AToB0 table is sampled from
// the colour-space library's predictor (process cyan, magenta, yellow and
// black on bright coated paper), so the display colours agree with the
// predicted reference Lab values.
//
//   input-cmyk-profile <output.icc>
//
// The table is media-relative: the predicted paper maps onto the D50 PCS
// white, and the paper's own D50 XYZ is the media white point.
#include <lcms2.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
#include <vector>

#include "color/kolvex.h"

namespace {

constexpr int kGridPoints = 11;

struct Sampler {
    std::unique_ptr<Kolvex::ColorPredictor> predictor;
    cmsCIEXYZ paper{};
};

cmsCIEXYZ predictXYZ(const Sampler& s, const std::vector<double>& cmyk) {
    std::vector<double> spectrum, xyz;
    s.predictor->predict(cmyk, spectrum);
    Kolvex::ColorSpace::Convert(Kolvex::ColorSpace::Spectral10(), spectrum, Kolvex::ColorSpace::XYZ(), xyz,
                                Kolvex::ViewingCondition::D50());
    return {xyz[0], xyz[1], xyz[2]};
}

int sample(const cmsUInt16Number in[], cmsUInt16Number out[], void* cargo) {
    const Sampler& s = *static_cast<const Sampler*>(cargo);
    std::vector<double> cmyk(4);
    for (size_t c = 0; c < 4; ++c) cmyk[c] = in[c] / 65535.0;
    const cmsCIEXYZ xyz = predictXYZ(s, cmyk);
    const cmsCIEXYZ* d50 = cmsD50_XYZ();
    const cmsCIEXYZ relative = {xyz.X / s.paper.X * d50->X, xyz.Y / s.paper.Y * d50->Y,
                                xyz.Z / s.paper.Z * d50->Z};
    cmsCIELab lab;
    cmsXYZ2Lab(d50, &lab, &relative);
    cmsFloat2LabEncoded(out, &lab);
    return 1;
}

bool setText(cmsHPROFILE profile, cmsTagSignature tag, const char* text) {
    cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
    const bool ok = mlu != nullptr && cmsMLUsetASCII(mlu, "en", "US", text) && cmsWriteTag(profile, tag, mlu);
    cmsMLUfree(mlu);
    return ok;
}

// Writes the profile with a fixed creation date and primary platform, so that
// the same predictor always gives the same bytes on every system and the
// shipped file can be checked against it (Little CMS names the system it was
// built for: 'APPL' on Linux, 'MSFT' on Windows).
bool save(cmsHPROFILE profile, const char* path) {
    cmsUInt32Number size = 0;
    if (!cmsSaveProfileToMem(profile, nullptr, &size) || size < 128) return false;
    std::vector<unsigned char> bytes(size);
    if (!cmsSaveProfileToMem(profile, bytes.data(), &size)) return false;
    // Header bytes 24..35: year, month, day, hours, minutes, seconds (big-endian).
    const unsigned short date[6] = {2024, 1, 1, 0, 0, 0};
    for (size_t i = 0; i < 6; ++i) {
        bytes[24 + 2 * i] = static_cast<unsigned char>(date[i] >> 8);
        bytes[25 + 2 * i] = static_cast<unsigned char>(date[i] & 0xFF);
    }
    // Header bytes 40..43: the primary platform signature.
    const char platform[4] = {'A', 'P', 'P', 'L'};
    std::copy(std::begin(platform), std::end(platform), bytes.begin() + 40);
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output.icc>\n", argv[0]);
        return 2;
    }
    cmsSetLogErrorHandler([](cmsContext, cmsUInt32Number code, const char* text) {
        std::fprintf(stderr, "Little CMS error %u: %s\n", code, text);
    });
    Sampler s;
    s.predictor = Kolvex::ColorPredictor::create(6, 7, 117);
    for (int code = 0; code < 4; ++code) s.predictor->addColorant(code, 1.0);
    s.paper = predictXYZ(s, {0, 0, 0, 0});

    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 4.3);
    cmsSetDeviceClass(profile, cmsSigInputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsSetHeaderRenderingIntent(profile, INTENT_RELATIVE_COLORIMETRIC);

    cmsPipeline* pipeline = cmsPipelineAlloc(nullptr, 4, 3);
    cmsStage* table = cmsStageAllocCLut16bit(nullptr, kGridPoints, 4, 3, nullptr);
    bool ok = pipeline != nullptr && table != nullptr && cmsStageSampleCLut16bit(table, sample, &s, 0) &&
              cmsPipelineInsertStage(pipeline, cmsAT_BEGIN, table);
    if (!ok && table != nullptr) cmsStageFree(table);
    // An AToB table is stored as A curves, the grid and B curves; both
    // curve sets are identities here.
    ok = ok && cmsPipelineInsertStage(pipeline, cmsAT_BEGIN, cmsStageAllocToneCurves(nullptr, 4, nullptr));
    ok = ok && cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocToneCurves(nullptr, 3, nullptr));
    ok = ok && cmsWriteTag(profile, cmsSigAToB0Tag, pipeline);
    ok = ok && setText(profile, cmsSigProfileDescriptionTag,
                       "measure InputCMYK (predicted process inks on coated paper)");
    ok = ok && setText(profile, cmsSigCopyrightTag, "No copyright, use freely");
    ok = ok && cmsWriteTag(profile, cmsSigMediaWhitePointTag, &s.paper);
    ok = ok && save(profile, argv[1]);
    if (pipeline != nullptr) cmsPipelineFree(pipeline);
    cmsCloseProfile(profile);
    if (!ok) {
        std::fprintf(stderr, "%s: could not write the profile\n", argv[1]);
        return 1;
    }
    return 0;
}
