// The settings file zrk.ini: loaded once at start, written whole on every
// save request.
#pragma once

#include <functional>
#include <string>

#include "settings/file_ops.h"
#include "engine/shared_state.h"

namespace torvane {

inline constexpr const char* kSettingsFileName = "zrk.ini";

// What became of a save: written; postponed (the busy flag stayed held: the
// request comes again); or not written, and why: the file could not be read
// at start and is kept, the copy of the old file could not be written, or
// the file itself could not be.
struct SaveResult {
    enum Outcome { Written, Postponed, Protected, BackupFailed, Failed } outcome;
    FileFailure failure{};  // of BackupFailed and Failed
};

class SettingsFile {
public:
    explicit SettingsFile(FileOps& ops, std::string path = kSettingsFileName)
        : ops_(ops), path_(std::move(path)) {}

    // The loader: SystemConfig takes its defaults and the table is emptied, then
    // the file's values are applied. True when the file was read, false when
    // it was missing or unreadable or the busy flag was held.
    bool Load(Shared& shared);

    // The writer: takes the busy flag (BusyFlag::takeYielding); when it stays
    // held, calls `repostSaveRequest` so that the save runs again later.
    // Otherwise writes the whole file (the old file stays whole when it
    // cannot). The first save of a run that replaces a file holding what the
    // writer would not write again keeps that file as zrk.ini.bak first.
    SaveResult Save(Shared& shared, const std::function<void()>& repostSaveRequest);

    const std::string& path() const { return path_; }
    std::string backupPath() const { return path_ + ".bak"; }
    std::string fullPath() const { return ops_.FullPath(path_); }
    // The file exists but could not be read at start: this run uses the
    // defaults and does not write over it.
    bool keepsExistingFile() const { return keepExistingFile_; }

private:
    FileOps& ops_;
    std::string path_;
    // A file that exists but could not be read at start is not replaced by a
    // save: the user's rules in it would be lost.
    bool keepExistingFile_ = false;
    // The file as read, while it still has to be kept as zrk.ini.bak.
    std::string backup_;
};

}  // namespace torvane
