#include "cgats_writer.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <random>
#include <system_error>

namespace cli {
namespace {

// Texts inside CGATS quotes cannot hold a double quote or a line break.
std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) out += (c == '"' ? '\'' : (c == '\n' || c == '\r' || c == '\t') ? ' ' : c);
    out += '"';
    return out;
}

std::string isoNow() {
    const std::time_t now = std::time(nullptr);
    char buffer[32] = "unknown";
    if (const std::tm* local = std::localtime(&now))
        std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S", local);
    return buffer;
}

bool readsBackAs(const char* begin, const char* end, double scale, double value) {
    double parsed = 0.0;
    const auto [ptr, ec] = std::from_chars(begin, end, parsed);
    return ec == std::errc() && ptr == end && parsed / scale == value;
}

}  // namespace

void appendNumber(std::string& out, double value) {
    if (!std::isfinite(value)) value = std::isnan(value) ? 0.0 : (value > 0 ? 1e300 : -1e300);
    if (value == 0.0) value = 0.0;  // no "-0"
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void appendScaled(std::string& out, double value, double scale) {
    if (scale == 1.0 || !std::isfinite(value) || value == 0.0) {
        appendNumber(out, value * scale);
        return;
    }
    // value * scale is usually already right; when its rounding lost the
    // last bit, one of its close neighbours reads back exactly.
    char buffer[32];
    auto tryText = [&](double candidate) {
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, candidate);
        if (!readsBackAs(buffer, result.ptr, scale, value)) return false;
        out.append(buffer, result.ptr);
        return true;
    };
    const double centre = value * scale;
    if (tryText(centre)) return;
    double up = centre;
    double down = centre;
    for (int step = 0; step < 16; ++step) {
        up = std::nextafter(up, HUGE_VAL);
        if (tryText(up)) return;
        down = std::nextafter(down, -HUGE_VAL);
        if (tryText(down)) return;
    }
    appendNumber(out, centre);
}

std::vector<std::string> spectralFieldNames() {
    std::vector<std::string> names;
    for (int nm = 380; nm <= 730; nm += 10) names.push_back("SPECTRAL_NM_" + std::to_string(nm));
    return names;
}

CgatsWriter::CgatsWriter(const std::string& originator, const std::string& descriptor) {
    text_.reserve(1 << 16);
    text_ += "CGATS.17\n";
    keyword("ORIGINATOR", originator);
    keyword("DESCRIPTOR", descriptor);
    keyword("CREATED", isoNow());
}

void CgatsWriter::keyword(const std::string& name, const std::string& text) {
    text_ += name;
    text_ += '\t';
    text_ += quoted(text);
    text_ += '\n';
}

void CgatsWriter::declaredKeyword(const std::string& name, const std::string& text) {
    text_ += "KEYWORD\t\"" + name + "\"\n";
    keyword(name, text);
}

void CgatsWriter::dataFormat(const std::vector<std::string>& fields, size_t rows) {
    fields_ = fields.size();
    rowsDeclared_ = rows;
    text_ += "NUMBER_OF_FIELDS\t" + std::to_string(fields.size()) + "\nBEGIN_DATA_FORMAT\n";
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i != 0) text_ += '\t';
        text_ += fields[i];
    }
    text_ += "\nEND_DATA_FORMAT\nNUMBER_OF_SETS\t" + std::to_string(rows) + "\nBEGIN_DATA\n";
    // Up to eighteen characters per value (the shortest text that reads
    // back as the same double), so that the text grows once.
    text_.reserve(text_.size() + rows * (fields.size() * 18 + 8));
}

void CgatsWriter::row(const std::string& sampleId, const double* values, size_t count, double scale) {
    text(sampleId.empty() ? std::string_view("-") : std::string_view(sampleId));
    this->values(values, count, scale);
    endRow();
}

void CgatsWriter::separator() {
    if (cellsInRow_++ != 0) text_ += '\t';
}

void CgatsWriter::text(std::string_view cell) {
    separator();
    if (cell.empty() || cell.find_first_of(" \t\"") != std::string_view::npos) {
        text_ += quoted(std::string(cell));
    } else {
        text_ += cell;
    }
}

void CgatsWriter::value(double number, double scale) {
    separator();
    appendScaled(text_, number, scale);
}

void CgatsWriter::values(const double* numbers, size_t count, double scale) {
    for (size_t i = 0; i < count; ++i) value(numbers[i], scale);
}

void CgatsWriter::endRow() {
    if (cellsInRow_ != fields_) consistent_ = false;
    cellsInRow_ = 0;
    ++rowsWritten_;
    text_ += '\n';
}

bool CgatsWriter::finish() {
    text_ += "END_DATA\n";
    return consistent_ && rowsWritten_ == rowsDeclared_;
}

bool CgatsWriter::save(const std::string& path, std::string& problem) const {
    return saveWhole(path, text_, problem);
}

bool saveWhole(const std::string& path, const std::string& text, std::string& problem) {
    // The temporary name differs per run, so that two runs writing the
    // same file never share one.
    const std::string temporary = path + ".part" + std::to_string(std::random_device{}() & 0xFFFFFF);
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        problem = std::error_code(errno, std::generic_category()).message();
        return false;
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int savedErrno = errno;
    const bool closed = std::fclose(file) == 0;
    std::error_code ec;
    if (!written || !closed) {
        problem = std::error_code(written ? errno : savedErrno, std::generic_category()).message();
        std::filesystem::remove(temporary, ec);
        return false;
    }
    std::filesystem::rename(temporary, path, ec);
    if (ec) {
        problem = ec.message();
        std::filesystem::remove(temporary, ec);
        return false;
    }
    return true;
}

}  // namespace cli
