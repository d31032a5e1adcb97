#include "engine/file_reader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/engine_clock.h"
#include "engine/file_access.h"

namespace zarn {
namespace {

// Reads until `bytes` arrived, the file ended or an error occurred: from
// the caller's callbacks when there are some, else from the file.
uint32_t ReadFully(FileReader* r, void* destination, uint32_t bytes) {
    const ReaderCallbacks& c = r->callbacks;
    if (!c.read) return FileRead(r->handle, destination, bytes);
    auto* out = static_cast<uint8_t*>(destination);
    uint32_t got = 0;
    while (got < bytes) {
        const int64_t n = c.read(c.user, out + got, bytes - got);
        if (n <= 0 || n > int64_t{bytes - got}) break;
        got += static_cast<uint32_t>(n);
    }
    return got;
}

bool SeekTo(FileReader* r, uint32_t position) {
    if (r->callbacks.read) return r->callbacks.seek && r->callbacks.seek(r->callbacks.user, position) == 0;
    return FileSeek(r->handle, r->base_offset + position);
}

void LockForeground(FileReader* r) {
    r->fg_lock.fetch_add(1);
    while (r->bg_lock.load() != 0) {
        EngineSleep(1);
        if (r->wait_hook) r->wait_hook(r->movie);
    }
}

void UnlockForeground(FileReader* r) { r->fg_lock.fetch_sub(1); }

// Holds reading down to the simulated speed: `bytes` were read in a read
// that started at `start`; the time they would take at that speed is added
// to the debt, the read's own duration taken off, and the rest waited out.
void Throttle(FileReader* r, uint32_t bytes, uint32_t start) {
    const uint32_t cost = static_cast<uint32_t>(uint64_t{bytes} * 1000 / r->speed);
    uint32_t now = EngineClock();
    r->speed_debt += static_cast<int32_t>(cost + start - now);
    while (r->speed_debt > 0 && !r->closing.load()) {
        while (static_cast<int32_t>(EngineClock() - now) < r->speed_debt && !r->closing.load())
            EngineSleep(1);
        const uint32_t later = EngineClock();
        r->speed_debt -= static_cast<int32_t>(later - now);
        now = later;
    }
}

uint32_t BytesLeftAfter(const FileReader* r, uint32_t position) {
    return position < r->file_length ? r->file_length - position : 0;
}

uint32_t Read(FileReader* r, uint32_t position, void* destination, uint32_t bytes) {
    LockForeground(r);
    if (position != kReaderContinue && position != r->file_pos) {
        SeekTo(r, position);
        r->file_pos = position;
    }
    const uint32_t got = ReadFully(r, destination, bytes);
    r->file_pos += got;
    r->stream_pos = r->file_pos;
    r->usable = std::min(BytesLeftAfter(r, r->file_pos), r->buffer_size);
    UnlockForeground(r);
    return got;
}

// Copies k held bytes out of the ring, wrapping at its end.
void TakeFromRing(FileReader* r, uint8_t* out, uint32_t k) {
    const uint32_t to_end = static_cast<uint32_t>(r->ring_end - r->read_ptr);
    if (to_end <= k) {
        std::memcpy(out, r->read_ptr, to_end);
        std::memcpy(out + to_end, r->ring_start, k - to_end);
        r->read_ptr = r->ring_start + (k - to_end);
    } else {
        std::memcpy(out, r->read_ptr, k);
        r->read_ptr += k;
    }
    r->held.fetch_sub(k);
    r->free.fetch_add(k);
}

// After a short read the file is not read again, but what the read-ahead
// already holds is still delivered: a file cut short plays up to the cut.
uint32_t ReadFrame(FileReader* r, uint32_t /*frame*/, uint32_t position, void* destination, uint32_t bytes) {
    const uint32_t t0 = EngineClock();
    bool locked = false;
    auto* out = static_cast<uint8_t*>(destination);
    uint32_t delivered = 0;
    uint32_t n = bytes;

    if (position != kReaderContinue && position != r->stream_pos) {
        LockForeground(r);
        locked = true;
        if (r->stream_pos < position && position <= r->file_pos) {
            // The bytes are partly in the ring: skip forward inside it.
            const uint32_t k = position - r->stream_pos;
            r->stream_pos = position;
            r->free.fetch_add(k);
            r->held.fetch_sub(k);
            r->read_ptr += k;
            if (r->read_ptr >= r->ring_end) r->read_ptr -= r->buffer_size;
        } else {
            // Behind the stream or beyond what was read: start over there,
            // unless the file already failed.
            if (r->read_error.load()) {
                UnlockForeground(r);
                return 0;
            }
            SeekTo(r, position);
            r->file_pos = r->stream_pos = position;
            r->free = r->buffer_size;
            r->held = 0;
            r->read_ptr = r->write_ptr = r->ring_start;
        }
    }

    for (;;) {
        const uint32_t held = r->held.load(std::memory_order_acquire);
        if (held > 0) {
            const uint32_t k = std::min(held, n);
            n -= k;
            r->stream_pos += k;
            TakeFromRing(r, out + delivered, k);
            delivered += k;
        }
        if (n == 0 || r->read_error.load()) break;
        if (!locked) {
            // A background step may have added bytes meanwhile.
            LockForeground(r);
            locked = true;
            continue;
        }
        // Read the rest straight from the file, bypassing the ring.
        const uint32_t t1 = EngineClock();
        const uint32_t got = ReadFully(r, out + delivered, n);
        if (got < n) r->read_error = 1;
        r->file_pos += got;
        r->stream_pos += got;
        r->total_bytes.fetch_add(got);
        delivered += got;
        if (r->speed) Throttle(r, got, t1);
        r->read_ms.fetch_add(EngineClock() - t1);
        break;
    }

    r->foreground_ms.fetch_add(EngineClock() - t0);
    uint32_t usable = std::min(BytesLeftAfter(r, r->stream_pos), r->buffer_size);
    const uint32_t held = r->held.load();
    if (held + kReaderChunk > usable) usable = held;
    r->usable = usable;
    if (locked) UnlockForeground(r);
    return delivered;
}

uint32_t GrantSize(FileReader* r, uint32_t requested) {
    LockForeground(r);
    UnlockForeground(r);
    return (requested + (kReaderChunk - 1)) & ~(kReaderChunk - 1);
}

void SetBuffer(FileReader* r, uint8_t* buffer, uint32_t size, uint32_t file_length, uint32_t speed) {
    LockForeground(r);
    const uint32_t whole = buffer ? size & ~(kReaderChunk - 1) : 0;
    r->ring_start = r->read_ptr = r->write_ptr = buffer;
    r->ring_end = buffer ? buffer + whole : nullptr;
    r->buffer_size = whole;
    r->free = whole;
    r->held = 0;
    r->file_length = file_length;
    r->speed = speed;
    UnlockForeground(r);
}

int32_t Step(FileReader* r) {
    if (r->read_error.load()) return 0;
    const uint32_t busy_at_start = r->engine_busy.load();
    const int32_t bg = r->bg_lock.fetch_add(1) + 1;
    const int32_t fg = r->fg_lock.fetch_add(1) + 1;
    int32_t result;
    if (bg != 1 || fg != 1) {
        result = -1;  // a foreground operation is in progress
    } else if (r->free.load() < kReaderChunk || BytesLeftAfter(r, r->file_pos) < kReaderChunk) {
        r->usable = r->held.load();
        result = 0;
    } else {
        const uint32_t t = EngineClock();
        r->reading_now = 1;
        const uint32_t got = ReadFully(r, r->write_ptr, kReaderChunk);
        r->reading_now = 0;
        if (got < kReaderChunk) r->read_error = 1;
        r->total_bytes.fetch_add(got);
        r->file_pos += got;
        r->write_ptr += got;
        if (r->write_ptr >= r->ring_end) r->write_ptr = r->ring_start;
        r->free.fetch_sub(got);
        const uint32_t held = r->held.fetch_add(got, std::memory_order_release) + got;
        if (held > r->highest_held.load()) r->highest_held = held;
        if (r->speed) Throttle(r, got, t);
        const uint32_t dt = EngineClock() - t;
        r->read_ms.fetch_add(dt);
        if (busy_at_start || r->engine_busy.load())
            r->background_ms.fetch_add(dt);
        else
            r->idle_ms.fetch_add(dt);
        result = static_cast<int32_t>(got);
    }
    r->fg_lock.fetch_sub(1);
    r->bg_lock.fetch_sub(1);
    if (result == -1) EngineSleep(1);
    return result;
}

void Close(FileReader* r) {
    LockForeground(r);
    if (!r->handle_given) FileClose(r->handle);
    r->handle = kNoFile;
    UnlockForeground(r);
}

}  // namespace

bool ReaderOpen(FileReader* reader, const ReaderSource& source, uint32_t flags) {
    reader->~FileReader();
    new (reader) FileReader();
    if (source.callbacks) {
        if (!source.callbacks->read) return false;
        reader->callbacks = *source.callbacks;
        reader->handle_given = 1;
    } else if (flags & kOpenFromHandle) {
        uint64_t here = 0;
        if (!FilePosition(source.fd, &here)) return false;
        reader->handle = source.fd;
        reader->handle_given = 1;
        reader->base_offset = here;
    } else {
        const NativeFile file = FileOpenRead(source.name);
        if (file == kNoFile) return false;
        reader->handle = file;
    }
    reader->read = Read;
    reader->read_frame = ReadFrame;
    reader->grant_size = GrantSize;
    reader->set_buffer = SetBuffer;
    reader->step = Step;
    reader->close = Close;
    return true;
}

uint32_t ReaderFillPercent(const FileReader& reader) {
    return static_cast<uint32_t>((uint64_t{reader.held.load()} + 1) * 100 /
                                 (uint64_t{reader.usable.load()} + 1));
}

}  // namespace zarn
