#include "engine/file_reader.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/temp_file.h"
#include "tests/support/test_clock.h"

namespace zarn {
namespace {

std::vector<uint8_t> Pattern(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
    return v;
}

// A reader over `bytes` with a ring of `ring` bytes.
struct ReaderFixture {
    explicit ReaderFixture(const std::vector<uint8_t>& bytes, uint32_t ring, uint32_t speed = 0)
        : file(bytes), data(bytes), buffer(ring) {
        ReaderSource s;
        s.name = file.Path().c_str();
        ok = ReaderOpen(&r, s, 0);
        r.set_buffer(&r, ring ? buffer.data() : nullptr, ring, static_cast<uint32_t>(bytes.size()), speed);
    }
    ~ReaderFixture() { r.close(&r); }

    std::vector<uint8_t> ReadFrame(uint32_t position, uint32_t n) {
        std::vector<uint8_t> out(n);
        out.resize(r.read_frame(&r, 0, position, out.data(), n));
        return out;
    }
    std::vector<uint8_t> Expected(uint32_t position, uint32_t n) {
        return {data.begin() + position, data.begin() + position + n};
    }

    test::TempFile file;
    std::vector<uint8_t> data;
    std::vector<uint8_t> buffer;
    FileReader r;
    bool ok = false;
};

TEST(FileReader, FillsTheRingInChunksAndReadsOnWithoutSeeking) {
    ReaderFixture f(Pattern(5 * 4096 + 100), 3 * 4096);
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.r.step(&f.r), 4096);
    EXPECT_EQ(f.r.step(&f.r), 4096);
    EXPECT_EQ(f.r.step(&f.r), 4096);
    EXPECT_EQ(f.r.step(&f.r), 0);  // ring full
    EXPECT_EQ(f.r.held.load(), 3u * 4096);
    EXPECT_EQ(f.r.highest_held.load(), 3u * 4096);

    EXPECT_EQ(f.ReadFrame(0, 1000), f.Expected(0, 1000));
    EXPECT_EQ(f.ReadFrame(1000, 5000), f.Expected(1000, 5000));
    EXPECT_EQ(f.r.stream_pos, 6000u);
    EXPECT_EQ(f.r.held.load(), 3u * 4096 - 6000);
    EXPECT_EQ(f.r.total_bytes.load(), 3u * 4096);  // nothing read straight from the file

