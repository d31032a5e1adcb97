// The `zarn` program run as a user runs it: outputs that are pipes, FIFOs,
// symlinks, devices, full or read-only file systems and the inputs
// themselves; standard input; interruption after a known frame; the JSON of
// `zarn info` read back by a parser; open checks, help and version.
#include <fcntl.h>
#include <sndfile.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "encoder/container_writer.h"
#include "encoder/test_media.h"
#include "encoder/wav_reader.h"
#include "encoder/y4m.h"
#include "engine/movie.h"
#include "format/zarn_format.h"
#include "tests/support/run_program.h"
#include "tests/support/scripted_sound.h"
#include "tests/support/test_movies.h"

namespace zarn {
namespace {

namespace fs = std::filesystem;

test::ProgramResult Zarn(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                         const std::string* input = nullptr) {
    return test::RunProgram(ZARN_PATH, args, env, input);
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// A folder of the test's own, removed with everything in it.
struct Folder {
    std::string path;
    Folder() {
        char name[] = "/tmp/zarn-program-XXXXXX";
        path = ::mkdtemp(name) ? name : "/tmp";
    }
    ~Folder() { fs::remove_all(path); }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

// Temporary files the outputs left behind in a folder.
size_t Leftovers(const std::string& dir) {
    size_t n = 0;
    for (const auto& e : fs::directory_iterator(dir))
        n += e.path().filename().string().find(".zarn-") != std::string::npos;
    return n;
}

// A small tmpfs (full after a few kilobytes, or read-only) where the system
// lets the test mount one.
struct SmallMount {
    std::string path;
    bool mounted = false;
    SmallMount(const std::string& at, unsigned long flags) : path(at) {
        fs::create_directories(path);
        mounted = ::mount("tmpfs", path.c_str(), "tmpfs", flags, "size=24k") == 0;
    }
    ~SmallMount() {
        if (mounted) ::umount2(path.c_str(), MNT_DETACH);
    }
};

void WriteClip(const std::string& path, Clip clip, uint32_t w, uint32_t h, uint32_t frames,
               uint32_t rate = 25) {
    Y4mWriter out;
    ASSERT_TRUE(out.Open(path, Y4mInfo{w, h, rate, 1}));
    for (uint32_t i = 0; i < frames; ++i) ASSERT_TRUE(out.WriteFrame(MakeClipFrame(clip, w, h, i)));
    ASSERT_TRUE(out.Close());
}

// A clip and its video, with and without sound.
struct Media {
    Folder dir;
    std::string y4m = dir / "in.y4m", wav = dir / "in.wav", zrn = dir / "x.zrn", sound = dir / "sound.zrn";
    Media() {
        WriteClip(y4m, Clip::kDemo, 48, 32, 30, 10);
        EXPECT_TRUE(WriteWavFile(wav, MakeChord(11025, 2, 3.0)));
        EXPECT_EQ(Zarn({"encode", y4m, "-o", zrn}).exit_code, 0);
        EXPECT_EQ(Zarn({"encode", y4m, "--wav", wav, "-o", sound}).exit_code, 0);
    }
};

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(ZarnProgram, OutputsAreWrittenStraightOrReplacedWholeAndNeverOverAnInput) {
    Media m;
    const std::string video = ReadFile(m.zrn);
    ASSERT_FALSE(video.empty());
    // Standard output as "-" and as a descriptor name: the bytes reach the pipe.
    for (const char* out : {"-", "/proc/self/fd/1"}) {
        const test::ProgramResult r = Zarn({"encode", m.y4m, "-o", out});
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_TRUE(r.out == video) << out;
    }
    struct stat st {};
    ASSERT_EQ(::lstat("/dev/stdout", &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    // A FIFO is written into, never chmod'ed.
    const std::string fifo = m.dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string through_fifo;
    std::thread reader([&] { through_fifo = ReadFile(fifo); });
    const test::ProgramResult b = Zarn({"bundle", m.zrn, "-o", fifo, "--player", ZARN_PLAYER_PROBE});
    reader.join();
    EXPECT_EQ(b.exit_code, 0) << b.err;
    EXPECT_GT(through_fifo.size(), video.size());
    EXPECT_EQ(through_fifo.substr(through_fifo.size() - video.size()), video);
    EXPECT_EQ(ModeOf(fifo), 0600u);

    // A symlink stays and its target is replaced, keeping the target's mode;
    // new files honour the umask.
    const std::string target = m.dir / "target.zrn", link = m.dir / "link.zrn";
    WriteFile(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(::symlink("target.zrn", link.c_str()), 0);
    const mode_t old_mask = ::umask(027);
    EXPECT_EQ(Zarn({"encode", m.y4m, "-o", link}).exit_code, 0);
    EXPECT_EQ(Zarn({"encode", m.y4m, "-o", m.dir / "new.zrn"}).exit_code, 0);
    EXPECT_EQ(Zarn({"bundle", m.zrn, "-o", m.dir / "player", "--player", ZARN_PLAYER_PROBE}).exit_code, 0);
    ::umask(old_mask);
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_TRUE(ReadFile(target) == video);
    EXPECT_EQ(ModeOf(target), 0640u);
    EXPECT_EQ(ModeOf(m.dir / "new.zrn"), 0640u);
    EXPECT_EQ(ModeOf(m.dir / "player"), 0750u);

    // The input itself, directly or through a link, is refused before any work.
    const std::string y4m = ReadFile(m.y4m);
    ASSERT_EQ(::symlink("in.y4m", (m.dir / "in-link.y4m").c_str()), 0);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"encode", m.y4m, "-o", m.y4m},
          std::vector<std::string>{"encode", m.y4m, "-o", m.dir / "in-link.y4m"},
          std::vector<std::string>{"decode", m.zrn, "--y4m", m.zrn}}) {
        const test::ProgramResult r = Zarn(args);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_NE(r.err.find("is also an input"), std::string::npos) << r.err;
    }
    EXPECT_TRUE(ReadFile(m.y4m) == y4m);
    EXPECT_TRUE(ReadFile(m.zrn) == video);

    // An output that cannot be made is found before the input is read (here
    // the input breaks off in its last frame), named once with the reason.
    WriteFile(m.dir / "cut.y4m", y4m.substr(0, y4m.size() - 100));
    const std::string missing = m.dir / "no-such-folder/x.zrn";
    const test::ProgramResult early = Zarn({"encode", m.dir / "cut.y4m", "-o", missing});
    EXPECT_EQ(early.exit_code, 1);
    EXPECT_EQ(early.err, "zarn encode: cannot create " + missing + ": No such file or directory\n");
    const test::ProgramResult full = Zarn({"decode", m.zrn, "--y4m", "/dev/full"});
    EXPECT_EQ(full.exit_code, 1);
    EXPECT_EQ(full.err, "zarn decode: cannot write /dev/full: No space left on device\n");
    EXPECT_EQ(Zarn({"encode", m.y4m, "-o", "/dev/full"}).err,
              "zarn encode: cannot write /dev/full: No space left on device\n");
    EXPECT_EQ(Leftovers(m.dir.path), 0u);

    // A small full file system, and a read-only one.
    SmallMount small(m.dir / "small", 0), read_only(m.dir / "ro", MS_RDONLY);
    if (!small.mounted || !read_only.mounted)
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    const test::ProgramResult png = Zarn({"decode", m.zrn, "--png", small.path + "/png"});
    EXPECT_EQ(png.exit_code, 1);
    EXPECT_EQ(Count(png.err, "No space left on device"), 1u) << png.err;
    for (const auto& e : fs::directory_iterator(small.path + "/png"))
        EXPECT_GT(fs::file_size(e.path()), 0u) << e.path();
    EXPECT_EQ(Leftovers(small.path + "/png"), 0u);
    const test::ProgramResult bundle =
        Zarn({"bundle", m.zrn, "-o", small.path + "/player", "--player", ZARN_PLAYER_PROBE});
    EXPECT_EQ(bundle.exit_code, 1);
    EXPECT_NE(bundle.err.find("No space left on device"), std::string::npos) << bundle.err;
    EXPECT_FALSE(fs::exists(small.path + "/player"));
    EXPECT_EQ(Leftovers(small.path), 0u);
    const test::ProgramResult ro = Zarn({"encode", m.y4m, "-o", read_only.path + "/x.zrn"});
    EXPECT_EQ(ro.err, "zarn encode: cannot create " + read_only.path + "/x.zrn: Read-only file system\n");
}

uint32_t Le32(const std::string& b, size_t at) {
    auto u = [&](size_t i) { return uint32_t{static_cast<uint8_t>(b[at + i])}; };
    return u(0) | u(1) << 8 | u(2) << 16 | u(3) << 24;
}

// Every sample libsndfile reads from a pipe that carries `wav`.
std::string SamplesThroughPipe(const std::string& wav) {
    int fds[2];
    if (::pipe(fds) != 0) return "";
    std::thread writer([&] {
        ::write(fds[1], wav.data(), wav.size());
        ::close(fds[1]);
    });
    SF_INFO info{};
    SNDFILE* f = sf_open_fd(fds[0], SFM_READ, &info, 1);
    std::string samples;
    short block[4096];
    sf_count_t n;
    while (f && (n = sf_read_short(f, block, 4096)) > 0)
        samples.append(reinterpret_cast<const char*>(block), static_cast<size_t>(n) * 2);
    if (f)
        sf_close(f);
    else
        ::close(fds[0]);
    writer.join();
    return samples;
}

TEST(ZarnProgram, StandardInputAndOutputAndWavOnAPipe) {
    Media m;
    const std::string video = ReadFile(m.zrn), y4m = ReadFile(m.y4m);
    const test::ProgramResult info = Zarn({"info", "-"}, {}, &video);
    EXPECT_EQ(info.exit_code, 0) << info.err;
    EXPECT_NE(info.out.find("  version:        i\n"), std::string::npos) << info.out;
    const test::ProgramResult json = Zarn({"info", "--json", "/dev/stdin"}, {}, &video);
    EXPECT_EQ(json.exit_code, 0);
    const test::ProgramResult parsed = test::RunProgram(
        "/usr/bin/env",
        {"python3", "-c",
         "import json,sys; f=json.load(sys.stdin)[0]['format']; print(f['version'], f['frames'])"},
        {}, &json.out);
    EXPECT_EQ(parsed.out, "i 30\n") << json.out << parsed.err;

    const test::ProgramResult piped = Zarn({"decode", "-", "--y4m", "-"}, {}, &video);
    EXPECT_EQ(piped.exit_code, 0) << piped.err;
    EXPECT_EQ(Zarn({"decode", m.zrn, "--y4m", m.dir / "out.y4m"}).exit_code, 0);
    EXPECT_TRUE(piped.out == ReadFile(m.dir / "out.y4m"));
    const test::ProgramResult encoded = Zarn({"encode", "-", "-o", "-"}, {}, &y4m);
    EXPECT_EQ(encoded.exit_code, 0) << encoded.err;
    EXPECT_TRUE(encoded.out == video);

    // A WAV on a pipe says "to the end of the stream"; a file gets exact sizes.
    const test::ProgramResult wav = Zarn({"decode", m.sound, "--wav", "/dev/stdout"});
    EXPECT_EQ(wav.exit_code, 0) << wav.err;
    EXPECT_EQ(wav.err, "");
    ASSERT_GT(wav.out.size(), 44u);
    EXPECT_EQ(Le32(wav.out, 40), 0xFFFFFFFFu);
    ASSERT_EQ(Zarn({"decode", m.sound, "--wav", m.dir / "out.wav"}).exit_code, 0);
    const std::string file = ReadFile(m.dir / "out.wav");
    ASSERT_EQ(Le32(file, 40), file.size() - 44);
    const std::string samples = file.substr(44);
    EXPECT_TRUE(wav.out.substr(44) == samples);
    EXPECT_TRUE(SamplesThroughPipe(wav.out) == samples);
    if (access("/usr/bin/sox", X_OK) != 0) GTEST_SKIP() << "sox is not installed (scripts/install-deps.sh)";
    const test::ProgramResult sox =
        test::RunProgram("/usr/bin/sox", {"-t", "wav", "-", "-t", "raw", "-"}, {}, &wav.out);
    EXPECT_EQ(sox.exit_code, 0) << sox.err;
    EXPECT_TRUE(sox.out == samples) << sox.out.size() << " of " << samples.size();
}

TEST(ZarnProgram, InterruptionKeepsEveryOutputValid) {
    Media m;
    const std::string pngs = m.dir / "png";
    const test::ProgramResult d =
        Zarn({"decode", m.sound, "--y4m", m.dir / "o.y4m", "--wav", m.dir / "o.wav", "--png", pngs},
             {"ZARN_TEST_INTERRUPT_AFTER=3"});
    EXPECT_EQ(d.exit_code, 130);
    EXPECT_NE(d.err.find("kept the 3 frames"), std::string::npos) << d.err;
    Y4mReader y4m;
    ASSERT_TRUE(y4m.Open(m.dir / "o.y4m"));
    YuvPicture p;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(y4m.ReadFrame(p), 1);
    EXPECT_EQ(y4m.ReadFrame(p), 0) << y4m.Error();
    const std::string wav = ReadFile(m.dir / "o.wav");
    ASSERT_GT(wav.size(), 44u);
    EXPECT_EQ(Le32(wav, 4), wav.size() - 8);
    EXPECT_EQ(Le32(wav, 40), wav.size() - 44);
    for (int k = 1; k <= 4; ++k) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%05d.png", k);
        EXPECT_EQ(fs::exists(pngs + name), k <= 3) << name;
        if (k <= 3) {
            EXPECT_EQ(ReadFile(pngs + name).substr(1, 3), "PNG");
        }
    }
    EXPECT_EQ(Leftovers(pngs) + Leftovers(m.dir.path), 0u);

    // An interrupted encode is a whole video of the frames encoded so far.
    const std::string part = m.dir / "part.zrn";
    const test::ProgramResult e =
        Zarn({"encode", m.y4m, "--wav", m.wav, "-o", part}, {"ZARN_TEST_INTERRUPT_AFTER=4:TERM"});
    EXPECT_EQ(e.exit_code, 143);
    EXPECT_NE(e.err.find("kept the 4 frames"), std::string::npos) << e.err;
    const test::ProgramResult info = Zarn({"info", part});
    EXPECT_NE(info.out.find("  frames:         4\n"), std::string::npos) << info.out;
    const test::ProgramResult all =
        Zarn({"decode", part, "--y4m", m.dir / "p.y4m", "--wav", m.dir / "p.wav"});
    EXPECT_EQ(all.exit_code, 0) << all.err;

    // A second signal stops at once and leaves nothing behind.
    const test::ProgramResult twice =
        Zarn({"encode", m.y4m, "-o", m.dir / "never.zrn"}, {"ZARN_TEST_INTERRUPT_AFTER=2:TWICE"});
    EXPECT_EQ(twice.exit_code, 130);
    EXPECT_FALSE(fs::exists(m.dir / "never.zrn"));
    EXPECT_EQ(Leftovers(m.dir.path), 0u);
}

TEST(ZarnProgram, InfoJsonParsesForOddNamesTruncationAndOffsets) {
    Media m;
    const std::string video = ReadFile(m.zrn);
    const std::string odd = m.dir / "q\"uo\\te\tand\xff\xfe.zrn", cut = m.dir / "cut.zrn",
                      pack = m.dir / "pack.bin";
    WriteFile(odd, video);
    WriteFile(cut, video.substr(0, video.size() * 2 / 3));
    WriteFile(pack, std::string(1000, 'x') + video);
    const std::string at_offset = pack + "|1000";
    const test::ProgramResult r = Zarn({"info", "--json", m.zrn, odd, cut, at_offset, m.dir / "missing.zrn"});
    EXPECT_EQ(r.exit_code, 1);
    const char* script =
        "import json,sys\n"
        "for o in json.load(sys.stdin):\n"
        "  if 'error' in o: print('error', o['error']); continue\n"
        "  f = o['format']\n"
        "  print(f['version'], f['size'], f['header_size'], f['truncated'], f['densest_second_from_frame'],"
        " len(o['streams']), o['file'].endswith('and\\ufffd\\ufffd.zrn'))\n";
    const test::ProgramResult parsed =
        test::RunProgram("/usr/bin/env", {"python3", "-c", script}, {}, &r.out);
    ASSERT_EQ(parsed.exit_code, 0) << r.out << parsed.err;
    const test::ProgramResult text = Zarn({"info", m.zrn});
    const size_t from = text.out.find("densest second from frame ");
    ASSERT_NE(from, std::string::npos);
    const std::string densest = text.out.substr(from + 26, text.out.find(')', from) - from - 26);
    const std::string n = std::to_string(video.size()), part = std::to_string(video.size() * 2 / 3);
    EXPECT_EQ(parsed.out, "i " + n + " " + n + " False " + densest + " 1 False\n" + "i " + n + " " + n +
                              " False " + densest + " 1 True\n" + "i " + part + " " + n + " True " + densest +
                              " 1 False\n" + "i " + n + " " + n + " False " + densest + " 1 False\n" +
                              "error cannot open: No such file or directory\n");

    const test::ProgramResult truncated = Zarn({"info", cut});
    EXPECT_EQ(truncated.exit_code, 0);
    EXPECT_NE(truncated.out.find("  truncated: " + part + " of " + n + " bytes\n"), std::string::npos)
        << truncated.out;
    EXPECT_EQ(Zarn({"decode", at_offset, "--y4m", m.dir / "a.y4m"}).exit_code, 0);
    EXPECT_EQ(Zarn({"decode", m.zrn, "--y4m", m.dir / "b.y4m"}).exit_code, 0);
    EXPECT_TRUE(ReadFile(m.dir / "a.y4m") == ReadFile(m.dir / "b.y4m"));
}

TEST(ZarnProgram, OpenRefusesAZeroFrameRateAndZeroHertzTracksAreNotPlayed) {
    Folder dir;
    test::MovieRecipe recipe;
    recipe.rate_num = 0;
    WriteFile(dir / "zero-rate.zrn", [&] {
        const auto b = test::BuildMovie(recipe);
        return std::string(b.begin(), b.end());
    }());
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"info", dir / "zero-rate.zrn"},
          std::vector<std::string>{"decode", dir / "zero-rate.zrn", "--y4m", "-"}}) {
        const test::ProgramResult r = Zarn(args);
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.err, "zarn " + args[0] + ": " + dir / "zero-rate.zrn" + ": Corrupt Zarn file.\n");
    }

    recipe.rate_num = 25;
    recipe.tracks = {test::StereoTrack(0, 4096, 7)};
    recipe.audio_bytes = 16;
    recipe.decoded_bytes = 64;
    const std::vector<uint8_t> bytes = test::BuildMovie(recipe);
    const std::string silent = dir / "zero-hz.zrn";
    WriteFile(silent, std::string(bytes.begin(), bytes.end()));
    const test::ProgramResult info = Zarn({"info", silent});
    EXPECT_EQ(info.exit_code, 0);
    EXPECT_NE(
        info.out.find(
            "ID 7, 0 Hz, 2 channels, 16 bits, buffer 4096 bytes, not played: its sample rate is 0 Hz\n"),
        std::string::npos)
        << info.out;
    const test::ProgramResult wav = Zarn({"decode", silent, "--wav", dir / "x.wav"});
    EXPECT_EQ(wav.exit_code, 1);
    EXPECT_NE(wav.err.find("cannot be decoded: its sample rate is 0 Hz"), std::string::npos) << wav.err;
    EXPECT_FALSE(fs::exists(dir / "x.wav"));
    test::ScriptedSound sound;
    ASSERT_TRUE(sound.Install());
    Movie* movie = OpenMovie(silent.c_str(), kFlagNoThread);
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->sound_on, 0u);
    EXPECT_EQ(sound.opens.load(), 0);
    CloseMovie(movie);
}

