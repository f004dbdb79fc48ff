// A file that is replaced as a whole or not at all: written into a temporary file beside
// the target, which is flushed, synced to disk and renamed over the target on commit. A
// crash or a failed write leaves the target as it was; the destructor removes a
// temporary file that was not committed. The new file keeps the mode, owner and group of
// the one it replaces (as far as the user may keep them); other hard links to the old
// file keep the old contents.
//
// The temporary file is named after the target, cut to fit the system's name limit, with
// ".maptool-PID.tmp" after it. A run killed before it could remove its temporary file
// leaves it behind; the next one writing the same target removes it, once no process of
// that id runs.
//
// A target marked read-only is not written (EACCES), as mapmaker cannot write it either.
// A writable target in a folder that takes no new file is written in place, as mapmaker
// does; written_in_place() then says so, for a warning.
//
// A symbolic link stays a link: the file it names is replaced. A target that is there but
// is no regular file (a device such as /dev/null, a named pipe) cannot be replaced
// without destroying it, so it is written in place, as sort -o and cp do.
#pragma once

#include <cstdio>
#include <string>

// Memory running out anywhere in the run. Where an allocation fails, the failure may be met
// and the run go on (a stream only sets its badbit, a console write falls back to bytes):
// what the run then writes may lack something. So the first failure is noted, and from then
// on no atomic file commits (ENOMEM): the old file stays. A caller that meets the shortage as
// an error code of a library throws it with throw_out_of_memory, so that nothing may take it
// for an answer.
void note_out_of_memory() noexcept;
bool out_of_memory_noted() noexcept;
[[noreturn]] void throw_out_of_memory();

class atomic_file {
  public:
    explicit atomic_file(std::string target);
    atomic_file(const atomic_file&) = delete;
    atomic_file& operator=(const atomic_file&) = delete;
    ~atomic_file();

    // Creates the temporary file, with the mode a new file gets under the umask, or opens
    // a device in place; 0, or the error number.
    int open();

    // Where to write; valid between open and commit.
    std::FILE* stream() const { return stream_; }

    // Flushes, syncs and closes the temporary file, then renames it over the target; 0, or
    // the error number (then the target is untouched). ENOMEM once memory ran out.
    int commit();

    // Whether the target is written over in place because its folder takes no temporary
    // file: a failed write then leaves it damaged.
    bool written_in_place() const { return written_in_place_; }

    // For a caller that still reads the target while it writes (a rewriter): where the
    // folder takes no temporary file, open then fails with the folder's error instead of
    // cutting the target short, and in_place_deferred() says so. The caller can keep the new
    // text elsewhere and write it in place once the old text is read.
    void defer_in_place() { defer_in_place_ = true; }
    bool in_place_deferred() const { return in_place_deferred_; }

  private:
    std::string target_;
    std::string temporary_;
    std::FILE* stream_ = nullptr;
    bool in_place_ = false;
    bool written_in_place_ = false;
    bool defer_in_place_ = false;
    bool in_place_deferred_ = false;
};
