// The Y4M reader and writer: header variants, frame round trip, refusals.
#include <gtest/gtest.h>

#include <fstream>

#include "encoder/y4m.h"
#include "tests/support/temp_file.h"

namespace zarn {
namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST(Y4m, ReadsEveryFourTwoZeroVariantAndFrameParameters) {
    const std::string frame(3 * 2 + 2 * (2 * 1), '\x7f');  // 3x2 luma, two 2x1 chroma planes
    for (const char* tag : {"", " C420", " C420jpeg", " C420mpeg2", " C420paldv"}) {
        SCOPED_TRACE(tag);
        test::TempFile f(Bytes(std::string("YUV4MPEG2 W3 H2 F30000:1001 It A1:1") + tag +
                               " XCOLORRANGE=FULL\n" + "FRAME\n" + frame + "FRAME Ixyz\n" + frame),
                         ".y4m");
        Y4mReader r;
        ASSERT_TRUE(r.Open(f.Path())) << r.Error();
        EXPECT_EQ(r.Info().width, 3u);
        EXPECT_EQ(r.Info().height, 2u);
        EXPECT_EQ(r.Info().rate_num, 30000u);
        EXPECT_EQ(r.Info().rate_den, 1001u);
        YuvPicture p;
        EXPECT_EQ(r.ReadFrame(p), 1);
        EXPECT_EQ(p.u.size(), 2u);
        EXPECT_EQ(r.ReadFrame(p), 1);
        EXPECT_EQ(r.ReadFrame(p), 0);
    }
}

TEST(Y4m, RefusesOtherFormatsAndBrokenStreams) {
    struct Case {
        std::string text;
        const char* message;
    } cases[] = {
        {"YUV4MPEG2 W4 H4 C444\n", "unsupported chroma format '444'"},
        {"YUV4MPEG2 W4 H4 C420p10\n", "unsupported chroma format"},
        {"YUV4MPEG2 W4 H4 Cmono\n", "unsupported chroma format"},
        {"YUV4MPEG2 H4\n", "picture size"},
        {"YUV4MPEG2 W0 H4\n", "picture size"},
        {"YUV4MPEG2 W4 H4 F25:0\n", "bad frame rate"},
        {"RIFF....", "not a YUV4MPEG2 file"},
        {"", "no stream header"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        test::TempFile f(Bytes(c.text), ".y4m");
        Y4mReader r;
        EXPECT_FALSE(r.Open(f.Path()));
        EXPECT_NE(r.Error().find(c.message), std::string::npos) << r.Error();
    }
    test::TempFile bad(Bytes("YUV4MPEG2 W2 H2\nFRAME\n123456FRAMX\n123456"), ".y4m");
    Y4mReader r;
    ASSERT_TRUE(r.Open(bad.Path()));
    YuvPicture p;
    EXPECT_EQ(r.ReadFrame(p), 1);
    EXPECT_EQ(r.ReadFrame(p), -1);
    EXPECT_NE(r.Error().find("bad frame header after frame 1"), std::string::npos) << r.Error();
}

TEST(Y4m, WriterOutputReadsBack) {
    test::TempFile f({}, ".y4m");
    YuvPicture a;
    a.Allocate(5, 3);
    for (size_t i = 0; i < a.y.size(); ++i) a.y[i] = static_cast<uint8_t>(i * 7);
    a.u[1] = 9;
    a.v[5] = 200;
    Y4mWriter w;
    ASSERT_TRUE(w.Open(f.Path(), Y4mInfo{5, 3, 24, 1}));
    ASSERT_TRUE(w.WriteFrame(a));
    ASSERT_TRUE(w.Close());
    Y4mReader r;
    ASSERT_TRUE(r.Open(f.Path()));
    YuvPicture b;
    ASSERT_EQ(r.ReadFrame(b), 1);
    EXPECT_EQ(b.y, a.y);
    EXPECT_EQ(b.u, a.u);
    EXPECT_EQ(b.v, a.v);
    EXPECT_EQ(r.ReadFrame(b), 0);
}

}  // namespace
}  // namespace zarn
