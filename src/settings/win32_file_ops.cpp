// File operations over the Win32 file API, for the Windows build. Paths are
// the program's own ASCII names ("zrk.ini"); they are widened as they are.
#include <windows.h>

#include <string>

#include "settings/file_ops.h"

namespace torvane {
namespace {

std::wstring Wide(const std::string& path) {
    int n = ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
    std::wstring w(n > 0 ? static_cast<std::size_t>(n) : 1u, L'\0');
    if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, w.data(), n);
    w.resize(w.size() - 1);
    return w;
}

HANDLE AsHandle(FileOps::Handle h) { return reinterpret_cast<HANDLE>(h); }

FileError ErrorOf(DWORD code) {
    switch (code) {
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT: return FileError::Denied;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return FileError::InUse;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return FileError::Full;
        default: return FileError::Other;
    }
}

class Win32FileOps final : public FileOps {
public:
    ReadStatus ReadWhole(const std::string& path, std::string& out) override {
        out.clear();
        HANDLE h = ::CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            DWORD e = ::GetLastError();
            return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? ReadStatus::Missing : ReadStatus::Failed;
        }
        char buf[65536];
        for (;;) {
            DWORD got = 0;
            if (!::ReadFile(h, buf, sizeof buf, &got, nullptr)) {
                ::CloseHandle(h);
                return ReadStatus::Failed;
            }
            if (got == 0) break;
            out.append(buf, got);
        }
        ::CloseHandle(h);
        return ReadStatus::Ok;
    }

    bool Exists(const std::string& path) override {
        if (::GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        const DWORD e = ::GetLastError();
        return e != ERROR_FILE_NOT_FOUND && e != ERROR_PATH_NOT_FOUND;
    }

    bool CreateTemp(const std::string& besidePath, std::string& tempPath, Handle& handle) override {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string name = TempFileName(besidePath, ProcessId(), ++counter_);
            HANDLE h = ::CreateFileW(Wide(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                tempPath = name;
                handle = reinterpret_cast<Handle>(h);
                return true;
            }
            if (::GetLastError() != ERROR_FILE_EXISTS) return Failed();
        }
        return Failed();
    }

    bool Write(Handle handle, const char* data, std::size_t size) override {
        while (size > 0) {
            DWORD chunk = size > 0x10000000u ? 0x10000000u : static_cast<DWORD>(size);
            DWORD written = 0;
            if (!::WriteFile(AsHandle(handle), data, chunk, &written, nullptr) || written == 0) return Failed();
            data += written;
            size -= written;
        }
        return true;
    }

    bool Flush(Handle handle) override { return ::FlushFileBuffers(AsHandle(handle)) != 0 || Failed(); }
    bool Close(Handle handle) override { return ::CloseHandle(AsHandle(handle)) != 0 || Failed(); }

    ReplaceStatus Replace(const std::string& from, const std::string& to) override {
        if (::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return ReplaceStatus::Ok;
        }
        const DWORD e = ::GetLastError();
        Failed();
        // A refusal is a folder in the way, a read-only file, or a file that
        // another program holds (also without sharing its deletion).
        const DWORD attributes = ::GetFileAttributesW(Wide(to).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            last_.error = FileError::Folder;
            return ReplaceStatus::Failed;
        }
        if (e == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
            return ReplaceStatus::Failed;
        if (e == ERROR_SHARING_VIOLATION || e == ERROR_LOCK_VIOLATION || e == ERROR_ACCESS_DENIED) {
            last_.error = FileError::InUse;
            return ReplaceStatus::Busy;
        }
        return ReplaceStatus::Failed;
    }

    void Remove(const std::string& path) override { ::DeleteFileW(Wide(path).c_str()); }
    void Pause(int milliseconds) override { ::Sleep(static_cast<DWORD>(milliseconds)); }

    std::vector<std::string> Siblings(const std::string& path) override {
        std::vector<std::string> out;
        const std::size_t slash = path.find_last_of("\\/");
        const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        WIN32_FIND_DATAW found;
        HANDLE search = ::FindFirstFileW(Wide(path + ".*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return out;
        do {
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            char name[MAX_PATH * 2];
            const int n = ::WideCharToMultiByte(CP_ACP, 0, found.cFileName, -1, name, sizeof name, nullptr, nullptr);
            if (n > 0) out.push_back(folder + name);
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
        return out;
    }

    bool ProcessRuns(unsigned long pid) override {
        HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
        if (process == nullptr) return ::GetLastError() != ERROR_INVALID_PARAMETER;  // denied: it runs
        const bool runs = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
        ::CloseHandle(process);
        return runs;
    }
    unsigned long ProcessId() override { return ::GetCurrentProcessId(); }
    FileFailure LastFailure() override { return last_; }
    std::string FullPath(const std::string& path) override {
        char full[MAX_PATH * 2];
        const DWORD n = ::GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
        return n > 0 && n < sizeof full ? std::string(full, n) : path;
    }

private:
    // Records why the step that just failed failed; false.
    bool Failed() {
        const DWORD code = ::GetLastError();
        last_ = FileFailure{ErrorOf(code), code};
        return false;
    }
    unsigned counter_ = 0;
    FileFailure last_;
};

}  // namespace

FileOps& PlatformFileOps() {
    static Win32FileOps ops;
    return ops;
}

}  // namespace torvane
