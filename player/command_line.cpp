#include "player/command_line.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <numeric>

namespace zarn {
namespace {

constexpr size_t npos = std::string::npos;
constexpr uint64_t kMax32 = std::numeric_limits<int32_t>::max();

// ---- Characters -------------------------------------------------------------

unsigned char Code(char c) { return static_cast<unsigned char>(c); }
bool IsSpace(char c) { return Code(c) <= 32; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The character at i, or NUL past the end (the text's terminator).
char At(const std::string& t, size_t i) { return i < t.size() ? t[i] : '\0'; }

std::string Trimmed(const std::string& s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && IsSpace(s[b])) ++b;
    while (e > b && IsSpace(s[e - 1])) --e;
    return s.substr(b, e - b);
}

// ---- Finding switch text ----------------------------------------------------

// One past the closing quote of a quoted name opening at i (a double quote at
// the start of the text or after white space, with a closing quote), else i.
size_t QuotedNameEnd(const std::string& t, size_t i) {
    if (t[i] != '"' || (i > 0 && !IsSpace(t[i - 1]))) return i;
    size_t close = t.find('"', i + 1);
    return close == npos ? i : close + 1;
}

// The next "/" at or after `from` that stands outside quoted names.
size_t NextSlash(const std::string& t, size_t from) {
    size_t i = from;
    while (i < t.size()) {
        size_t skip = QuotedNameEnd(t, i);
        if (skip != i) {
            i = skip;
        } else if (t[i] == '/') {
            return i;
        } else {
            ++i;
        }
    }
    return npos;
}

// End of the switch at `slash` for a cancellation: its argument runs to white
// space or "/", a quoted argument to (not past) its closing quote; never past
// `limit`.
size_t SwitchEnd(const std::string& t, size_t slash, size_t limit) {
    size_t i = slash + 2;
    while (i < limit && !IsSpace(t[i]) && t[i] != '/') {
        if (t[i] == '"') {
            size_t close = t.find('"', i + 1);
            i = close == npos ? limit : close;
            break;
        }
        ++i;
    }
    return std::min(i, limit);
}

bool BareFits(const std::string& t, size_t i) { return Code(At(t, i)) < '0'; }
bool NumberFits(const std::string& t, size_t i) {
    return IsDigit(At(t, i)) || (At(t, i) == '-' && IsDigit(At(t, i + 1)));
}

// The first "/" + letter (any case) whose argument at the following position fits.
template <class Fits>
size_t FindSwitch(const std::string& t, char letter, Fits fits) {
    for (size_t p = NextSlash(t, 0); p != npos; p = NextSlash(t, p + 1)) {
        if (Upper(At(t, p + 1)) == letter && fits(t, p + 2)) return p;
    }
    return npos;
}

// ---- Switch forms -----------------------------------------------------------

bool TakeBare(std::string& t, char letter) {
    size_t p = FindSwitch(t, letter, BareFits);
    if (p == npos) return false;
    t.erase(p, 2);
    return true;
}

// Reads an optional "-" and decimal digits as atol does, saturating at the
// 32-bit range.
bool TakeInteger(std::string& t, char letter, int32_t* value) {
    size_t p = FindSwitch(t, letter, NumberFits);
    if (p == npos) return false;
    size_t i = p + 2;
    bool negative = t[i] == '-';
    if (negative) ++i;
    const uint64_t limit = negative ? kMax32 + 1 : kMax32;
    uint64_t v = 0;
    for (; i < t.size() && IsDigit(t[i]); ++i) v = std::min<uint64_t>(v * 10 + (t[i] - '0'), limit);
    *value = static_cast<int32_t>(negative ? -static_cast<int64_t>(v) : static_cast<int64_t>(v));
    t.erase(p, i - p);
    return true;
}

void Reduce(uint64_t* n, uint64_t* d) {
    if (*n == 0 || *d == 0) return;
    uint64_t g = std::gcd(*n, *d);
    *n /= g;
    *d /= g;
}

// Reads digits, then "." and more digits, into n/d reduced. Integer digits
// saturate at the 32-bit range; fraction digits that no longer fit are read
// but dropped (a truncation of the value).
void ReadDecimal(const std::string& t, size_t* i, uint64_t* n, uint64_t* d) {
    *n = 0;
    *d = 1;
    for (; *i < t.size() && IsDigit(t[*i]); ++*i) *n = std::min<uint64_t>(*n * 10 + (t[*i] - '0'), kMax32);
    if (At(t, *i) == '.') {
        for (++*i; *i < t.size() && IsDigit(t[*i]); ++*i) {
            uint64_t next = *n * 10 + (t[*i] - '0');
            if (next <= kMax32 && *d * 10 <= kMax32) {
                *n = next;
                *d *= 10;
            }
        }
    }
    Reduce(n, d);
}

bool TakeFraction(std::string& t, char letter, int32_t* num, int32_t* den) {
    size_t p = FindSwitch(t, letter, NumberFits);
    if (p == npos) return false;
    size_t i = p + 2;
    bool negative = t[i] == '-';
    if (negative) ++i;
    uint64_t n = 0;
    uint64_t d = 1;
    ReadDecimal(t, &i, &n, &d);
    if (At(t, i) == ';' && IsDigit(At(t, i + 1))) {
        ++i;
        uint64_t pn = 0;
        uint64_t qd = 1;
        ReadDecimal(t, &i, &pn, &qd);
        n *= qd;  // both factors are below 2^31, so the products fit
        d *= pn;
        Reduce(&n, &d);
    }
    if (d == 0) d = 1;
    while (n > kMax32 || d > kMax32) {  // keep the ratio within 32 bits
        n >>= 1;
        d >>= 1;
    }
    if (d == 0) d = 1;
    *num = static_cast<int32_t>(negative ? -static_cast<int64_t>(n) : static_cast<int64_t>(n));
    *den = static_cast<int32_t>(d);
    t.erase(p, i - p);
    return true;
}

// ---- argv -------------------------------------------------------------------

// One "/"-separated piece of a chained switch argument: a switch character,
// then only sign, digit, "." and ";" characters; "-X" for a cancellation.
bool IsSwitchShaped(std::string_view piece) {
    static constexpr std::string_view kLetters = "PLFTZSXYWHRCMEGKUNQJIADB#!";
    if (piece.empty()) return false;
    if (piece[0] == '-') return piece.size() <= 2;
    if (kLetters.find(Upper(piece[0])) == std::string_view::npos) return false;
    return piece.find_first_not_of("-0123456789.;", 1) == std::string_view::npos;
}

bool IsSwitchArgument(std::string_view arg) {
    if (arg.empty() || arg[0] != '/') return false;
    if (arg.find('/', 1) == std::string_view::npos) return true;
    size_t start = 1;
    while (start <= arg.size()) {
        size_t slash = arg.find('/', start);
        size_t end = slash == std::string_view::npos ? arg.size() : slash;
        if (!IsSwitchShaped(arg.substr(start, end - start))) return false;
        start = end + 1;
    }
    return true;
}

uint64_t LeadingNumber(std::string_view s) {
    uint64_t v = 0;
    constexpr uint64_t kLimit = std::numeric_limits<uint64_t>::max() / 10 - 9;
    for (size_t i = 0; i < s.size() && IsDigit(s[i]); ++i) v = v >= kLimit ? kLimit : v * 10 + (s[i] - '0');
    return v;
}

// Moves one name (possibly empty, as for "") out of the list.
std::string TakeName(std::string& list) {
    size_t i = 0;
    while (i < list.size() && IsSpace(list[i])) ++i;
    std::string name;
    size_t rest = 0;
    if (At(list, i) == '"') {
        size_t close = list.find('"', i + 1);
        if (close == npos) close = list.size();
        name = list.substr(i + 1, close - i - 1);
        rest = std::min(close + 1, list.size());
    } else {
        size_t end = i;
        while (end < list.size() && !IsSpace(list[end])) ++end;
        name = list.substr(i, end - i);
        rest = end;
        if (rest < list.size()) ++rest;     // the white space after the name
        if (At(list, rest) == ',') ++rest;  // and one comma right after it
    }
    list = Trimmed(list.substr(rest));
    return Trimmed(name);
}

}  // namespace

// ---- Stored default ---------------------------------------------------------

std::string CutDefaultCommand(std::string_view area) {
    size_t n = 0;
    while (n < area.size() && n < kStoredCommandMaxText && area[n] != '~' && area[n] != '\0') ++n;
    return std::string(area.substr(0, n));
}

long FindStoredCommandArea(const std::vector<uint8_t>& image) {
    const std::string_view marker = ZARN_STORED_COMMAND_MARKER;
    auto at = image.begin();
    while (true) {
        at = std::search(at, image.end(), marker.begin(), marker.end());
        if (at == image.end()) return -1;
        size_t area = static_cast<size_t>(at - image.begin()) + marker.size();
        if (area + kStoredCommandArea < image.size() && image[area + kStoredCommandArea] == 0 &&
            std::find(image.begin() + area, image.begin() + area + kStoredCommandArea, 0) ==
                image.begin() + area + kStoredCommandArea) {
            return static_cast<long>(area);
        }
        ++at;
    }
}

long FindStoredCommandResource(const std::vector<uint8_t>& image) {
    // The string's length word, then its UTF-16LE characters.
    std::vector<uint8_t> entry{static_cast<uint8_t>(kStoredCommandArea & 0xFF),
                               static_cast<uint8_t>(kStoredCommandArea >> 8)};
    for (size_t i = 0; i < kStoredCommandArea; ++i) {
        entry.push_back('~');
        entry.push_back(0);
    }
    auto at = std::search(image.begin(), image.end(), entry.begin(), entry.end());
    return at == image.end() ? -1 : static_cast<long>(at - image.begin()) + 2;
}

bool PatchStoredCommand(std::vector<uint8_t>& image, std::string_view text) {
    if (text.size() > kStoredCommandMaxText || text.find_first_of(std::string_view("~\0", 2)) != npos)
        return false;
    long area = FindStoredCommandArea(image);
    if (area >= 0) {
        auto start = image.begin() + area;
        std::fill(start, start + kStoredCommandArea, static_cast<uint8_t>('~'));
        std::copy(text.begin(), text.end(), start);
        return true;
    }
    // A Windows player: string resource 1. Its text goes through the ANSI
    // code page when loaded, so only ASCII is written.
    area = FindStoredCommandResource(image);
    if (area < 0 || std::any_of(text.begin(), text.end(), [](char c) { return Code(c) >= 0x80; }))
        return false;
    for (size_t i = 0; i < text.size(); ++i) image[static_cast<size_t>(area) + 2 * i] = Code(text[i]);
    return true;
}

// ---- Command text -----------------------------------------------------------

std::string JoinArguments(int argc, const char* const* argv) {
    std::string text;
    for (int k = 1; k < argc; ++k) {
        std::string_view arg = argv[k] != nullptr ? argv[k] : "";
        if (arg.empty()) continue;
        if (!text.empty()) text += ' ';
        bool needs_quotes =
            !IsSwitchArgument(arg) && arg.find('"') == std::string_view::npos &&
            std::any_of(arg.begin(), arg.end(), [](char c) { return IsSpace(c) || c == '/'; });
        if (needs_quotes) text += '"';
        text += arg;
        if (needs_quotes) text += '"';
    }
    return text;
}

void ApplyCancellations(std::string& text) {
    size_t p = 0;
    while ((p = NextSlash(text, p)) != npos) {
        if (At(text, p + 1) != '-') {
            ++p;
            continue;
        }
        if (p + 2 >= text.size()) {  // a trailing "/-" is dropped
            text.resize(p);
            return;
        }
        const char letter = Upper(text[p + 2]);
        size_t cancel = p;
        size_t i = 0;
        while ((i = NextSlash(text, i)) != npos && i + 1 < cancel) {
            if (Upper(text[i + 1]) != letter) {
                ++i;
                continue;
            }
            size_t end = SwitchEnd(text, i, cancel);
            text.erase(i, end - i);
            cancel -= end - i;
        }
        text.erase(cancel, 3);
        p = cancel;
    }
}

std::string BuildCommandText(std::string_view stored_default, int argc, const char* const* argv,
                             const QuickPlaySource& quick_play) {
    std::string text = CutDefaultCommand(stored_default);
    text += JoinArguments(argc, argv);
    ApplyCancellations(text);
    size_t p = FindSwitch(text, '!', [](const std::string&, size_t) { return true; });
    if (p != npos) {
        text.erase(p, 2);
        text += ReadQuickPlayValue(quick_play);
    }
    return text;
}

// ---- Options ----------------------------------------------------------------

bool DisplayResolution(uint32_t code, uint32_t* width, uint32_t* height) {
    static constexpr uint32_t kSizes[13][2] = {{320, 200},  {320, 240},  {320, 400},  {400, 300}, {480, 360},
                                               {512, 384},  {640, 400},  {640, 480},  {800, 600}, {960, 720},
                                               {1024, 768}, {1152, 864}, {1280, 1024}};
    uint32_t r = code % 100;
    if (r < 1 || r > 13) return false;
    *width = kSizes[r - 1][0];
    *height = kSizes[r - 1][1];
    return true;
}

bool DisplayDepth(uint32_t code, uint32_t* depth) {
    static constexpr uint32_t kDepths[7] = {16, 24, 32, 8, 1, 2, 3};
    uint32_t k = code / 100;
    if (k > 6) return false;
    *depth = kDepths[k];
    return true;
}

ParseResult ParseSwitches(std::string& text, uint32_t screen_w, uint32_t screen_h) {
    ParseResult result;
    PlayerOptions& o = result.options;

    TakeBare(text, '!');

    int32_t loops = -1;
    TakeInteger(text, 'L', &loops);
    if (loops == -1) loops = TakeBare(text, 'L') ? 0 : 1;
    o.loop_count = loops;

    TakeInteger(text, '#', &o.parent_window);

    TakeFraction(text, 'O', &o.start_num, &o.start_den);
    bool rate = TakeFraction(text, 'F', &o.rate_override_num, &o.rate_override_den);
    if (TakeBare(text, 'F')) {
        o.rate_override_num = 0;
        o.rate_override_den = 0;
        rate = true;
    }
    if (rate) o.open_flags |= kFlagRateOverride;

    if (TakeInteger(text, 'T', &o.track_choice) && o.track_choice != 0) o.open_flags |= kFlagTrackById;
    if (TakeInteger(text, 'M', &o.read_speed) && o.read_speed != 0) o.open_flags |= kFlagReadSpeed;
    if (TakeInteger(text, 'E', &o.read_buffer) && o.read_buffer != -1) o.open_flags |= kFlagReadAheadSize;

    int32_t value = 0;
    if (TakeInteger(text, 'U', &value)) o.disabled_controls = static_cast<uint32_t>(value);
    value = 0;
    TakeInteger(text, 'I', &value);
    o.always_on_top = static_cast<uint32_t>(value) / 100;
    o.window_style = static_cast<uint32_t>(value) % 100;

    o.use_waveout = TakeBare(text, 'Z');
    o.show_summary = TakeBare(text, 'S');
    o.show_statistics = TakeBare(text, 'Q');
    o.keep_playing_unfocused = TakeBare(text, 'J');
    o.black_background = TakeBare(text, 'R');
    o.hide_cursor = TakeBare(text, 'C');
    if (o.black_background) o.window_style = 2;

    if (TakeBare(text, 'N')) o.open_flags |= kFlagNeverSkip;
    if (TakeBare(text, 'G')) o.open_flags |= kFlagNoInitialFill;
    if (TakeBare(text, 'P')) o.open_flags |= kFlagPreload;
    if (TakeBare(text, 'K')) o.open_flags |= kFlagNoThread;

    value = 0;
    TakeInteger(text, 'A', &value);
    const uint32_t display = static_cast<uint32_t>(value);
    if (display / 100 == 1) o.open_flags |= kFlagGreyScale;
    o.open_flags |= std::min<uint32_t>(display % 100, 7) << kDisplayOptionShift;

    TakeInteger(text, 'X', &o.x);
    TakeInteger(text, 'Y', &o.y);
    TakeFraction(text, 'W', &o.width_num, &o.width_den);
    TakeFraction(text, 'H', &o.height_num, &o.height_den);

    o.screen_width = screen_w;
    o.screen_height = screen_h;
    value = 0;
    TakeInteger(text, 'D', &value);
    if (value != 0) {
        const uint32_t code = static_cast<uint32_t>(value);
        uint32_t w = 0;
        uint32_t h = 0;
        uint32_t depth = 0;
        if (DisplayResolution(code, &w, &h) && DisplayDepth(code, &depth)) {
            o.display_flags |= kDisplayChangeMode;
            o.screen_width = o.display_mode_width = w;
            o.screen_height = o.display_mode_height = h;
            o.display_mode_depth = depth;
        } else {
            result.show_help = true;
        }
    }
    value = 0;
    if (TakeInteger(text, 'B', &value)) o.display_flags |= static_cast<uint32_t>(value);

    if (NeedsHelp(text)) result.show_help = true;
    return result;
}

bool NeedsHelp(const std::string& text) { return NextSlash(text, 0) != npos || Trimmed(text).empty(); }

uint32_t StretchRequestSize(int32_t num, int32_t den, uint32_t video_size, uint32_t screen_size) {
    if (num >= 0) {
        if (num == 0 || den == 0) return video_size;
        int64_t e = static_cast<int64_t>(num) / den;
        return e < 0 ? 0 : static_cast<uint32_t>(e);
    }
    if (num == -1 && den == 1) return screen_size;
    if (den == 0) return video_size;
    uint64_t e = static_cast<uint64_t>(video_size) * static_cast<uint64_t>(-static_cast<int64_t>(num)) /
                 static_cast<uint32_t>(den);
    return static_cast<uint32_t>(std::min<uint64_t>(e, 0xFFFFFFFFu));
}

// ---- Names ------------------------------------------------------------------

std::string NextName(std::string& list) {
    std::string name;
    while (name.empty() && !list.empty()) name = TakeName(list);
    return name;
}

bool HasExtension(const std::string& name) {
    for (size_t i = name.size(); i > 0; --i) {
        char c = name[i - 1];
        if (c == '.') return true;
        if (c == ':' || c == '\\' || c == '/') return false;
    }
    return false;
}

std::string WithDefaultExtension(const std::string& name) {
    return HasExtension(name) ? name : name + ".zrn";
}

NameForm ClassifyName(const std::string& name) {
    NameForm form;
    if (At(name, 0) == ':' && IsDigit(At(name, 1))) {
        form.kind = NameKind::kOwnExecutable;
        form.offset = LeadingNumber(std::string_view(name).substr(1));
        return form;
    }
    size_t bar = name.rfind('|');
    if (bar != npos) {
        form.kind = NameKind::kFileAtOffset;
        form.file = name.substr(0, bar);
        form.offset = LeadingNumber(std::string_view(name).substr(bar + 1));
        return form;
    }
    form.file = WithDefaultExtension(name);
    if (form.file != name) form.given = name;
    return form;
}

}  // namespace zarn
