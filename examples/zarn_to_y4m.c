/* zarn_to_y4m: decodes a Zarn video to a 4:2:0 YUV4MPEG2 file through the
 * public interface alone.
 *
 *   zarn_to_y4m INPUT.zrn OUTPUT.y4m
 */
#include <stdio.h>
#include <string.h>
#include <zarn/zarn.h>

static int write_plane(FILE* out, const uint8_t* rows, int32_t stride, uint32_t width, uint32_t height) {
    for (uint32_t r = 0; r < height; ++r)
        if (fwrite(rows + (size_t)r * stride, 1, width, out) != width) return 0;
    return 1;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: zarn_to_y4m INPUT.zrn OUTPUT.y4m\n");
        return 2;
    }
    zarn_movie* movie = NULL;
    zarn_status status = zarn_open_file(argv[1], 0, &movie);
    if (status != ZARN_OK) {
        fprintf(stderr, "zarn_to_y4m: %s: %s\n", argv[1], zarn_error_text(NULL));
        return 1;
    }
    zarn_info info;
    zarn_get_info(movie, &info);
    FILE* out = strcmp(argv[2], "-") == 0 ? stdout : fopen(argv[2], "wb");
    if (!out) {
        fprintf(stderr, "zarn_to_y4m: cannot write %s\n", argv[2]);
        zarn_close(movie);
        return 1;
    }
    int ok = fprintf(out, "YUV4MPEG2 W%u H%u F%u:%u Ip A1:1 C420jpeg\n", info.width, info.height,
                     info.rate_num, info.rate_den) > 0;
    uint32_t frames = 0;
    while (ok && (status = zarn_decode_frame(movie)) != ZARN_END_OF_FILE) {
        /* A damaged frame is still shown as far as it was decoded. */
        if (status != ZARN_OK && status != ZARN_ERROR_CORRUPT_FRAME) break;
        zarn_planes p;
        zarn_get_planes(movie, &p);
        ok = fputs("FRAME\n", out) >= 0 && write_plane(out, p.y, p.y_stride, p.width, p.height) &&
             write_plane(out, p.u, p.uv_stride, p.chroma_width, p.chroma_height) &&
             write_plane(out, p.v, p.uv_stride, p.chroma_width, p.chroma_height);
        ++frames;
    }
    int result = 0;
    if (status != ZARN_END_OF_FILE && ok) {
        fprintf(stderr, "zarn_to_y4m: frame %u of %s: %s\n", frames + 1, argv[1], zarn_error_text(movie));
        result = 1;
    }
    if (out != stdout && fclose(out) != 0) ok = 0;
    if (!ok) {
        fprintf(stderr, "zarn_to_y4m: cannot write %s\n", argv[2]);
        result = 1;
    }
    zarn_close(movie);
    return result;
}
