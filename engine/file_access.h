// File access for the engine and the player: open for reading, read, seek,
// position, size and close, over the system's own file handles. One
// implementation per system, chosen at build time (file_access_posix.cpp,
// file_access_win32.cpp).
#pragma once

#include <cstdint>

namespace zarn {

// A descriptor on POSIX systems, a HANDLE on Windows, held as an integer.
using NativeFile = intptr_t;
// The invalid value of both systems (-1 is also INVALID_HANDLE_VALUE).
constexpr NativeFile kNoFile = -1;

// Opens an existing file for sequential reading; kNoFile on failure.
NativeFile FileOpenRead(const char* name);

// Reads until `bytes` arrived, the file ended or an error occurred; returns
// the bytes read.
uint32_t FileRead(NativeFile file, void* destination, uint32_t bytes);

// Moves to byte `position` from the start; false on failure.
bool FileSeek(NativeFile file, uint64_t position);

// The current byte position; false on failure.
bool FilePosition(NativeFile file, uint64_t* position);

// The size of a regular file; false for anything else or on failure.
bool FileSize(NativeFile file, uint64_t* size);

void FileClose(NativeFile file);

}  // namespace zarn
