// The small file interface under the settings file: each step of a save is
// its own call, so that a test can make any one of them fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace torvane {

enum class ReadStatus { Ok, Missing, Failed };
enum class ReplaceStatus { Ok, Busy, Failed };  // Busy: another program holds the file

// Why a step failed, in the terms the user is told: no right to write (a
// read-only file, a folder the user may not write in), another program
// holds the file, the disk is full, a folder stands where the file should.
enum class FileError { None, Denied, InUse, Full, Folder, Other };
struct FileFailure {
    FileError error = FileError::None;
    unsigned long code = 0;  // the system's number for it
};

class FileOps {
public:
    using Handle = std::intptr_t;

    virtual ~FileOps() = default;

    // Reads the whole file.
    virtual ReadStatus ReadWhole(const std::string& path, std::string& out) = 0;
    // False only when the file is known not to be there.
    virtual bool Exists(const std::string& path) = 0;
    // Creates a new, empty file named TempFileName(besidePath, this
    // process, n) for the first n that is free.
    virtual bool CreateTemp(const std::string& besidePath, std::string& tempPath, Handle& handle) = 0;
    virtual bool Write(Handle handle, const char* data, std::size_t size) = 0;
    // Makes the written bytes durable (FlushFileBuffers, fsync).
    virtual bool Flush(Handle handle) = 0;
    virtual bool Close(Handle handle) = 0;
    // Puts `from` in the place of `to` in one step, replacing it.
    virtual ReplaceStatus Replace(const std::string& from, const std::string& to) = 0;
    virtual void Remove(const std::string& path) = 0;
    virtual void Pause(int milliseconds) = 0;
    // The paths of the files beside `path` whose names are its name, a dot
    // and more (the temporary files of saves among them).
    virtual std::vector<std::string> Siblings(const std::string& path) = 0;
    // Whether process `pid` runs; true when it cannot be told.
    virtual bool ProcessRuns(unsigned long pid) = 0;
    virtual unsigned long ProcessId() = 0;
    // Why the last step that failed failed.
    virtual FileFailure LastFailure() = 0;
    // `path` from the root of its drive, as the user finds it.
    virtual std::string FullPath(const std::string& path) = 0;
};

// The temporary file of a save of `path`: "<path>.<pid>.<n>.tmp".
std::string TempFileName(const std::string& path, unsigned long pid, unsigned n);
// The process whose save of `path` made `candidate`, if it is such a file.
std::optional<unsigned long> TempFileOwner(const std::string& candidate, const std::string& path);

// The file operations of the platform the core is built for: POSIX natively,
// the Win32 file API in the Windows build.
FileOps& PlatformFileOps();

// Writes `bytes` to a temporary file beside `path`, makes it durable and puts
// it in the place of `path`, retrying a refused replace a few times. On any
// failure `path` is left as it was, the temporary file is removed, and the
// failure is returned (error None: written).
FileFailure WriteFileReplacing(FileOps& ops, const std::string& path, const std::string& bytes);

// Removes what saves of `path` by processes that have ended left beside it (a
// save cut short by a kill leaves its temporary file), and earlier ones of
// this process.
void RemoveLeftovers(FileOps& ops, const std::string& path);

}  // namespace torvane
