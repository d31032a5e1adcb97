// `zarn decode` against the engine run directly: Y4M layout and chroma
// order, frame limits, sound byte for byte, frame copies, PNG files, alpha
// planes and damaged files.
#include "tools/decode_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "audio/audio_decoder.h"
#include "convert/copy_flags.h"
#include "convert/copy_frame.h"
#include "encoder/encode_file.h"
#include "encoder/test_media.h"
#include "encoder/y4m.h"
#include "engine/frame_control.h"
#include "engine/movie.h"
#include "tests/support/temp_file.h"

namespace zarn {
namespace {

std::vector<uint8_t> EncodeClip(Clip clip, uint32_t w, uint32_t h, uint32_t frames, char version,
                                const std::vector<PcmTrack>& tracks = {}, bool alpha = false) {
    uint32_t next = 0, next_alpha = 0;
    PictureSource src;
    src.width = w;
    src.height = h;
    src.next = [=, &next](YuvPicture& p, std::string&) {
        if (next >= frames) return 0;
        p = MakeClipFrame(clip, w, h, next++);
        return 1;
    };
    PictureSource alpha_src = src;
    alpha_src.next = [=, &next_alpha](YuvPicture& p, std::string&) {
        if (next_alpha >= frames) return 0;
        p = MakeClipFrame(Clip::kScrollingText, w, h, next_alpha++);
        return 1;
    };
    EncodeSettings settings;
    settings.version = version;
    settings.quality = 90;
    EncodeResult r = EncodeMovie(src, alpha ? &alpha_src : nullptr, tracks, settings);
    EXPECT_EQ(r.error, "");
    return r.image;
}

struct DecodeRun {
    int status;
    std::string out, err;
};

DecodeRun Decode(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int status = RunDecodeCommand(args, out, err);
    return {status, out.str(), err.str()};
}

std::vector<uint8_t> ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

std::string OutPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("zarn-decode-test-" + name)).string();
}

// Frame buffers copied after each DoFrame of a movie opened directly.
struct EngineFrames {
    uint32_t flags = 0;
    uint32_t luma_width = 0, luma_height = 0;
    std::vector<std::vector<uint8_t>> frames;
};

EngineFrames DecodeWithEngine(const std::string& path) {
    EngineFrames e;
    Movie* m = OpenMovie(path.c_str(), kFlagNoThread);
    if (!m) return e;
    e.flags = m->flags;
    e.luma_width = m->luma_width;
    e.luma_height = m->luma_height;
    for (uint32_t i = 0; i < m->frame_count; ++i) {
        if (DoFrame(m) != 0) break;
        const uint8_t* f = m->frame_buffers[m->current_buffer];
        e.frames.emplace_back(f, f + FrameBufferBytes(*m));
        NextFrame(m);
    }
    CloseMovie(m);
    return e;
}

std::vector<YuvPicture> ReadY4m(const std::string& path, Y4mInfo& info) {
    Y4mReader reader;
    std::vector<YuvPicture> pictures;
    if (!reader.Open(path)) return pictures;
    info = reader.Info();
    YuvPicture p;
    while (reader.ReadFrame(p) == 1) pictures.push_back(p);
    return pictures;
}

