// The settings file zrk.ini: loaded once at start, written whole on every
// save request.
#pragma once

#include <functional>
#include <string>

#include "settings/file_ops.h"
#include "engine/shared_state.h"

namespace torvane {

inline constexpr const char* kSettingsFileName = "zrk.ini";

class SettingsFile {
public:
    explicit SettingsFile(FileOps& ops, std::string path = kSettingsFileName)
        : ops_(ops), path_(std::move(path)) {}

    // The loader: SystemConfig takes its defaults and the table is emptied, then
    // the file's values are applied. True when the file was read, false when
    // it was missing or unreadable or the busy flag was held.
    bool Load(Shared& shared);

    // The writer: takes the busy flag (BusyFlag::takeYielding); when it stays
    // held, calls `repostSaveRequest` so that the save runs again later, and
    // returns false. Otherwise writes the whole file: false when it could not
    // be written (the old file stays whole).
    bool Save(Shared& shared, const std::function<void()>& repostSaveRequest);

    const std::string& path() const { return path_; }
    // The file exists but could not be read at start: this run uses the
    // defaults and does not write over it.
    bool keepsExistingFile() const { return keepExistingFile_; }

private:
    FileOps& ops_;
    std::string path_;
    // A file that exists but could not be read at start is not replaced by a
    // save: the user's rules in it would be lost.
    bool keepExistingFile_ = false;
};

}  // namespace torvane
