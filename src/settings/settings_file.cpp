#include "settings/settings_file.h"

#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "settings/settings_format.h"

namespace torvane {

namespace {
constexpr int kReplaceAttempts = 5;     // a replace refused while another program holds the file
constexpr int kReplacePauseMs = 20;
}  // namespace

std::string TempFileName(const std::string& path, unsigned long pid, unsigned n) {
    return path + "." + std::to_string(pid) + "." + std::to_string(n) + ".tmp";
}

std::optional<unsigned long> TempFileOwner(const std::string& candidate, const std::string& path) {
    const std::string prefix = path + ".", suffix = ".tmp";
    if (candidate.size() <= prefix.size() + suffix.size() || candidate.compare(0, prefix.size(), prefix) != 0 ||
        candidate.compare(candidate.size() - suffix.size(), suffix.size(), suffix) != 0)
        return std::nullopt;
    // "<pid>.<n>" in between: two runs of digits, each a 32-bit number.
    const std::string middle = candidate.substr(prefix.size(), candidate.size() - prefix.size() - suffix.size());
    const std::size_t dot = middle.find('.');
    auto number = [](const std::string& s) -> std::optional<unsigned long> {
        if (s.empty() || s.size() > 10 || s.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
        const unsigned long long value = std::stoull(s);
        if (value > 0xFFFFFFFFull) return std::nullopt;
        return static_cast<unsigned long>(value);
    };
    if (dot == std::string::npos || !number(middle.substr(dot + 1))) return std::nullopt;
    return number(middle.substr(0, dot));
}

void RemoveLeftovers(FileOps& ops, const std::string& path) {
    for (const std::string& file : ops.Siblings(path)) {
        const std::optional<unsigned long> owner = TempFileOwner(file, path);
        // This process saves one file at a time: one of its own is left over too.
        if (owner && (*owner == ops.ProcessId() || !ops.ProcessRuns(*owner))) ops.Remove(file);
    }
}

namespace {
// Why the step that just failed failed; a failure all the same when the
// platform cannot say.
FileFailure FailureOf(FileOps& ops) {
    FileFailure failure = ops.LastFailure();
    if (failure.error == FileError::None) failure.error = FileError::Other;
    return failure;
}
}  // namespace

FileFailure WriteFileReplacing(FileOps& ops, const std::string& path, const std::string& bytes) {
    RemoveLeftovers(ops, path);
    std::string temp;
    FileOps::Handle handle = 0;
    if (!ops.CreateTemp(path, temp, handle)) return FailureOf(ops);

    bool ok = ops.Write(handle, bytes.data(), bytes.size());
    ok = ok && ops.Flush(handle);
    ok = ops.Close(handle) && ok;
    if (ok) {
        ReplaceStatus status = ReplaceStatus::Failed;
        for (int attempt = 0; attempt < kReplaceAttempts; ++attempt) {
            if (attempt > 0) ops.Pause(kReplacePauseMs);
            status = ops.Replace(temp, path);
            if (status != ReplaceStatus::Busy) break;
        }
        ok = status == ReplaceStatus::Ok;
    }
    if (ok) return {};
    const FileFailure failure = FailureOf(ops);
    ops.Remove(temp);
    return failure;
}

bool SettingsFile::Load(Shared& shared) {
    shared.config = SystemConfig::Defaults();
    shared.table.release();
    RemoveLeftovers(ops_, path_);

    BusyGuard guard = BusyGuard::tryTake(shared.busy);
    if (!guard) return false;

    std::string text;
    ReadStatus status = ReadStatus::Failed;
    try {
        status = ops_.ReadWhole(path_, text);
    } catch (const std::bad_alloc&) {
        // no memory for the text: it stays unread, as a failed read
    }
    if (status != ReadStatus::Ok) {
        keepExistingFile_ = status == ReadStatus::Failed;
        return false;
    }

    SystemConfig config;
    std::vector<WindowRule> rules;
    try {
        ParseSettings(text, config, rules);
    } catch (const std::bad_alloc&) {
        // Too large to hold: run on the defaults and keep the file as it is.
        keepExistingFile_ = true;
        return false;
    }
    // What the writer would not write again (a comment, an unknown key, a
    // damaged file) is kept beside it before the first save replaces it.
    try {
        if (FormatSettings(config, rules) != text) backup_ = std::move(text);
    } catch (const std::bad_alloc&) {
        keepExistingFile_ = true;
        return false;
    }
    shared.config = config;
    shared.table.install(std::move(rules));
    keepExistingFile_ = false;
    return true;
}

SaveResult SettingsFile::Save(Shared& shared, const std::function<void()>& repostSaveRequest) {
    if (!shared.busy.takeYielding()) {
        if (repostSaveRequest) repostSaveRequest();
        return {SaveResult::Postponed};
    }
    std::string bytes;
    {
        BusyGuard guard(shared.busy);
        try {
            bytes = FormatSettings(shared.config, shared.table.rules());
        } catch (const std::bad_alloc&) {
            return {SaveResult::Failed, {FileError::Other, 0}};
        }
    }
    // The text is complete; the file work needs the table no longer, so the
    // workers go on meanwhile.
    if (keepExistingFile_) {
        if (ops_.Exists(path_)) return {SaveResult::Protected};
        keepExistingFile_ = false;  // the user has removed it meanwhile
    }
    if (!backup_.empty()) {
        const FileFailure failure = WriteFileReplacing(ops_, backupPath(), backup_);
        if (failure.error != FileError::None) return {SaveResult::BackupFailed, failure};
        backup_.clear();
        backup_.shrink_to_fit();
    }
    const FileFailure failure = WriteFileReplacing(ops_, path_, bytes);
    return {failure.error == FileError::None ? SaveResult::Written : SaveResult::Failed, failure};
}

}  // namespace torvane
