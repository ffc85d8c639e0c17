// Files the tool reads and writes on a machine that is not the notebook: whole text files,
// written so that a reader never sees half of one, and the lock that lets one run at a time
// change a state folder. Every failure is a std::runtime_error whose message names the file and
// the system's reason ("cannot write /tmp/x: Is a directory").
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

namespace celdorctl {

std::string ReadTextFile(const std::filesystem::path& path);

// Written beside the target under a name of its own, flushed to the disk and renamed over the
// target: an interrupted run leaves either the old file or the new one, and two runs writing
// the same file never mix their texts.
void WriteTextFile(const std::filesystem::path& path, std::string_view text);

// A lock on a folder, held from construction to destruction: shared by runs that only read,
// exclusive for a run that writes. Waits for other runs up to `patience`, then throws. A folder
// the lock file cannot be made in is not locked (held() is false): no run can change it either.
class FolderLock {
public:
    enum class Use { Read, Write };
    FolderLock(const std::filesystem::path& folder, Use use, std::chrono::milliseconds patience);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace celdorctl