TEST(ZarnProgram, HelpListsEveryCommandAndOptionAndVersionIsTheProjects) {
    const test::ProgramResult bare = Zarn({});
    EXPECT_EQ(bare.exit_code, 2);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"help"}, std::vector<std::string>{"--help"}}) {
        const test::ProgramResult r = Zarn(args);
        EXPECT_EQ(r.exit_code, 0);
        for (const std::string& text : {bare.err, r.out})
            for (const char* command : {"info", "decode", "encode", "bundle"})
                EXPECT_NE(text.find("  " + std::string(command) + " "), std::string::npos)
                    << command << " in\n"
                    << text;
    }
    const test::ProgramResult version = Zarn({"--version"});
    EXPECT_EQ(version.exit_code, 0);
    EXPECT_EQ(version.out, std::string("zarn ") + ZARN_EXPECTED_VERSION + "\n");

    const std::vector<std::pair<std::string, std::vector<std::string>>> options = {
        {"decode",
         {"--y4m", "--alpha", "--wav", "--track", "--raw", "--copy-format", "--changed", "--plain", "--mode",
          "--png", "--frames", "--threads", "0 8-bit palette", "1 BGR 24-bit", "10 RGB 565", "13 YUY2",
          "15 YV12"}},
        {"encode",
         {"-o", "--wav", "--quality", "--keyint", "--version", "--alpha", "--grey", "--threads", "--psnr"}},
        {"info", {"--json", "FILE|N", "numbered from 1"}},
        {"bundle", {"-o", "--switches", "--player"}}};
    for (const auto& [command, list] : options) {
        const test::ProgramResult r = Zarn({command, "--help"});
        EXPECT_EQ(r.exit_code, 0);
        for (const std::string& option : list)
            EXPECT_NE(r.out.find(option), std::string::npos) << command << " " << option;
    }
}

