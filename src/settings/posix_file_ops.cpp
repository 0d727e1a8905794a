// File operations over POSIX, for the native build.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "settings/file_ops.h"

namespace torvane {
namespace {

FileError ErrorOf(int code) {
    switch (code) {
        case EACCES:
        case EPERM:
        case EROFS: return FileError::Denied;
        case EBUSY:
        case ETXTBSY: return FileError::InUse;
        case ENOSPC:
        case EDQUOT: return FileError::Full;
        case EISDIR: return FileError::Folder;
        default: return FileError::Other;
    }
}

std::string FolderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

class PosixFileOps final : public FileOps {
public:
    ReadStatus ReadWhole(const std::string& path, std::string& out) override {
        out.clear();
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
        char buf[65536];
        for (;;) {
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n == 0) break;
            if (n < 0) {
                if (errno == EINTR) continue;
                ::close(fd);
                return ReadStatus::Failed;
            }
            out.append(buf, static_cast<std::size_t>(n));
        }
        ::close(fd);
        return ReadStatus::Ok;
    }

    bool Exists(const std::string& path) override {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 || errno != ENOENT;
    }

    bool CreateTemp(const std::string& besidePath, std::string& tempPath, Handle& handle) override {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string name = TempFileName(besidePath, ProcessId(), ++counter_);
            const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
            if (fd >= 0) {
                tempPath = name;
                handle = fd;
                return true;
            }
            if (errno != EEXIST) return Failed();
        }
        return Failed();
    }

    bool Write(Handle handle, const char* data, std::size_t size) override {
        while (size > 0) {
            ssize_t n = ::write(static_cast<int>(handle), data, size);
            if (n < 0) {
                if (errno == EINTR) continue;
                return Failed();
            }
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    bool Flush(Handle handle) override { return ::fsync(static_cast<int>(handle)) == 0 || Failed(); }
    bool Close(Handle handle) override { return ::close(static_cast<int>(handle)) == 0 || Failed(); }

    ReplaceStatus Replace(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0) {
            Failed();
            return errno == EBUSY || errno == ETXTBSY ? ReplaceStatus::Busy : ReplaceStatus::Failed;
        }
        // Make the new directory entry durable as well.
        int dir = ::open(FolderOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dir >= 0) {
            ::fsync(dir);
            ::close(dir);
        }
        return ReplaceStatus::Ok;
    }

    void Remove(const std::string& path) override { ::unlink(path.c_str()); }

    std::vector<std::string> Siblings(const std::string& path) override {
        std::vector<std::string> out;
        const std::size_t slash = path.rfind('/');
        const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
        const std::string folder = FolderOf(path);
        if (DIR* dir = ::opendir(folder.c_str())) {
            while (const dirent* entry = ::readdir(dir)) {
                const std::string file = entry->d_name;
                if (file.size() > name.size() + 1 && file.compare(0, name.size() + 1, name + ".") == 0)
                    out.push_back(slash == std::string::npos ? file : folder + "/" + file);
            }
            ::closedir(dir);
        }
        return out;
    }

    bool ProcessRuns(unsigned long pid) override {
        return pid <= 0x7FFFFFFF && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH);
    }
    unsigned long ProcessId() override { return static_cast<unsigned long>(::getpid()); }
    FileFailure LastFailure() override { return last_; }
    std::string FullPath(const std::string& path) override {
        char here[4096];
        return path.empty() || path[0] == '/' || ::getcwd(here, sizeof here) == nullptr ? path : std::string(here) + "/" + path;
    }

    void Pause(int milliseconds) override {
        timespec ts{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
        while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
        }
    }

private:
    // Records why the step that just failed failed; false.
    bool Failed() {
        last_ = FileFailure{ErrorOf(errno), static_cast<unsigned long>(errno)};
        return false;
    }
    unsigned counter_ = 0;
    FileFailure last_;
};

}  // namespace

FileOps& PlatformFileOps() {
    static PosixFileOps ops;
    return ops;
}

}  // namespace torvane
