// PlaneData: everything the plane encoder decided for one plane, per block
// row: the values of the nine bundles and the in-line bit fields.
#pragma once

#include <cstdint>
#include <vector>

#include "encoder/field_list.h"
#include "video/blocks.h"
#include "video/bundles.h"

namespace zarn {

struct PlaneData {
    uint32_t width = 0;                           // decode width, a multiple of 8
    uint32_t height = 0;                          // decode height, a multiple of 8
    bool old_colours = false;                     // colours stored around 128 (versions f, g, h)
    std::vector<int32_t> values[kBundleCount];    // colours as the decoded byte 0..255
    std::vector<uint32_t> row_end[kBundleCount];  // values count after each block row
    std::vector<FieldList> row_fields;            // in-line fields of each block row

    uint32_t Rows() const { return height / 8; }
    void Reset(uint32_t w, uint32_t h, bool old) {
        width = w;
        height = h;
        old_colours = old;
        for (auto& v : values) v.clear();
        for (auto& r : row_end) r.clear();
        row_fields.assign(h / 8, FieldList{});
    }
    // Closes block row `row`: records the bundle counts.
    void EndRow() {
        for (unsigned b = 0; b < kBundleCount; ++b)
            row_end[b].push_back(static_cast<uint32_t>(values[b].size()));
    }
};

// Largest chunk count of a bundle in a plane of decode width `width`.
uint32_t BundleChunkLimit(unsigned bundle, uint32_t width);

// Serialises a plane: prefix codes, then per block row the chunks of the
// bundles the decoder refills at that row, then the row's in-line fields.
// The result is a whole number of 32-bit words.
std::vector<uint8_t> WritePlane(const PlaneData& plane);

}  // namespace zarn
