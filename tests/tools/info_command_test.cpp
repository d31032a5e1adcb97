#include "tools/info_command.h"

#include <gtest/gtest.h>

#include <sstream>

#include "encoder/container_writer.h"
#include "tests/support/temp_file.h"

namespace zarn {
namespace {

std::vector<uint8_t> TwoTrackFile() {
    ContainerSpec spec;
    spec.version = 'g';
    spec.width = 320;
    spec.height = 240;
    spec.rate_num = 30000;
    spec.rate_den = 1001;
    spec.video_flags = (3u << 28) | kVideoFlagGreyScale;
    spec.tracks = {{8192, 44100 | kTrackFormatStereo | kTrackFormatSixteenBit | kTrackFormatAudio, 10},
                   {2048, 11025, 11}};
    ContainerWriter w(spec);
    for (int i = 0; i < 4; ++i) {
        FramePacket f;
        f.video.assign(100 + 10 * i, 0);
        f.key = i % 2 == 0;
        w.AddFrame(f);
    }
    return w.Build();
}

struct InfoRun {
    int status;
    std::string out, err;
};

InfoRun Info(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunInfoCommand(args, out, err);
    return {status, out.str(), err.str()};
}

TEST(InfoCommand, PrintsWhatOpenLearned) {
    test::TempFile f(TwoTrackFile());
    const InfoRun r = Info({f.Path()});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    for (const char* line :
         {"  version:        g\n", "  picture:        320 x 240\n",
          "  output:         640 x 240 (display option 3)\n", "  frames:         4\n",
          "  frame rate:     30000/1001 (29.970 frames/sec)\n", "  key frames:     2\n",
          "  largest frame:  138 bytes\n", "  grey-scale:     yes\n", "  audio tracks:   2\n",
          "    track 0: ID 10, 44100 Hz, 2 channels, 16 bits, buffer 8192 bytes\n",
          "    track 1: ID 11, 11025 Hz, 1 channel, 8 bits, buffer 2048 bytes, no audio\n"}) {
        EXPECT_NE(r.out.find(line), std::string::npos) << line << "\nin:\n" << r.out;
    }
}

TEST(InfoCommand, FailingFileGivesItsErrorAndExitCodeOne) {
    test::TempFile good(TwoTrackFile());
    std::vector<uint8_t> bytes = TwoTrackFile();
    bytes[0] = 'X';
    test::TempFile bad(bytes);
    const InfoRun r = Info({good.Path(), bad.Path()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "zarn info: " + bad.Path() + ": Not a Zarn file.\n");
    EXPECT_NE(r.out.find(good.Path()), std::string::npos);
}

TEST(InfoCommand, JsonHoldsEveryFileAndUsageErrors) {
    test::TempFile f(TwoTrackFile());
    const InfoRun r = Info({"--json", f.Path(), "/no/such/file.zrn"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.front(), '[');
    EXPECT_NE(r.out.find("\"rate_num\": 30000, \"rate_den\": 1001"), std::string::npos);
    EXPECT_NE(r.out.find("{\"id\": 11, \"rate\": 11025, \"channels\": 1, \"bits\": 8"), std::string::npos);
    EXPECT_NE(r.out.find("\"error\": \"cannot open: No such file or directory\""), std::string::npos);

    EXPECT_EQ(Info({"--help"}).status, 0);
    EXPECT_EQ(Info({}).status, 2);
    EXPECT_EQ(Info({"--bogus", f.Path()}).status, 2);
}

}  // namespace
}  // namespace zarn
