// State of one plane decode: geometry, bundles, bit reader and scratch.
#pragma once

#include <cstdint>

#include "video/bit_reader.h"
#include "video/bundles.h"
#include "video/idct.h"
#include "video/quant_tables.h"

namespace zarn {

struct PlaneGeometry {
    uint8_t* dest = nullptr;        // destination plane, first pixel
    const uint8_t* prev = nullptr;  // previous plane, same geometry
    uint32_t decode_width = 0;      // multiple of 8
    uint32_t decode_height = 0;     // multiple of 8
    uint32_t stride = 0;            // bytes per row of both planes
    uint32_t rows = 0;              // rows in the plane buffers (bounds motion sources)
    uint8_t* block_marks = nullptr;
    uint32_t mark_cols = 0;  // bytes per block_marks row
    uint32_t mark_rows = 0;  // rows of block_marks
    uint32_t mark_step = 1;  // 1 luma/alpha, 2 chroma
};

struct PlaneState {
    PlaneGeometry g;
    BitReader reader;
    PlaneBundles bundles;
    const IdctFunctions* idct = nullptr;
    const QuantTables* intra_tables = nullptr;
    const QuantTables* inter_tables = nullptr;
    bool failed = false;  // set when the rest of the plane is abandoned
    alignas(16) int16_t coef[64];
    alignas(16) uint8_t scratch[64];
};

}  // namespace zarn
