#include "tools/output_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zarn {
namespace {

// Temporary files in the making, kept in fixed storage so that a signal
// handler can remove them without allocating.
constexpr int kTempSlots = 16;
constexpr size_t kTempPathBytes = 4096;
char g_temp_paths[kTempSlots][kTempPathBytes];
volatile sig_atomic_t g_temp_used[kTempSlots];

int RegisterTemp(const std::string& path) {
    if (path.size() >= kTempPathBytes) return -1;
    for (int i = 0; i < kTempSlots; ++i) {
        if (g_temp_used[i]) continue;
        std::memcpy(g_temp_paths[i], path.c_str(), path.size() + 1);
        g_temp_used[i] = 1;
        return i;
    }
    return -1;
}

void ReleaseTemp(OutputFile& out) {
    if (out.temp_slot >= 0) g_temp_used[out.temp_slot] = 0;
    out.temp_slot = -1;
}

bool Fail(OutputFile& out, int error_number, const char* what = "cannot write ") {
    out.error = what + out.name + ": " + std::strerror(error_number);
    return false;
}

bool FailToCreate(OutputFile& out, int error_number) { return Fail(out, error_number, "cannot create "); }

// The descriptor a name stands for: "-", /dev/stdout, /dev/fd/N and the like.
int DescriptorNamed(const std::string& name) {
    if (name == "-" || name == "/dev/stdout") return 1;
    if (name == "/dev/stderr") return 2;
    for (const std::string prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        if (name.compare(0, prefix.size(), prefix) != 0 || name.size() == prefix.size()) continue;
        int fd = 0;
        for (size_t i = prefix.size(); i < name.size(); ++i) {
            if (name[i] < '0' || name[i] > '9' || fd > 100000) return -1;
            fd = fd * 10 + (name[i] - '0');
        }
        return fd;
    }
    return -1;
}

// Follows a chain of symbolic links to the name they end at (which need
// not exist yet), so that the link itself is kept and its target replaced.
std::string FollowLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        char target[kTempPathBytes];
        const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
        if (n <= 0) return path;
        std::string next(target, static_cast<size_t>(n));
        if (next[0] != '/') {
            const size_t slash = path.rfind('/');
            if (slash != std::string::npos) next = path.substr(0, slash + 1) + next;
        }
        path = next;
    }
    return path;
}

bool SameAsAnInput(const struct stat& st, const std::vector<FileIdentity>& inputs) {
    if (!S_ISREG(st.st_mode)) return false;
    for (const FileIdentity& i : inputs)
        if (i.known && i.device == st.st_dev && i.inode == st.st_ino) return true;
    return false;
}

bool RefuseInput(OutputFile& out) {
    out.error = out.name + " is also an input; not writing over it";
    return false;
}

bool OpenStreamed(OutputFile& out, int fd, const std::vector<FileIdentity>& inputs) {
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        const int e = errno;
        ::close(fd);
        return Fail(out, e);
    }
    if (SameAsAnInput(st, inputs)) {
        ::close(fd);
        return RefuseInput(out);
    }
    out.fd = fd;
    out.streamed = true;
    out.seekable = S_ISREG(st.st_mode);
    if (out.seekable) {
        const off_t at = ::lseek(fd, 0, SEEK_CUR);
        out.seekable = at >= 0;
        out.start = at >= 0 ? static_cast<uint64_t>(at) : 0;
    }
    return true;
}

}  // namespace

FileIdentity IdentityOfInput(const std::string& name) {
    FileIdentity id;
    struct stat st;
    const int r = name == "-" ? ::fstat(0, &st) : ::stat(name.c_str(), &st);
    if (r == 0 && S_ISREG(st.st_mode)) {
        id.known = true;
        id.device = st.st_dev;
        id.inode = st.st_ino;
    }
    return id;
}

bool OpenOutput(const std::string& name, mode_t new_mode, const std::vector<FileIdentity>& inputs,
                OutputFile& out) {
    out = OutputFile{};
    out.name = name;
    if (name.empty()) return Fail(out, ENOENT);
    const int named_fd = DescriptorNamed(name);
    if (named_fd >= 0) {
        const int fd = ::fcntl(named_fd, F_DUPFD_CLOEXEC, 3);
        if (fd < 0) return FailToCreate(out, errno);
        return OpenStreamed(out, fd, inputs);
    }
    struct stat st;
    const bool exists = ::stat(name.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return FailToCreate(out, EISDIR);
    if (exists && !S_ISREG(st.st_mode)) {
        // A FIFO or a device: written as it is.
        const int fd = ::open(name.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) return FailToCreate(out, errno);
        return OpenStreamed(out, fd, inputs);
    }
    if (exists && SameAsAnInput(st, inputs)) return RefuseInput(out);

    out.final_path = FollowLinks(name);
    const size_t slash = out.final_path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : out.final_path.substr(0, slash);
    std::string base = slash == std::string::npos ? out.final_path : out.final_path.substr(slash + 1);
    if (base.size() > 200) base.resize(200);
    std::string pattern = (folder.empty() ? "" : folder) + "/." + base + ".zarn-XXXXXX";
    std::vector<char> temp(pattern.begin(), pattern.end());
    temp.push_back('\0');
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return FailToCreate(out, errno);
    out.fd = fd;
    out.temp_path = temp.data();
    out.temp_slot = RegisterTemp(out.temp_path);
    out.seekable = true;
    mode_t mode;
    if (exists) {
        mode = st.st_mode & 07777;
        // Keep the owner too where allowed; failing to is not an error.
        if (::fchown(fd, st.st_uid, st.st_gid) != 0) mode &= 0777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = new_mode & ~mask;
    }
    if (::fchmod(fd, mode) != 0) {
        const int e = errno;
        DiscardOutput(out);
        return FailToCreate(out, e);
    }
    return true;
}

bool WriteOutput(OutputFile& out, const void* bytes, size_t size) {
    if (!out.error.empty() || out.fd < 0) return false;
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    while (size > 0) {
        const ssize_t n = ::write(out.fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Fail(out, n < 0 ? errno : ENOSPC);
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool RewriteOutput(OutputFile& out, uint64_t offset, const void* bytes, size_t size) {
    if (!out.error.empty() || out.fd < 0 || !out.seekable) return false;
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    uint64_t at = out.start + offset;
    while (size > 0) {
        const ssize_t n = ::pwrite(out.fd, p, size, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return Fail(out, n < 0 ? errno : ENOSPC);
        p += n;
        at += static_cast<uint64_t>(n);
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool CommitOutput(OutputFile& out) {
    if (!out.error.empty()) {
        DiscardOutput(out);
        return false;
    }
    if (out.fd >= 0) {
        const int r = ::close(out.fd);
        out.fd = -1;
        if (r != 0 && errno != EINTR) {
            const int e = errno;
            DiscardOutput(out);
            return Fail(out, e);
        }
    }
    if (!out.temp_path.empty()) {
        if (::rename(out.temp_path.c_str(), out.final_path.c_str()) != 0) {
            const int e = errno;
            DiscardOutput(out);
            return Fail(out, e);
        }
        out.temp_path.clear();
        ReleaseTemp(out);
    }
    return true;
}

void DiscardOutput(OutputFile& out) {
    if (out.fd >= 0) ::close(out.fd);
    out.fd = -1;
    if (!out.temp_path.empty()) ::unlink(out.temp_path.c_str());
    out.temp_path.clear();
    ReleaseTemp(out);
}

void RemoveTemporaryOutputs() {
    for (int i = 0; i < kTempSlots; ++i)
        if (g_temp_used[i]) ::unlink(g_temp_paths[i]);
}

}  // namespace zarn
