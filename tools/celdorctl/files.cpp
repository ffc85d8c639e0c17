#include "files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace celdorctl {

namespace {

[[noreturn]] void Fail(const char* what, const fs::path& path, int error) {
    throw std::runtime_error(std::string("cannot ") + what + " " + path.string() + ": " +
                             std::strerror(error));
}

// Writes all of `text` to `fd`; false with errno set when the system refuses.
bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t written = ::write(fd, text.data(), text.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        text.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

std::string ReadTextFile(const fs::path& path) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        Fail("read", path, EISDIR);
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Fail("read", path, errno ? errno : ENOENT);
    }
    std::string text(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) {
        Fail("read", path, errno ? errno : EIO);
    }
    return text;
}

void WriteTextFile(const fs::path& path, std::string_view text) {
    std::string temporary = path.string() + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        Fail("write", path, errno);
    }
    // mkstemp makes the file for its owner alone; a kept file is as readable as any other.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    const bool written = WriteAll(fd, text) && ::fsync(fd) == 0;
    int error = errno;
    if (::close(fd) != 0 && written) {
        error = errno;
    }
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = written ? errno : error;
        ::unlink(temporary.c_str());
        Fail("write", path, error);
    }
}

FolderLock::FolderLock(const fs::path& folder, Use use, std::chrono::milliseconds patience) {
    const fs::path file = folder / "lock";
    m_fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        m_fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (m_fd < 0) {
        return;
    }
    const int operation = (use == Use::Write ? LOCK_EX : LOCK_SH) | LOCK_NB;
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (::flock(m_fd, operation) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            const int error = errno;
            ::close(m_fd);
            m_fd = -1;
            Fail("lock", file, error);
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            ::close(m_fd);
            m_fd = -1;
            throw std::runtime_error(
                "the state folder " + folder.string() +
                " is in use by another celdorctl run, which has not finished after " +
                std::to_string(std::chrono::duration_cast<std::chrono::seconds>(patience).count()) +
                " s; nothing was changed (try again, or give another folder with --state DIR)");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

FolderLock::~FolderLock() {
    if (m_fd >= 0) {
        ::close(m_fd); // releases the lock
    }
}

} // namespace celdorctl
