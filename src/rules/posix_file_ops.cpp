// File operations over POSIX, for the native build.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "rules/file_ops.h"

namespace torvane {
namespace {

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
        std::string pattern = besidePath + ".XXXXXX";
        int fd = ::mkstemp(pattern.data());
        if (fd < 0) return false;
        ::fchmod(fd, 0644);
        tempPath = pattern;
        handle = fd;
        return true;
    }

    bool Write(Handle handle, const char* data, std::size_t size) override {
        while (size > 0) {
            ssize_t n = ::write(static_cast<int>(handle), data, size);
            if (n < 0) {
                if (errno == EINTR) continue;
                return false;
            }
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    bool Flush(Handle handle) override { return ::fsync(static_cast<int>(handle)) == 0; }
    bool Close(Handle handle) override { return ::close(static_cast<int>(handle)) == 0; }

    ReplaceStatus Replace(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0) {
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

    void Pause(int milliseconds) override {
        timespec ts{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
        while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
        }
    }
};

}  // namespace

FileOps& PlatformFileOps() {
    static PosixFileOps ops;
    return ops;
}

}  // namespace torvane