TEST(DecodeCommand, Y4mHoldsTheEngineFramesWithCbFirstForEveryVersion) {
    for (char version : {'i', 'h', 'g', 'f'}) {
        SCOPED_TRACE(version);
        const uint32_t w = 37, h = 21;
        test::TempFile in(EncodeClip(Clip::kGradients, w, h, 5, version));
        const std::string out = OutPath("odd.y4m");
        const DecodeRun r = Decode({in.Path(), "--y4m", out});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<uint8_t> bytes = ReadAll(out);
        const std::string header = "YUV4MPEG2 W37 H21 F25:1 Ip A1:1 C420jpeg\nFRAME\n";
        ASSERT_GE(bytes.size(), header.size());
        EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + header.size()), header);
        const size_t frame_bytes = 6 + w * h + 2 * 19 * 11;
        EXPECT_EQ(bytes.size(), header.size() - 6 + 5 * frame_bytes);

        Y4mInfo info;
        const std::vector<YuvPicture> pics = ReadY4m(out, info);
        const EngineFrames e = DecodeWithEngine(in.Path());
        ASSERT_EQ(pics.size(), 5u);
        ASSERT_EQ(e.frames.size(), 5u);
        const uint32_t lw = e.luma_width, cw = lw / 2;
        const bool first_u = (e.flags & kFlagVersionFG) != 0;
        EXPECT_EQ(first_u, version == 'f' || version == 'g');
        for (size_t k = 0; k < pics.size(); ++k) {
            const uint8_t* f = e.frames[k].data();
            const uint8_t* first = f + size_t{lw} * e.luma_height;
            const uint8_t* second = first + size_t{cw} * (e.luma_height / 2);
            EXPECT_EQ(PlanePsnr(pics[k].y.data(), w, f, lw, w, h), 99.0);
            EXPECT_EQ(PlanePsnr(pics[k].u.data(), 19, first_u ? first : second, cw, 19, 11), 99.0);
            EXPECT_EQ(PlanePsnr(pics[k].v.data(), 19, first_u ? second : first, cw, 19, 11), 99.0);
            // Independent of the decoder's order: U is close to the source's Cb.
            const YuvPicture src = MakeClipFrame(Clip::kGradients, w, h, static_cast<uint32_t>(k));
            const double to_u = PlanePsnr(pics[k].u.data(), 19, src.u.data(), 19, 19, 11);
            const double to_v = PlanePsnr(pics[k].u.data(), 19, src.v.data(), 19, 19, 11);
            EXPECT_GT(to_u, 30.0);
            EXPECT_GT(to_u, to_v + 3.0);
        }
        std::remove(out.c_str());
    }
}

