#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "player/command_line.h"

namespace zarn {
namespace {

std::vector<std::string> AllNames(std::string list) {
    std::vector<std::string> names;
    for (std::string name = NextName(list); !name.empty(); name = NextName(list)) names.push_back(name);
    EXPECT_EQ(list, "");
    return names;
}

using Names = std::vector<std::string>;

TEST(NextName, SplitsOnWhiteSpaceInOrder) {
    EXPECT_EQ(AllNames("  a   b\tc\r\n"), (Names{"a", "b", "c"}));
    EXPECT_EQ(AllNames(""), Names{});
    EXPECT_EQ(AllNames(" \t "), Names{});
}

TEST(NextName, QuotedNamesHoldSpaces) {
    EXPECT_EQ(AllNames("\"my clip\" other"), (Names{"my clip", "other"}));
    EXPECT_EQ(AllNames("a \"b c\"\"d\""), (Names{"a", "b c", "d"}));
    EXPECT_EQ(AllNames("\"  padded  \""), (Names{"padded"}));  // names are trimmed
    EXPECT_EQ(AllNames("\"unterminated name"), (Names{"unterminated name"}));
    // Empty quoted names do not end the list early.
    EXPECT_EQ(AllNames("\"\" a \"  \" b"), (Names{"a", "b"}));
}

TEST(NextName, CommaAfterWhiteSpaceIsASeparator) {
    // One comma right after the white space that ends a name is dropped.
    EXPECT_EQ(AllNames("a ,b"), (Names{"a", "b"}));
    EXPECT_EQ(AllNames("a ,b , c"), (Names{"a", "b", "c"}));
    // A comma directly after a name belongs to it.
    EXPECT_EQ(AllNames("a, b"), (Names{"a,", "b"}));
    // Only one white space character and one comma are consumed with a name.
    EXPECT_EQ(AllNames("a  ,b"), (Names{"a", ",b"}));
}

TEST(NextName, RestOfListIsTrimmed) {
    std::string list = "  first   second  ";
    EXPECT_EQ(NextName(list), "first");
    EXPECT_EQ(list, "second");
    EXPECT_EQ(NextName(list), "second");
    EXPECT_EQ(list, "");
    EXPECT_EQ(NextName(list), "");
}

TEST(Extensions, DefaultExtensionOnlyWhenNoneIsThere) {
    EXPECT_FALSE(HasExtension("intro"));
    EXPECT_EQ(WithDefaultExtension("intro"), "intro.zrn");
    EXPECT_EQ(WithDefaultExtension("intro.zrn"), "intro.zrn");
    EXPECT_EQ(WithDefaultExtension("intro.dat"), "intro.dat");
    // A separator between the last dot and the end means no extension.
    EXPECT_FALSE(HasExtension("old.dir\\intro"));
    EXPECT_EQ(WithDefaultExtension("old.dir\\intro"), "old.dir\\intro.zrn");
    EXPECT_FALSE(HasExtension("old.dir/intro"));
    EXPECT_FALSE(HasExtension("c.x:intro"));
    EXPECT_TRUE(HasExtension("dir\\intro."));
    EXPECT_TRUE(HasExtension(".hidden"));
    EXPECT_FALSE(HasExtension(""));
}

TEST(NameForms, ClassifiesOffsetsAndFiles) {
    NameForm own = ClassifyName(":123456");
    EXPECT_EQ(own.kind, NameKind::kOwnExecutable);
    EXPECT_EQ(own.offset, 123456u);
    EXPECT_EQ(own.file, "");

    NameForm inside = ClassifyName("clips.dat|4096");
    EXPECT_EQ(inside.kind, NameKind::kFileAtOffset);
    EXPECT_EQ(inside.file, "clips.dat");  // no extension is added to this form
    EXPECT_EQ(inside.offset, 4096u);

    NameForm plain = ClassifyName("intro");
    EXPECT_EQ(plain.kind, NameKind::kFile);
    EXPECT_EQ(plain.file, "intro.zrn");
    EXPECT_EQ(ClassifyName("old.dir\\intro").file, "old.dir\\intro.zrn");
    EXPECT_EQ(ClassifyName("clip.zrn").file, "clip.zrn");

    // Offsets read like atol: digits up to the first non-digit, none gives 0.
    EXPECT_EQ(ClassifyName(":77x").offset, 77u);
    EXPECT_EQ(ClassifyName("f|").offset, 0u);
    EXPECT_EQ(ClassifyName("f|abc").offset, 0u);
    EXPECT_EQ(ClassifyName("a|b|12").file, "a|b");  // the last bar separates
    EXPECT_EQ(ClassifyName(":99999999999999999999999").kind, NameKind::kOwnExecutable);

    // ":" without a number is an ordinary name.
    NameForm colon = ClassifyName(":abc");
    EXPECT_EQ(colon.kind, NameKind::kFile);
    EXPECT_EQ(colon.file, ":abc.zrn");
}

}  // namespace
}  // namespace zarn
