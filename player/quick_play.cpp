#include "player/quick_play.h"

#include <cstdio>
#include <cstdlib>

namespace zarn {
namespace {

bool IsSpace(char c) { return static_cast<unsigned char>(c) <= 32; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) return false;
    }
    return true;
}

std::string_view Unquote(std::string_view v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v.remove_prefix(1);
        v.remove_suffix(1);
    }
    return v;
}

}  // namespace

std::string IniValue(std::string_view ini_text, std::string_view section, std::string_view key,
                     std::string_view fallback) {
    bool in_section = false;
    while (!ini_text.empty()) {
        size_t end = ini_text.find_first_of("\r\n");
        std::string_view line = Trim(ini_text.substr(0, end));
        ini_text.remove_prefix(end == std::string_view::npos ? ini_text.size() : end + 1);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            size_t close = line.find(']');
            in_section =
                close != std::string_view::npos && SameNoCase(Trim(line.substr(1, close - 1)), section);
            continue;
        }
        size_t eq = line.find('=');
        if (!in_section || eq == std::string_view::npos) continue;
        if (SameNoCase(Trim(line.substr(0, eq)), key)) return std::string(Unquote(Trim(line.substr(eq + 1))));
    }
    return std::string(fallback);
}

std::string ReadQuickPlayValue(const QuickPlaySource& source) {
    if (source.read_profile) {
        std::string value = source.read_profile();
        if (value.size() > kQuickPlayMaxValue) value.resize(kQuickPlayMaxValue);
        return value;
    }
    if (source.ini_path.empty()) return "";
    std::FILE* file = std::fopen(source.ini_path.c_str(), "rb");
    if (file == nullptr) return "";
    std::string text;
    char chunk[4096];
    size_t got = 0;
    while (text.size() < kQuickPlayMaxFile && (got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
        text.append(chunk, got);
    }
    std::fclose(file);
    if (text.size() > kQuickPlayMaxFile) text.resize(kQuickPlayMaxFile);
    std::string value = IniValue(text, kQuickPlaySection, kQuickPlayKey, "");
    if (value.size() > kQuickPlayMaxValue) value.resize(kQuickPlayMaxValue);
    return value;
}

}  // namespace zarn
