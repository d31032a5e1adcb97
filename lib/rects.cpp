// The changed rectangles of the current frame, from the engine's GetRects.
#include "convert/copy_frame.h"
#include "engine/changed_rects.h"
#include "engine/movie.h"
#include "lib/handle.h"

using namespace zarn;

extern "C" {

int32_t zarn_get_changed_rects(zarn_movie* h, zarn_rect rects[ZARN_MAX_RECTS], uint32_t flags) {
    if (!h || !rects || (flags & ~ZARN_RECTS_ONE)) return -1;
    if (!h->decoded) return 0;
    Movie& m = *h->movie;
    // Without a copy of this frame the rectangles take the movie's own scale.
    if (h->copied_frame != int64_t{h->next_frame} - 1) m.last_copy_flags = MergeCopyFlags(0, m.flags);
    const int32_t n = GetRects(m, (flags & ZARN_RECTS_ONE) ? kCopyOneRect : 0);
    for (int32_t i = 0; i < n; ++i) rects[i] = {m.rects[i].x, m.rects[i].y, m.rects[i].w, m.rects[i].h};
    return n;
}

}  // extern "C"