    // The freed space takes the next chunk; the ring wraps.
    EXPECT_EQ(f.r.step(&f.r), 4096);
    EXPECT_EQ(f.ReadFrame(kReaderContinue, 6000), f.Expected(6000, 6000));
}

TEST(FileReader, SkipsInsideTheRingAndSeeksBehindTheStream) {
    ReaderFixture f(Pattern(6 * 4096), 4 * 4096);
    for (int i = 0; i < 4; ++i) f.r.step(&f.r);
    EXPECT_EQ(f.ReadFrame(100, 50), f.Expected(100, 50));
    // Skip forward inside the ring: no file read.
    EXPECT_EQ(f.ReadFrame(9000, 100), f.Expected(9000, 100));
    EXPECT_EQ(f.r.total_bytes.load(), 4u * 4096);
    EXPECT_EQ(f.r.held.load(), 4u * 4096 - 9100);
    // Behind the stream: the ring empties and the file is read from there.
    EXPECT_EQ(f.ReadFrame(10, 20), f.Expected(10, 20));
    EXPECT_EQ(f.r.held.load(), 0u);
    EXPECT_EQ(f.r.free.load(), 4u * 4096);
    EXPECT_EQ(f.r.stream_pos, 30u);
    EXPECT_EQ(f.r.total_bytes.load(), 4u * 4096 + 20);
}

TEST(FileReader, LastPartialChunkComesStraightFromTheFile) {
    const uint32_t size = 3 * 4096 + 1000;
    ReaderFixture f(Pattern(size), 8 * 4096);
    while (f.r.step(&f.r) > 0) {
    }
    EXPECT_EQ(f.r.held.load(), 3u * 4096);  // the last 1000 bytes are never read ahead
    EXPECT_EQ(f.r.usable.load(), 3u * 4096);
    EXPECT_EQ(f.ReadFrame(0, size), f.Expected(0, size));
    EXPECT_EQ(f.r.read_error.load(), 0u);
    EXPECT_EQ(f.r.usable.load(), 0u);
}

TEST(FileReader, ShortReadSetsTheReadErrorForGood) {
    ReaderFixture f(Pattern(5000), 0);
    EXPECT_EQ(f.ReadFrame(4000, 2000).size(), 1000u);
    EXPECT_EQ(f.r.read_error.load(), 1u);
    EXPECT_EQ(f.ReadFrame(0, 10).size(), 0u);
    EXPECT_EQ(f.r.step(&f.r), 0);
}

TEST(FileReader, VideoAtAnOffsetOfAGivenDescriptor) {
    std::vector<uint8_t> host = Pattern(20000);
    test::TempFile file(host, ".dat");
    const NativeFile fd = FileOpenRead(file.Path().c_str());
    ASSERT_NE(fd, kNoFile);
    ASSERT_TRUE(FileSeek(fd, 3000));
    FileReader r;
    ReaderSource s;
    s.fd = fd;
    ASSERT_TRUE(ReaderOpen(&r, s, kOpenFromHandle));
    EXPECT_EQ(r.base_offset, 3000u);
    std::vector<uint8_t> buffer(2 * 4096);
    r.set_buffer(&r, buffer.data(), 2 * 4096, 17000, 0);
    EXPECT_EQ(r.step(&r), 4096);
    std::vector<uint8_t> out(100);
    // Position 5000 of the video is byte 8000 of the file.
    ASSERT_EQ(r.read_frame(&r, 0, 5000, out.data(), 100), 100u);
    EXPECT_EQ(out, std::vector<uint8_t>(host.begin() + 8000, host.begin() + 8100));
    ASSERT_EQ(r.read(&r, 0, out.data(), 4), 4u);
    EXPECT_EQ(out[0], host[3000]);
    r.close(&r);
    // The given file stays open for its owner.
    ASSERT_TRUE(FileSeek(fd, 19990));
    EXPECT_EQ(FileRead(fd, out.data(), 100), 10u);
    EXPECT_EQ(out[9], host[19999]);
    FileClose(fd);
}

TEST(FileReader, SimulatedSpeedChargesEachChunk) {
    test::TestClock clock;
    // 100000 bytes per second: a 4096-byte chunk costs 40 ms.
    ReaderFixture f(Pattern(4 * 4096), 4 * 4096, 100000);
    const uint32_t start = clock.Now();
    EXPECT_EQ(f.r.step(&f.r), 4096);
    EXPECT_EQ(clock.Now() - start, 40u);
    EXPECT_EQ(f.r.speed_debt, 0);
    EXPECT_EQ(f.r.read_ms.load(), 40u);

    // A read that itself took 100 ms leaves 60 ms of credit for the next.
    clock.SetCostPerRead(0);
    f.r.speed_debt = -60;
    const uint32_t before = clock.Now();
    EXPECT_EQ(f.r.step(&f.r), 4096);
    EXPECT_EQ(clock.Now() - before, 0u);
    EXPECT_EQ(f.r.speed_debt, -20);
    // The third chunk pays off its 40 ms less the 20 ms of credit.
    const uint32_t third = clock.Now();
    EXPECT_EQ(f.r.step(&f.r), 4096);
    EXPECT_EQ(clock.Now() - third, 20u);
}

TEST(FileReader, GrantRoundsUpToChunks) {
    ReaderFixture f(Pattern(100), 0);
    EXPECT_EQ(f.r.grant_size(&f.r, 1), 4096u);
    EXPECT_EQ(f.r.grant_size(&f.r, 4096), 4096u);
    EXPECT_EQ(f.r.grant_size(&f.r, 4097), 8192u);
    EXPECT_EQ(f.r.grant_size(&f.r, 0), 0u);
}

}  // namespace
}  // namespace zarn
