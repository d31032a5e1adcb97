#include <windows.h>

#include "engine/file_access.h"

namespace zarn {
namespace {

HANDLE AsHandle(NativeFile file) { return reinterpret_cast<HANDLE>(file); }

}  // namespace

NativeFile FileOpenRead(const char* name) {
    if (!name) return kNoFile;
    const HANDLE h = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<NativeFile>(h);
}

uint32_t FileRead(NativeFile file, void* destination, uint32_t bytes) {
    auto* out = static_cast<uint8_t*>(destination);
    uint32_t got = 0;
    while (got < bytes) {
        DWORD n = 0;
        if (!ReadFile(AsHandle(file), out + got, bytes - got, &n, nullptr) || n == 0) break;
        got += n;
    }
    return got;
}

bool FileSeek(NativeFile file, uint64_t position) {
    // SetFilePointer takes the high half separately; INVALID_SET_FILE_POINTER
    // is a valid low half, so the error code decides.
    LONG high = static_cast<LONG>(position >> 32);
    SetLastError(NO_ERROR);
    const DWORD low =
        SetFilePointer(AsHandle(file), static_cast<LONG>(position & 0xFFFFFFFFu), &high, FILE_BEGIN);
    return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

bool FilePosition(NativeFile file, uint64_t* position) {
    if (file == kNoFile) return false;
    LONG high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = SetFilePointer(AsHandle(file), 0, &high, FILE_CURRENT);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return false;
    *position = (static_cast<uint64_t>(static_cast<DWORD>(high)) << 32) | low;
    return true;
}

bool FileSize(NativeFile file, uint64_t* size) {
    if (GetFileType(AsHandle(file)) != FILE_TYPE_DISK) return false;
    DWORD high = 0;
    SetLastError(NO_ERROR);
    const DWORD low = GetFileSize(AsHandle(file), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
    *size = (static_cast<uint64_t>(high) << 32) | low;
    return true;
}

void FileClose(NativeFile file) {
    if (file != kNoFile) CloseHandle(AsHandle(file));
}

}  // namespace zarn
