#include "tools/png_image.h"

#include <png.h>

namespace zarn {
namespace {

struct PngState {
    std::vector<uint8_t>* bytes;
    std::string error;
};

void PngWrite(png_structp png, png_bytep data, png_size_t size) {
    auto* state = static_cast<PngState*>(png_get_io_ptr(png));
    state->bytes->insert(state->bytes->end(), data, data + size);
}

void PngFlush(png_structp) {}

[[noreturn]] void PngError(png_structp png, png_const_charp message) {
    auto* state = static_cast<PngState*>(png_get_error_ptr(png));
    state->error = message ? message : "PNG error";
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

}  // namespace

bool EncodePng(const uint8_t* rgb, uint32_t width, uint32_t height, std::vector<uint8_t>& bytes,
               std::string& error) {
    PngState state{&bytes, {}};
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &state, PngError, PngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        error = "out of memory";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        error = state.error;
        return false;
    }
    png_set_write_fn(png, &state, PngWrite, PngFlush);
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint32_t r = 0; r < height; ++r)
        png_write_row(png, const_cast<png_bytep>(rgb + static_cast<size_t>(r) * width * 3));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool DecodePng(const std::vector<uint8_t>& bytes, std::vector<uint8_t>& rgb, uint32_t* width,
               uint32_t* height, std::string& error) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
        error = image.message;
        return false;
    }
    image.format = PNG_FORMAT_RGB;
    rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) {
        error = image.message;
        png_image_free(&image);
        return false;
    }
    *width = image.width;
    *height = image.height;
    return true;
}

}  // namespace zarn
