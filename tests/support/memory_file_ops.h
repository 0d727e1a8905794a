// A folder in memory for the settings file: the files by name, with a file
// that another program holds (it can be neither read nor replaced) and the
// processes that run, for the temporary files that ended ones left.
#pragma once

#include <map>
#include <set>
#include <string>

#include "settings/file_ops.h"

namespace torvane::testing {

class MemoryFileOps final : public FileOps {
public:
    static constexpr unsigned long kThisProcess = 4242;

    std::map<std::string, std::string> files;
    std::set<std::string> held;     // held open by another program
    std::set<std::string> folders;  // folders beside the files
    std::set<unsigned long> running{kThisProcess};

    ReadStatus ReadWhole(const std::string& path, std::string& out) override {
        if (held.count(path) || folders.count(path)) return ReadStatus::Failed;
        const auto it = files.find(path);
        if (it == files.end()) return ReadStatus::Missing;
        out = it->second;
        return ReadStatus::Ok;
    }
    bool Exists(const std::string& path) override { return files.count(path) != 0 || folders.count(path) != 0; }
    bool CreateTemp(const std::string& besidePath, std::string& tempPath, Handle& handle) override {
        for (unsigned n = 1;; ++n) {
            tempPath = TempFileName(besidePath, kThisProcess, n);
            if (!files.count(tempPath)) break;
        }
        files[tempPath];
        open_[++handles_] = tempPath;
        handle = handles_;
        return true;
    }
    bool Write(Handle handle, const char* data, std::size_t size) override {
        files[open_.at(handle)].append(data, size);
        return true;
    }
    bool Flush(Handle) override { return true; }
    bool Close(Handle handle) override { return open_.erase(handle) == 1; }
    ReplaceStatus Replace(const std::string& from, const std::string& to) override {
        if (held.count(to)) return last_ = {FileError::InUse, 32}, ReplaceStatus::Busy;
        if (folders.count(to)) return last_ = {FileError::Folder, 5}, ReplaceStatus::Failed;
        files[to] = files[from];
        files.erase(from);
        return ReplaceStatus::Ok;
    }
    void Remove(const std::string& path) override { files.erase(path); }
    void Pause(int) override {}
    std::vector<std::string> Siblings(const std::string& path) override {
        std::vector<std::string> out;
        for (const auto& [name, bytes] : files) {
            if (name.size() > path.size() + 1 && name.compare(0, path.size() + 1, path + ".") == 0) out.push_back(name);
        }
        return out;
    }
    bool ProcessRuns(unsigned long pid) override { return running.count(pid) != 0; }
    unsigned long ProcessId() override { return kThisProcess; }
    FileFailure LastFailure() override { return last_; }
    std::string FullPath(const std::string& path) override { return "C:\\Torvane\\" + path; }

private:
    FileFailure last_;
    std::map<Handle, std::string> open_;
    Handle handles_ = 0;
};

}  // namespace torvane::testing
