// Opening and closing through the engine, and the texts of failures.
#include <unistd.h>

#include <cstring>
#include <new>

#include "audio/audio_decoder.h"
#include "engine/last_error.h"
#include "engine/movie.h"
#include "engine/open_errors.h"
#include "lib/handle.h"

namespace zarn {
namespace {

// Every movie the library opens is stepped by its caller: no reading
// thread, no sound device, no copy skipped for lateness.
uint32_t EngineFlags(uint32_t flags) {
    uint32_t e = kFlagNoThread | kFlagNeverSkip;
    if (flags & ZARN_OPEN_ALPHA) e |= kFlagAlpha;
    if (flags & ZARN_OPEN_GREY) e |= kFlagGreyScale;
    if (flags & ZARN_OPEN_PRELOAD) e |= kFlagPreload;
    if (flags & ZARN_OPEN_FACTS_ONLY) e |= kFlagNoInitialFill;
    e |= ((flags >> 8) & 7u) << kDisplayOptionShift;
    return e;
}

constexpr uint32_t kKnownOpenFlags =
    ZARN_OPEN_ALPHA | ZARN_OPEN_GREY | ZARN_OPEN_PRELOAD | ZARN_OPEN_FACTS_ONLY | ZARN_OPEN_DISPLAY_OPTION(7);

// The status of a failed open, from the text the engine left.
zarn_status OpenStatus(const char* text) {
    if (std::strcmp(text, kErrorNotZarn) == 0) return ZARN_ERROR_NOT_ZARN;
    if (std::strcmp(text, kErrorNoFrames) == 0) return ZARN_ERROR_NO_FRAMES;
    if (std::strcmp(text, kErrorMemory) == 0) return ZARN_ERROR_OUT_OF_MEMORY;
    if (std::strcmp(text, kErrorCorrupt) == 0) return ZARN_ERROR_CORRUPT_FILE;
    return ZARN_ERROR_OPEN;
}

zarn_status OpenFailed(zarn_status status, const char* text, zarn_movie** out) {
    SetEngineLastError(text);
    if (out) *out = nullptr;
    return status;
}

int64_t ReadThrough(void* user, void* destination, uint32_t bytes) {
    const zarn_io* io = static_cast<const zarn_io*>(user);
    return io->read(io->user, destination, bytes);
}

int32_t SeekThrough(void* user, uint64_t position) {
    const zarn_io* io = static_cast<const zarn_io*>(user);
    return io->seek(io->user, position) == 0 ? 0 : -1;
}

// Runs `open` on a fresh handle and hands it out, or reports the failure.
template <typename Open>
zarn_status OpenWith(uint32_t flags, zarn_movie** out, zarn_movie* h, Open open) {
    if (!h) return OpenFailed(ZARN_ERROR_OUT_OF_MEMORY, kErrorMemory, out);
    h->movie = open(EngineFlags(flags));
    if (!h->movie) {
        delete h;
        *out = nullptr;
        return OpenStatus(EngineLastError());
    }
    *out = h;
    return ZARN_OK;
}

bool FlagsAndOutOk(uint32_t flags, zarn_movie** out) {
    if (!out) return false;
    if (flags & ~kKnownOpenFlags) {
        OpenFailed(ZARN_ERROR_BAD_ARGUMENT, "Unknown open flags.", out);
        return false;
    }
    return true;
}

}  // namespace

zarn_status Fail(zarn_movie* movie, zarn_status status, const char* text) {
    if (movie) movie->error = text;
    return status;
}

}  // namespace zarn

using namespace zarn;

extern "C" {

zarn_status zarn_open_file(const char* path, uint32_t flags, zarn_movie** out) {
    if (!FlagsAndOutOk(flags, out)) return ZARN_ERROR_BAD_ARGUMENT;
    if (!path) return OpenFailed(ZARN_ERROR_BAD_ARGUMENT, "No path given.", out);
    return OpenWith(flags, out, new (std::nothrow) zarn_movie,
                    [&](uint32_t f) { return OpenMovie(path, f); });
}

zarn_status zarn_open_fd(int fd, uint64_t offset, uint32_t flags, zarn_movie** out) {
    if (!FlagsAndOutOk(flags, out)) return ZARN_ERROR_BAD_ARGUMENT;
    if (fd < 0) return OpenFailed(ZARN_ERROR_BAD_ARGUMENT, "No descriptor given.", out);
    if (::lseek(fd, static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(offset))
        return OpenFailed(ZARN_ERROR_OPEN, kErrorOpening, out);
    return OpenWith(flags, out, new (std::nothrow) zarn_movie,
                    [&](uint32_t f) { return OpenMovieFromHandle(fd, f); });
}

zarn_status zarn_open_memory(const void* data, size_t size, uint32_t flags, zarn_movie** out) {
    if (!FlagsAndOutOk(flags, out)) return ZARN_ERROR_BAD_ARGUMENT;
    if (!data) return OpenFailed(ZARN_ERROR_BAD_ARGUMENT, "No data given.", out);
    return OpenWith(flags, out, new (std::nothrow) zarn_movie, [&](uint32_t f) {
        return OpenMovieFromImage(static_cast<const uint8_t*>(data), size, f);
    });
}

zarn_status zarn_open_io(const zarn_io* io, uint32_t flags, zarn_movie** out) {
    if (!FlagsAndOutOk(flags, out)) return ZARN_ERROR_BAD_ARGUMENT;
    if (!io || !io->read || !io->seek)
        return OpenFailed(ZARN_ERROR_BAD_ARGUMENT, "Both read and seek callbacks are needed.", out);
    zarn_movie* h = new (std::nothrow) zarn_movie;
    if (h) {
        h->io = *io;
        h->reader_io.read = ReadThrough;
        h->reader_io.seek = SeekThrough;
        h->reader_io.user = &h->io;
    }
    return OpenWith(flags, out, h, [&](uint32_t f) { return OpenMovieFromCallbacks(h->reader_io, f); });
}

void zarn_close(zarn_movie* movie) {
    if (!movie) return;
    CloseMovie(movie->movie);
    FreeAudioDecoder(movie->audio);
    delete movie;
}

zarn_status zarn_set_threads(zarn_movie* movie, uint32_t threads) {
    if (!movie || threads == 0) return ZARN_ERROR_BAD_ARGUMENT;
    if (!SetDecodeThreads(movie->movie, threads))
        return Fail(movie, ZARN_ERROR_OUT_OF_MEMORY, "The second decoding thread could not be started.");
    return ZARN_OK;
}

const char* zarn_error_text(const zarn_movie* movie) {
    return movie ? movie->error.c_str() : EngineLastError();
}

}  // extern "C"