TEST(DecodeCommand, FramesLimitsEveryOutputAndUsageErrorsExitTwo) {
    test::TempFile in(EncodeClip(Clip::kPanZoom, 32, 16, 6, 'i'));
    const std::string out = OutPath("limit.y4m"), raw = OutPath("limit.raw");
    const DecodeRun r =
        Decode({in.Path(), "--y4m", out, "--raw", raw, "--copy-format", "3", "--frames", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    Y4mInfo info;
    EXPECT_EQ(ReadY4m(out, info).size(), 2u);
    EXPECT_EQ(ReadAll(raw).size(), 2u * 32 * 16 * 4);
    std::remove(out.c_str());
    std::remove(raw.c_str());

    EXPECT_EQ(Decode({in.Path()}).status, 2);                // no output
    EXPECT_EQ(Decode({in.Path(), "--raw", raw}).status, 2);  // no format
    EXPECT_EQ(Decode({in.Path(), "--raw", raw, "--copy-format", "16"}).status, 2);
    EXPECT_EQ(Decode({in.Path(), "--y4m", out, "--frames", "x"}).status, 2);
    EXPECT_EQ(Decode({in.Path(), "--y4m", out, "--bogus"}).status, 2);
    EXPECT_EQ(Decode({in.Path(), "--y4m", out, "--raw", out, "--copy-format", "3"}).status, 2);
    const DecodeRun help = Decode({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--copy-format"), std::string::npos);
}

// What the engine queues for track `index`, every block kept.
std::vector<uint8_t> QueuedAudio(const std::string& path, uint32_t index) {
    std::vector<uint8_t> pcm_bytes;
    Movie* m = OpenMovie(path.c_str(), kFlagNoThread);
    if (!m) return pcm_bytes;
    const uint32_t format = m->track_format[index];
    AudioDecoder* d = CreateAudioDecoder(format & 0xFFFF, (format & 0x20000000) ? 2 : 1, 1);
    auto u32 = [](const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t{p[3]} << 24; };
    for (uint32_t i = 0; i < m->frame_count && DoFrame(m) == 0; ++i) {
        const uint8_t* p = m->packet;
        for (uint32_t t = 0; t <= index; ++t) {
            const uint32_t length = u32(p);
            if (t == index && length >= 4) {
                uint32_t due = u32(p + 4);
                const uint8_t* data = p + 8;
                while (due > 0) {
                    const int16_t* pcm = nullptr;
                    uint32_t bytes = 0;
                    DecodeAudioBlock(d, &pcm, &bytes, data, p + 4 + length, &data);
                    if (bytes == 0) break;
                    const uint32_t n = std::min(bytes, due);
                    const uint8_t* b = reinterpret_cast<const uint8_t*>(pcm);
                    pcm_bytes.insert(pcm_bytes.end(), b, b + n);
                    due -= n;
                }
            }
            p += 4 + length;
        }
        NextFrame(m);
    }
    FreeAudioDecoder(d);
    CloseMovie(m);
    return pcm_bytes;
}

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24;
}

TEST(DecodeCommand, WavHoldsExactlyWhatTheEngineQueuesForTheChosenTrack) {
    const std::vector<PcmTrack> tracks = {MakeChord(11025, 1, 0.5), MakeSineSweep(22050, 2, 0.5)};
    test::TempFile in(EncodeClip(Clip::kGradients, 16, 16, 13, 'i', tracks));
    Movie* m = OpenMovie(in.Path().c_str(), kFlagNoThread);
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(m->audio_tracks, 2u);
    const uint32_t second_id = m->track_id[1];
    CloseMovie(m);

    struct Case {
        std::vector<std::string> extra;
        uint32_t index, rate, channels;
    };
    for (const Case& c : {Case{{}, 0, 11025, 1}, Case{{"--track", std::to_string(second_id)}, 1, 22050, 2}}) {
        SCOPED_TRACE(c.index);
        const std::string wav = OutPath("sound.wav");
        std::vector<std::string> args = {in.Path(), "--wav", wav};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const DecodeRun r = Decode(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<uint8_t> b = ReadAll(wav);
        ASSERT_GE(b.size(), 44u);
        EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
        EXPECT_EQ(Le32(b, 4), b.size() - 8);
        EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
        EXPECT_EQ(b[22], c.channels);
        EXPECT_EQ(Le32(b, 24), c.rate);
        EXPECT_EQ(Le32(b, 28), c.rate * c.channels * 2);
        EXPECT_EQ(b[34], 16);
        EXPECT_EQ(Le32(b, 40), b.size() - 44);
        const std::vector<uint8_t> expected = QueuedAudio(in.Path(), c.index);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(b.size() - 44, expected.size());
        EXPECT_TRUE(std::equal(b.begin() + 44, b.end(), expected.begin(), expected.end()));
        // Nothing dropped: about as long as the sound that went in.
        const double input_bytes = 2.0 * tracks[c.index].samples.size();
        EXPECT_NEAR(static_cast<double>(b.size() - 44), input_bytes, input_bytes * 0.2);
        std::remove(wav.c_str());
    }
    const DecodeRun unknown = Decode({in.Path(), "--wav", OutPath("x.wav"), "--track", "4000000"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("no audio track with ID 4000000"), std::string::npos) << unknown.err;
    std::remove(OutPath("x.wav").c_str());

    test::TempFile silent(EncodeClip(Clip::kGradients, 16, 16, 2, 'i'));
    const DecodeRun none = Decode({silent.Path(), "--wav", OutPath("y.wav")});
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("has no audio tracks"), std::string::npos) << none.err;
}

TEST(DecodeCommand, RawFramesEqualTheFrameCopyOfEachDecodedFrame) {
    const uint32_t w = 30, h = 18, frames = 3;
    test::TempFile in(EncodeClip(Clip::kPanZoom, w, h, frames, 'i'));
    const EngineFrames e = DecodeWithEngine(in.Path());
    ASSERT_EQ(e.frames.size(), frames);
    struct Case {
        uint32_t format;
        size_t frame_bytes;
        int32_t pitch;
        bool plain;
    };
    for (const Case& c :
         {Case{kFormatBgr24, w * h * 3, w * 3, false}, Case{kFormatRgb565, w * h * 2, w * 2, true},
          Case{kFormatYv12, w * h + 2 * (w / 2) * (h / 2), w, false}}) {
        SCOPED_TRACE(c.format);
        const std::string raw = OutPath("frames.raw");
        std::vector<std::string> args = {in.Path(), "--raw", raw, "--copy-format", std::to_string(c.format)};
        if (c.plain) args.push_back("--plain");
        const DecodeRun r = Decode(args);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<uint8_t> got = ReadAll(raw);
        ASSERT_EQ(got.size(), frames * c.frame_bytes);
        for (uint32_t k = 0; k < frames; ++k) {
            std::vector<uint8_t> marks(((e.luma_width / 16) * (e.luma_height / 16)) + 1, 1);
            marks.back() = 0;
            FrameSource s{e.frames[k].data(),
                          nullptr,
                          marks.data(),
                          e.luma_width / 16,
                          static_cast<uint32_t>(marks.size() - 1),
                          w,
                          h,
                          e.luma_width,
                          e.luma_height};
            std::vector<uint8_t> want(c.frame_bytes, 0);
            uint32_t flags = c.format | kCopyWholeFrame | (c.plain ? kCopyForcePlain : 0);
            CopyFrame(s, want.data(), c.pitch, h, 0, 0, MergeCopyFlags(flags, e.flags));
            EXPECT_TRUE(std::equal(want.begin(), want.end(), got.begin() + k * c.frame_bytes))
                << "frame " << k;
        }
        std::remove(raw.c_str());
    }
    // A display option doubles the output: a quarter of the bytes per pixel count.
    const std::string raw = OutPath("doubled.raw");
    const DecodeRun r =
        Decode({in.Path(), "--raw", raw, "--copy-format", "4", "--mode", "1", "--frames", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    const size_t size = ReadAll(raw).size();
    EXPECT_GT(size, size_t{w} * h * 4);
    EXPECT_EQ(size % (w * 4), 0u);
    std::remove(raw.c_str());
}

TEST(DecodeCommand, PngFilesAreWrittenIntoANewDirectory) {
    test::TempFile in(EncodeClip(Clip::kDemo, 41, 23, 4, 'i'));
    const std::string dir = OutPath("png-dir");
    std::filesystem::remove_all(dir);
    const DecodeRun r = Decode({in.Path(), "--png", dir, "--frames", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (int k = 1; k <= 4; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%05d.png", k);
        const std::vector<uint8_t> b = ReadAll(dir + name);
        if (k == 4) {
            EXPECT_TRUE(b.empty());
            continue;
        }
        ASSERT_GE(b.size(), 33u) << name;
        const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        EXPECT_TRUE(std::equal(signature, signature + 8, b.begin()));
        EXPECT_EQ(std::string(b.begin() + 12, b.begin() + 16), "IHDR");
        auto be32 = [&](size_t at) {
            return uint32_t{b[at]} << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
        };
        EXPECT_EQ(be32(16), 41u);
        EXPECT_EQ(be32(20), 23u);
        EXPECT_EQ(b[24], 8);  // bit depth
        EXPECT_EQ(b[25], 2);  // RGB
    }
    std::filesystem::remove_all(dir);
}

TEST(DecodeCommand, AlphaPlanesWhenTheFileHasThem) {
    test::TempFile with(EncodeClip(Clip::kGradients, 24, 20, 3, 'i', {}, true));
    const std::string out = OutPath("alpha.y");
    const DecodeRun r = Decode({with.Path(), "--alpha", out});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<uint8_t> a = ReadAll(out);
    ASSERT_EQ(a.size(), 3u * 24 * 20);
    // The alpha source is drawn text: close to it after coding.
    for (uint32_t k = 0; k < 3; ++k) {
        const YuvPicture src = MakeClipFrame(Clip::kScrollingText, 24, 20, k);
        EXPECT_GT(PlanePsnr(a.data() + k * 24 * 20, 24, src.y.data(), 24, 24, 20), 25.0);
    }
    std::remove(out.c_str());

    test::TempFile without(EncodeClip(Clip::kGradients, 24, 20, 1, 'i'));
    const DecodeRun no = Decode({without.Path(), "--alpha", out});
    EXPECT_EQ(no.status, 1);
    EXPECT_NE(no.err.find("has no alpha plane"), std::string::npos) << no.err;
    std::remove(out.c_str());
}

// A file with an alpha plane, whole and with bits flipped in its later
// packets: --threads 2 writes the bytes of the default.
TEST(DecodeCommand, TwoThreadsWriteTheBytesOfOne) {
    std::vector<uint8_t> image = EncodeClip(Clip::kSceneCut, 75, 41, 8, 'i', {}, true);
    for (int damaged = 0; damaged < 2; ++damaged) {
        if (damaged)
            for (size_t i = image.size() / 2; i < image.size(); i += 97) image[i] ^= 0x10;
        test::TempFile in(image);
        const std::string y4m[2] = {OutPath("one.y4m"), OutPath("two.y4m")};
        const std::string alpha[2] = {OutPath("one.y"), OutPath("two.y")};
        const DecodeRun one = Decode({in.Path(), "--y4m", y4m[0], "--alpha", alpha[0]});
        const DecodeRun two = Decode({in.Path(), "--y4m", y4m[1], "--alpha", alpha[1], "--threads", "2"});
        ASSERT_EQ(one.status, 0) << one.err;
        EXPECT_EQ(two.status, 0) << two.err;
        EXPECT_GT(ReadAll(y4m[0]).size(), 8u * 75 * 41);
        EXPECT_TRUE(ReadAll(y4m[0]) == ReadAll(y4m[1]));
        EXPECT_TRUE(ReadAll(alpha[0]) == ReadAll(alpha[1]));
        for (const std::string& f : {y4m[0], y4m[1], alpha[0], alpha[1]}) std::remove(f.c_str());
    }
    test::TempFile in(image);
    for (const char* bad : {"0", "3", "x"})
        EXPECT_EQ(Decode({in.Path(), "--y4m", OutPath("bad.y4m"), "--threads", bad}).status, 2) << bad;
    EXPECT_NE(Decode({"--help"}).out.find("--threads N"), std::string::npos);
}

TEST(DecodeCommand, DamagedFilesExitOneKeepingTheFramesDecoded) {
    std::vector<uint8_t> image = EncodeClip(Clip::kNoise, 32, 32, 100, 'i');
    image.resize(image.size() * 3 / 4);
    test::TempFile in(image);
    const std::string out = OutPath("cut.y4m");
    std::remove(out.c_str());
    const DecodeRun r = Decode({in.Path(), "--y4m", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(r.err.empty());
    ASSERT_NE(r.err.find("read error"), std::string::npos) << r.err;
    Y4mInfo info;
    const size_t kept = ReadY4m(out, info).size();
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, 100u);
    EXPECT_NE(r.err.find("kept the " + std::to_string(kept) + " frames"), std::string::npos) << r.err;
    std::remove(out.c_str());

    const std::vector<uint8_t> junk(100, 0x5A);
    test::TempFile bad(junk);
    const DecodeRun open = Decode({bad.Path(), "--y4m", out});
    EXPECT_EQ(open.status, 1);
    EXPECT_NE(open.err.find(bad.Path()), std::string::npos);
    std::remove(out.c_str());
}

}  // namespace
}  // namespace zarn

namespace zarn {
namespace {

// Frames after which some macroblock was left unmarked: where a copy of the
// changed blocks alone differs in its work from a whole-frame copy.
uint32_t FramesWithUnchangedBlocks(const std::string& path) {
    uint32_t count = 0;
    Movie* m = OpenMovie(path.c_str(), kFlagNoThread);
    if (!m) return 0;
    for (uint32_t i = 0; i < m->frame_count && DoFrame(m) == 0; ++i) {
        count += std::memchr(m->block_marks, 0, m->mb_count) != nullptr;
        NextFrame(m);
    }
    CloseMovie(m);
    return count;
}

TEST(DecodeCommand, ChangedBlockCopiesEqualWholeFrameCopiesForEveryFormat) {
    struct Case {
        Clip clip;
        char version;
        const char* mode;
    };
    for (const Case& c : {Case{Clip::kSceneCut, 'i', "0"}, Case{Clip::kPanZoom, 'h', "0"},
                          Case{Clip::kPanZoom, 'f', "1"}, Case{Clip::kSceneCut, 'g', "4"}}) {
        SCOPED_TRACE(std::string(1, c.version) + " mode " + c.mode);
        test::TempFile in(EncodeClip(c.clip, 40, 36, 24, c.version));
        ASSERT_GT(FramesWithUnchangedBlocks(in.Path()), 0u);
        for (uint32_t format = 1; format <= 14; ++format) {
            SCOPED_TRACE(format);
            const std::string whole = OutPath("whole.raw"), changed = OutPath("changed.raw");
            const std::vector<std::string> args = {in.Path(), "--copy-format", std::to_string(format),
                                                   "--mode", c.mode};
            std::vector<std::string> a = args, b = args;
            a.insert(a.end(), {"--raw", whole});
            b.insert(b.end(), {"--raw", changed, "--changed"});
            ASSERT_EQ(Decode(a).status, 0);
            const DecodeRun r = Decode(b);
            ASSERT_EQ(r.status, 0) << r.err;
            const std::vector<uint8_t> want = ReadAll(whole);
            ASSERT_FALSE(want.empty());
            EXPECT_TRUE(want == ReadAll(changed));
            std::remove(whole.c_str());
            std::remove(changed.c_str());
        }
    }
    test::TempFile in(EncodeClip(Clip::kDemo, 16, 16, 2, 'i'));
    for (const char* format : {"0", "15"})
        EXPECT_EQ(Decode({in.Path(), "--raw", OutPath("x.raw"), "--copy-format", format, "--changed"}).status,
                  2);
}

}  // namespace
}  // namespace zarn
