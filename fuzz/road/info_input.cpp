#include "fuzz/road/info_input.h"

#include <cctype>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/road/header_bounds.h"
#include "fuzz/road/memory_file.h"
#include "tools/info_command.h"

namespace zarn::fuzz {
namespace {

// A small recursive-descent reader that only says whether the text parses.
class JsonReader {
public:
    explicit JsonReader(const std::string& t) : t_(t) {}
    bool Document() {
        Space();
        if (!Value(0)) return false;
        Space();
        return i_ == t_.size();
    }

private:
    void Space() {
        while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\n' || t_[i_] == '\t' || t_[i_] == '\r')) ++i_;
    }
    bool Eat(char c) {
        Space();
        if (i_ < t_.size() && t_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    bool Word(const char* w) {
        const std::string s(w);
        if (t_.compare(i_, s.size(), s) != 0) return false;
        i_ += s.size();
        return true;
    }
    bool String() {
        if (!Eat('"')) return false;
        while (i_ < t_.size()) {
            const unsigned char c = static_cast<unsigned char>(t_[i_++]);
            if (c == '"') return true;
            if (c < 0x20) return false;
            if (c == '\\') {
                if (i_ >= t_.size()) return false;
                const char e = t_[i_++];
                if (e == 'u') {
                    for (int k = 0; k < 4; ++k, ++i_)
                        if (i_ >= t_.size() || !std::isxdigit(static_cast<unsigned char>(t_[i_])))
                            return false;
                } else if (std::string("\"\\/bfnrt").find(e) == std::string::npos) {
                    return false;
                }
            }
        }
        return false;
    }
    bool Number() {
        const size_t start = i_;
        if (i_ < t_.size() && t_[i_] == '-') ++i_;
        const size_t digits = i_;
        while (i_ < t_.size() && std::isdigit(static_cast<unsigned char>(t_[i_]))) ++i_;
        if (i_ == digits) return false;
        if (i_ < t_.size() && t_[i_] == '.') {
            ++i_;
            const size_t fraction = i_;
            while (i_ < t_.size() && std::isdigit(static_cast<unsigned char>(t_[i_]))) ++i_;
            if (i_ == fraction) return false;
        }
        if (i_ < t_.size() && (t_[i_] == 'e' || t_[i_] == 'E')) {  // an exponent, as JSON allows
            ++i_;
            if (i_ < t_.size() && (t_[i_] == '+' || t_[i_] == '-')) ++i_;
            const size_t exponent = i_;
            while (i_ < t_.size() && std::isdigit(static_cast<unsigned char>(t_[i_]))) ++i_;
            if (i_ == exponent) return false;
        }
        return i_ > start;
    }
    bool Value(int depth) {
        if (depth > 16) return false;
        Space();
        if (i_ >= t_.size()) return false;
        const char c = t_[i_];
        if (c == '"') return String();
        if (c == '[' || c == '{') {
            const bool object = c == '{';
            ++i_;
            if (Eat(object ? '}' : ']')) return true;
            do {
                if (object && (!String() || !Eat(':'))) return false;
                if (!Value(depth + 1)) return false;
            } while (Eat(','));
            return Eat(object ? '}' : ']');
        }
        if (c == 't') return Word("true");
        if (c == 'f') return Word("false");
        if (c == 'n') return Word("null");
        return Number();
    }

    const std::string& t_;
    size_t i_ = 0;
};

}  // namespace

bool IsJsonText(const std::string& text) { return JsonReader(text).Document(); }

bool InspectInfoInput(const uint8_t* data, size_t size) {
    if (size < 1) return true;
    const uint8_t option = data[0];
    const uint8_t* image = data + 1;
    const size_t image_size = size - 1;
    if (!HeaderWithinBudget(image, image_size)) return true;
    std::vector<std::string> args;
    if (option & 1) args.push_back("--json");
    args.push_back(WriteMemoryFile(1, image, image_size));
    if (option & 2) args.push_back(WriteMemoryFile(2, image, image_size / 2));
    if (option & 4) args.push_back("/nonexistent/zarn-fuzz.zrn");
    for (const std::string& a : args)
        if (a.empty()) return true;  // no memory file on this system

    std::ostringstream out, err;
    const int status = RunInfoCommand(args, out, err);
    if (status != 0 && status != 1) return false;
    if (option & 1) {
        if (!IsJsonText(out.str())) return false;
    } else if (status == 1 && err.str().empty()) {
        return false;
    }
    if ((option & 4) && status != 1) return false;
    return status == 1 || err.str().empty();
}

}  // namespace zarn::fuzz
