#include "color/layout_text.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace measure {

bool loadLayoutText(const char* path, std::string& text) {
    if (path == nullptr) return false;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(kLongestLayoutFile, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    return true;
}

std::optional<std::string_view> layoutValue(std::string_view text, std::string_view keyword,
                                            bool (*accepted)(char), size_t longest) {
    const size_t at = text.find(keyword);
    if (at == std::string_view::npos) return std::nullopt;
    const size_t start = at + keyword.size() + 1;
    if (start >= text.size()) return text.substr(text.size());
    size_t end = start;
    while (end < text.size() && end - start < longest && accepted(text[end])) ++end;
    return text.substr(start, end - start);
}

}  // namespace measure
