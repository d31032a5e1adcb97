// Outputs of the `zarn` tools. A regular file (or a name that does not exist
// yet) is written to a temporary file in the same folder and renamed into
// place only when the whole output is done, so a failed or interrupted run
// never leaves half a file under the real name. Anything else (a pipe, a
// FIFO, a device, "-" or /dev/stdout) is written straight and never renamed
// over or chmod'ed.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zarn {

// Device and inode of an input, to refuse writing over it.
struct FileIdentity {
    bool known = false;
    dev_t device = 0;
    ino_t inode = 0;
};

// The identity of a regular file by name ("-": standard input); unknown for
// anything else.
FileIdentity IdentityOfInput(const std::string& name);

struct OutputFile {
    std::string name;        // as given ("-" for standard output)
    std::string final_path;  // where a renamed output lands (a symlink's target)
    std::string temp_path;   // empty for a streamed output
    int fd = -1;
    int temp_slot = -1;     // in the list removed by a second interruption
    bool streamed = false;  // written straight, never renamed
    bool seekable = false;  // its start can be rewritten (a regular file)
    uint64_t start = 0;     // offset of the output's first byte in the file
    std::string error;      // "cannot create NAME: reason", "cannot write NAME: reason"
};

// Opens `name` for writing: checks that it can be made before any work is
// done and that it is none of `inputs`. A new file gets `new_mode` less the
// umask; an existing regular file keeps its mode. False with `error` set.
bool OpenOutput(const std::string& name, mode_t new_mode, const std::vector<FileIdentity>& inputs,
                OutputFile& out);

// Appends bytes; false with `error` set (and the output then stays failed).
bool WriteOutput(OutputFile& out, const void* bytes, size_t size);

// Rewrites bytes at `offset` from the output's start (seekable outputs only).
bool RewriteOutput(OutputFile& out, uint64_t offset, const void* bytes, size_t size);

// Closes the output and, for a renamed one, puts it into place. False with
// `error` set (the temporary file is then removed).
bool CommitOutput(OutputFile& out);

// Closes the output and removes its temporary file (nothing else is touched).
void DiscardOutput(OutputFile& out);

// Removes every temporary file still open; safe inside a signal handler.
void RemoveTemporaryOutputs();

}  // namespace zarn
