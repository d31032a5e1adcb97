#include "base/engine_memory.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace zarn {
namespace {

TEST(EngineMemory, BlocksAreAlignedAndRecordTheirOffset) {
    EXPECT_EQ(EngineAllocate(0), nullptr);
    EXPECT_EQ(EngineAllocate(0xFFFFFFFFu), nullptr);
    for (uint32_t n : {1u, 31u, 32u, 1000u}) {
        auto* p = static_cast<uint8_t*>(EngineAllocate(n));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 32, 0u);
        EXPECT_GE(p[-1], 33);
        EXPECT_LE(p[-1], 64);
        EXPECT_EQ(p[-2], 0);
        p[n - 1] = 1;
        EngineFree(p);
    }
    EngineFree(nullptr);
}

TEST(EngineMemory, GroupedSubBlocksAreStaggeredAndCounted) {
    void* a = nullptr;
    void* b = nullptr;
    void* c = nullptr;
    // 17 -> 32 reserved (T 0); 100 -> 112 + 32 * ((1 - 3 + 1) mod 32) = 1104;
    // 0 -> 0 + 32 * ((35 + 1) mod 32) = 128.
    ASSERT_TRUE(EngineReserve(&a, 17));
    ASSERT_TRUE(EngineReserve(&b, 100));
    ASSERT_TRUE(EngineReserve(&c, 0));
    EXPECT_EQ(EngineReservedTotal(), 32u + 1104u + 128u);
    uint32_t used = 0;
    auto* main = static_cast<uint8_t*>(EngineAllocateMain(&used, 40));
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(used, 40u + 1264u);
    EXPECT_EQ(a, main + 48);
    EXPECT_EQ(b, main + 48 + 32);
    EXPECT_EQ(c, main + 48 + 32 + 1104);
    EXPECT_EQ(EngineReservedTotal(), 0u);
    EngineFree(main);
}

TEST(EngineMemory, FailedMainBlockStillCountsAndEmptiesTheList) {
    void* a = reinterpret_cast<void*>(0x1);
    ASSERT_TRUE(EngineReserve(&a, 64));
    uint32_t used = 0;
    EXPECT_EQ(EngineAllocateMain(&used, 0xFFFFFFF0u), nullptr);
    EXPECT_EQ(used, 0xFFFFFFF0u + 64u + 32u * 31u);
    EXPECT_EQ(a, reinterpret_cast<void*>(0x1));  // place left unchanged
    EXPECT_EQ(EngineReservedTotal(), 0u);
    for (int i = 0; i < kMaxReservations; ++i) ASSERT_TRUE(EngineReserve(&a, 1));
    EXPECT_FALSE(EngineReserve(&a, 1));
    EngineDropReservations();
}

}  // namespace
}  // namespace zarn
