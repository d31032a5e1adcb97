// Test-side builder of video packets on top of the shared BitWriter.
//
// A PlaneBuilder collects, block row by block row, the values each bundle
// must deliver and the bitstream fields of the row's blocks. When written,
// every bundle found empty at the start of a row gets one chunk holding all
// the values it still has to deliver (or a count of 0, closing it), exactly
// the refill rule of the decoder; then the row's block fields follow.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "encoder/bit_writer.h"
#include "encoder/field_list.h"
#include "video/bundles.h"

namespace zarn {
struct ChromaThread;
}

namespace zarn::test {

// Code word of symbol index `index` in code shape `shape`, written in read order.
void PutCodeWord(BitWriter& w, unsigned shape, unsigned index);

// Stored colour byte that decodes to `colour` (older versions store around 128).
uint8_t StoredColour(uint8_t colour, bool older);

class PlaneBuilder {
public:
    PlaneBuilder(uint32_t decode_width, uint32_t decode_height, bool older_colours);

    // Bundle values and block fields of the current block row.
    void Value(unsigned bundle, int v);
    void Field(uint32_t v, unsigned bits) { rows_.back().fields.Put(v, bits); }
    FieldList& Fields() { return rows_.back().fields; }
    void NextRow() { rows_.emplace_back(); }

    // Block helpers (they append the block type and everything the block needs).
    void Skip() { Value(kBlockTypes, 0); }
    void Fill(uint8_t colour);
    void Motion(int dx, int dy);
    void Raw(const uint8_t colours[64]);
    void Pattern(uint8_t c0, uint8_t c1, const uint8_t rows[8]);
    void Intra(int dc, const int16_t coef[64], unsigned q);
    void Inter(int dx, int dy, int dc, const int16_t coef[64], unsigned q);
    void Residue(int dx, int dy, const int8_t values[64], unsigned event_limit);
    // Colour values are given decoded; they are stored as the version expects.
    void Colour(uint8_t c) { Value(kColours, StoredColour(c, older_)); }

    // Trees (all of code shape 0 unless set), then the rows; ends on a word boundary.
    void Write(BitWriter& w) const;
    std::vector<uint8_t> Bytes() const;

private:
    struct Row {
        std::vector<int> values[kBundleCount];
        FieldList fields;
    };
    void WriteChunk(BitWriter& w, unsigned bundle, const std::vector<int>& v, uint8_t& colour_context) const;

    uint32_t decode_width_;
    uint32_t decode_height_;
    bool older_;
    std::vector<Row> rows_;
};

// A whole packet: optional alpha section, optional chroma offset word, planes.
struct PacketParts {
    std::vector<uint8_t> alpha;  // alpha plane data (used when has_alpha)
    std::vector<uint8_t> luma;
    std::vector<uint8_t> chroma1;
    std::vector<uint8_t> chroma2;
    bool has_alpha = false;
    bool older = false;  // no chroma offset word
};
std::vector<uint8_t> BuildPacket(const PacketParts& p);

// Random well-formed planes and packets: intra blocks only, motion/inter/residue
// blocks only, or every block type (scaled ones included).
enum class PlaneMix { kIntra, kInter, kMixed };
PlaneBuilder MakePlane(uint32_t w, uint32_t h, PlaneMix mix, uint32_t seed, bool older);
std::vector<uint8_t> MakeFramePacket(uint32_t width, uint32_t height, PlaneMix mix, uint32_t seed,
                                     bool older);

// Frame buffers sized as the engine sizes them.
struct FrameBuffers {
    uint32_t width, height, luma_width, luma_height;
    std::vector<uint8_t> dest, prev, dest_alpha, prev_alpha, marks;
    std::vector<std::vector<uint8_t>> bundle_storage;
    uint8_t* bundles[9];
    FrameBuffers(uint32_t w, uint32_t h);
    uint8_t* Luma() { return dest.data(); }
    uint8_t* Chroma(int which) {
        return dest.data() + size_t{luma_width} * luma_height +
               (which ? size_t{luma_width / 2} * (luma_height / 2) : 0);
    }
    // Returns the decoder's result; `helper` (optional) decodes chroma beside luma.
    bool Decode(const std::vector<uint8_t>& packet, uint32_t flags, uint32_t header_flags,
                ChromaThread* helper = nullptr);
};

}  // namespace zarn::test
