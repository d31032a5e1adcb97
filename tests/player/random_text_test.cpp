// Random command texts built from switch-heavy characters: every step must
// end, keep within the text and only ever shrink it.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "player/command_line.h"

namespace zarn {
namespace {

std::string RandomText(std::mt19937& rng) {
    static const std::string kAlphabet =
        "/////---\"\"  ,.;:|~!#0123456789PLFTZSXYWHRCMEGKUNQJIADBpflxv\t\\\x80\xff";
    std::uniform_int_distribution<size_t> length(0, 60);
    std::uniform_int_distribution<size_t> pick(0, kAlphabet.size() - 1);
    std::string text(length(rng), ' ');
    for (char& c : text) c = kAlphabet[pick(rng)];
    return text;
}

bool IsSpace(char c) { return static_cast<unsigned char>(c) <= 32; }

TEST(RandomText, EveryStepEndsAndOnlyShrinksTheText) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 20000; ++round) {
        const std::string original = RandomText(rng);
        std::string text = original;
        ApplyCancellations(text);
        ASSERT_LE(text.size(), original.size()) << original;
        const size_t after_cancel = text.size();
        ParseResult parsed = ParseSwitches(text, 640, 480);
        ASSERT_LE(text.size(), after_cancel) << original;
        const PlayerOptions& o = parsed.options;
        ASSERT_TRUE(o.rate_override_den == -1 || o.rate_override_den >= 0) << original;
        ASSERT_TRUE(o.width_den >= 0 && o.height_den >= 0) << original;
        if (!parsed.show_help) {
            ASSERT_FALSE(NeedsHelp(text));
        }

        std::string list = text;
        size_t names_length = 0;
        for (size_t guard = 0; guard <= text.size() + 1; ++guard) {
            std::string name = NextName(list);
            if (name.empty()) break;
            ASSERT_FALSE(IsSpace(name.front()) || IsSpace(name.back())) << original;
            names_length += name.size();
            NameForm form = ClassifyName(name);
            if (form.kind == NameKind::kFile) {
                ASSERT_TRUE(HasExtension(form.file)) << name;
            }
        }
        ASSERT_EQ(list, "") << original;
        ASSERT_LE(names_length, text.size()) << original;
    }
}

}  // namespace
}  // namespace zarn