// The thumbnailer entry's Exec line as a file manager runs it: split into
// words, the placeholders for size, input and output replaced, the program
// found by name (here: the one just built).
TEST(ZarnProgram, ThumbnailerEntryWritesAPictureFittedToTheAskedSize) {
    const std::string entry = ReadFile(ZARN_THUMBNAILER_ENTRY);
    const size_t exec_at = entry.find("\nExec=");
    ASSERT_NE(exec_at, std::string::npos) << entry;
    std::istringstream exec(entry.substr(exec_at + 6, entry.find('\n', exec_at + 1) - exec_at - 6));
    const Media m;  // 48 x 32
    for (const uint32_t size : {30u, 96u}) {
        const std::string out = m.dir / ("thumb-" + std::to_string(size) + ".png");
        std::vector<std::string> words;
        exec.clear();
        exec.seekg(0);
        for (std::string word; exec >> word;) {
            if (word == "%s") word = std::to_string(size);
            if (word == "%i") word = m.zrn;
            if (word == "%o") word = out;
            words.push_back(word);
        }
        ASSERT_GE(words.size(), 2u);
        ASSERT_EQ(words[0], "zarn");
        words.erase(words.begin());
        const test::ProgramResult r = Zarn(words);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        const std::string png = ReadFile(out);
        ASSERT_GE(png.size(), 24u);
        EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
        auto be32 = [&](size_t at) {
            return uint32_t(uint8_t(png[at])) << 24 | uint32_t(uint8_t(png[at + 1])) << 16 |
                   uint32_t(uint8_t(png[at + 2])) << 8 | uint32_t(uint8_t(png[at + 3]));
        };
        EXPECT_EQ(be32(16), size) << "the longer side is the asked size";
        EXPECT_EQ(be32(20), size * 2 / 3) << "the aspect is kept";
    }
}

}  // namespace
}  // namespace zarn
