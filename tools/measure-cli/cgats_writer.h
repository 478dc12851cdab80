// Writes CGATS.17 measurement files: a header of keywords, the data format
// and one row per patch. The text is built in memory and written in one go.
// Numbers are written so that reading them back gives the same doubles,
// spectral percentages included (see appendScaled).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

class CgatsWriter {
public:
    // Starts the file with "CGATS.17" and ORIGINATOR, DESCRIPTOR, CREATED.
    CgatsWriter(const std::string& originator, const std::string& descriptor);

    // A standard keyword with a quoted text value.
    void keyword(const std::string& name, const std::string& text);
    // A keyword of our own: declared with KEYWORD first, then given a value.
    void declaredKeyword(const std::string& name, const std::string& text);

    // Ends the header: field names, then the number of rows that follow.
    void dataFormat(const std::vector<std::string>& fields, size_t rows);

    // One row: the sample identifier, then `count` values. Values of fields
    // named as percentages are passed as fractions with scale 100.
    void row(const std::string& sampleId, const double* values, size_t count, double scale = 1.0);

    // A row cell by cell, for rows that mix texts and numbers: text() and
    // value() in field order, then endRow().
    void text(std::string_view cell);
    void value(double number, double scale = 1.0);
    void values(const double* numbers, size_t count, double scale = 1.0);
    void endRow();

    // "END_DATA" and the whole text; false when the rows did not match.
    bool finish();
    const std::string& text() const { return text_; }

    // Writes text() to `path` through a temporary file beside it, so that
    // `path` is either the whole file or untouched; false (with the reason in
    // `problem`) on failure.
    bool save(const std::string& path, std::string& problem) const;

private:
    void separator();
    std::string text_;
    size_t cellsInRow_ = 0;
    size_t fields_ = 0;
    size_t rowsDeclared_ = 0;
    size_t rowsWritten_ = 0;
    bool consistent_ = true;
};

// The shortest decimal text that reads back as `value`.
void appendNumber(std::string& out, double value);
// A decimal text t with strtod(t) / scale == value exactly, so that a reader
// dividing by `scale` recovers `value`; falls back to the shortest text of
// value * scale when no such text is found nearby.
void appendScaled(std::string& out, double value, double scale);

// Writes `text` to `path` through a temporary file in the same folder that is
// renamed over `path` at the end: a failure leaves `path` as it was.
bool saveWhole(const std::string& path, const std::string& text, std::string& problem);

// "spectral_nm_380" style field names for the 36 bands of 380..730 nm.
std::vector<std::string> spectralFieldNames();

}  // namespace cli
