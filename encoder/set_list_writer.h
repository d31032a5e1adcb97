// The set-list walk of the coefficient and residue writers: one plane of the
// decoders' walk, each significance bit decided from the values.
//   significant(first, count): is any of coded indexes first..first+count-1
//     significant in this plane;
//   become(index): writes what follows a position that becomes significant,
//     and returns true when the block ends there;
//   out.PutBit(bit): writes one bit.
#pragma once

#include "video/coefficients.h"

namespace zarn {

template <class Out, class Significant, class Become>
struct SetListWriter {
    SetList& list;
    Out& out;
    Significant& significant;
    Become& become;

    bool ResolveGroup4(unsigned first) {
        for (unsigned p = first; p < first + 4; ++p) {
            const bool later = !significant(p, 1);
            out.PutBit(later);
            if (later)
                list.PushFront(p, kSingle);
            else if (become(p))
                return true;
        }
        return false;
    }

    bool Process(unsigned idx) {
        for (;;) {
            const uint8_t e = list.entry[idx];
            if (e == 0) return false;
            const unsigned first = e >> 2, kind = e & 3u;
            const unsigned span = kind == kGroup20 ? 20 : kind == kGroup16 ? 16 : kind == kGroup4 ? 4 : 1;
            const bool sig = significant(first, span);
            out.PutBit(sig);
            if (!sig) return false;
            switch (kind) {
            case kGroup20:
                list.entry[idx] = static_cast<uint8_t>((first + 4) * 4 + kGroup16);
                if (ResolveGroup4(first)) return true;
                break;  // the group of 16 reads its own bit next
            case kGroup16:
                list.entry[idx] = static_cast<uint8_t>(first * 4 + kGroup4);
                list.PushBack(first + 4, kGroup4);
                list.PushBack(first + 8, kGroup4);
                list.PushBack(first + 12, kGroup4);
                break;
            case kGroup4: list.entry[idx] = 0; return ResolveGroup4(first);
            default: list.entry[idx] = 0; return become(first);
            }
        }
    }
};

// Writes one plane's walk of `list`, entries added at its back included.
// Returns true when `become` ended the block.
template <class Out, class Significant, class Become>
bool WriteSetListPlane(SetList& list, Out& out, Significant significant, Become become) {
    SetListWriter<Out, Significant, Become> w{list, out, significant, become};
    for (unsigned idx = list.head; idx < list.tail; ++idx)
        if (w.Process(idx)) return true;
    return false;
}

}  // namespace zarn
