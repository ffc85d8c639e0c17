#include "support/logger.h"

#include "support/wstr.h"

#include <atomic>
#include <cstdarg>
#include <ctime>
#include <iterator>
#include <mutex>
#include <vector>

namespace Celdor {

namespace {

// Where the mask lives, and the log's place under the local application-data folder.
const WCHAR kLevelKey[] = W("Software\\WOW6432Node\\Harlune\\PelmarkService\\FileLogger");
const WCHAR kLevelValue[] = W("WriteLevel");
const char kRelativeLogPath[] = "\\Harlune\\Pelmark\\Logs\\OstraNotebookAddin\\FervoManager.log";

const WCHAR kHeaderError[] = W("ERROR --------------------");
const WCHAR kHeaderWarning[] = W("WARNING --------------------");
const WCHAR kHeaderDebugInfo[] = W("debug info --------------------");

// The file stops growing at 2 MiB: lines that would be added at or beyond it are dropped.
constexpr DWORD kMaxLogSize = 0x200000;

constexpr std::size_t kErrorBufferChars = 1024;
constexpr std::size_t kDebugBufferChars = 512;
constexpr std::size_t kLineChars = 780;
constexpr std::size_t kStampChars = 100;
constexpr int kWideStampChars = 256;

// Serialises the open-seek-write-close of a line, so that lines from several threads never
// interleave and their numbers rise in file order.
std::mutex s_appendMutex;
// The number of the next line; every line that gets as far as being formatted takes one.
std::atomic<int> s_lineCounter{0};

// Computed while the library is loaded, before any exported function can run.
const CString s_logFilePath = CFileLogger::BuildLogFilePath();

class FileHandle {
public:
    explicit FileHandle(HANDLE handle) : m_handle(handle) {}
    ~FileHandle() {
        if (m_handle != INVALID_HANDLE_VALUE) {
            CloseHandle(m_handle);
        }
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

bool IsHighSurrogate(WCHAR c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

// Ends a line that was cut at the buffer's size with CR LF, without leaving half a surrogate
// pair before it.
std::size_t EndCutLine(WCHAR* line) {
    std::size_t length = Text::Length(line);
    if (length < 2) {
        return length;
    }
    if (length >= 3 && IsHighSurrogate(line[length - 3])) {
        --length;
    }
    line[length - 2] = W('\r');
    line[length - 1] = W('\n');
    line[length] = 0;
    return length;
}

// Puts a line together from its pieces in a buffer of kLineChars characters, keeping what fits
// (the terminator included) and ending a line that had to be cut with CR LF. The pieces are
// copied where they stand, with no text made in between.
class LineBuilder {
public:
    explicit LineBuilder(WCHAR* line) : m_line(line) {}

    void Put(WCHAR c) {
        if (m_length + 1 < kLineChars) {
            m_line[m_length++] = c;
        } else {
            m_cut = true;
        }
    }
    void Put(const WCHAR* text) {
        WCHAR* out = m_line + m_length;
        WCHAR* const end = m_line + kLineChars - 1;
        while (*text != 0 && out < end) {
            *out++ = *text++;
        }
        m_length = static_cast<std::size_t>(out - m_line);
        m_cut = m_cut || *text != 0;
    }
    void PutNumber(int number) {
        WCHAR digits[12];
        Text::FromInt(number, digits, std::size(digits));
        Put(digits);
    }

    // The line's length in characters, terminated. A high surrogate at the cut has lost its
    // partner and goes as well.
    std::size_t Finish() {
        if (m_cut && m_length > 0 && IsHighSurrogate(m_line[m_length - 1])) {
            --m_length;
        }
        m_line[m_length] = 0;
        return m_cut ? EndCutLine(m_line) : m_length;
    }

private:
    WCHAR* m_line;
    std::size_t m_length = 0;
    bool m_cut = false;
};

// Formats a message and hands it on. The log never fails its caller: whatever goes wrong on the
// way, running out of memory included, costs the message and nothing else. `buffer` holds
// `count` characters and two more, so that CR LF fits after the longest message and the text is
// made in one piece.
bool LogAt(CFileLogger& logger, WCHAR* buffer, std::size_t count, DWORD level, const WCHAR* format,
           va_list args) {
    try {
        const int formatted = Text::FormatV(buffer, count, format, args);
        std::size_t length =
            formatted >= 0 ? static_cast<std::size_t>(formatted) : Text::Length(buffer);
        buffer[length++] = W('\r');
        buffer[length++] = W('\n');
        return logger.WriteLog(Text::Whole(buffer, length), level);
    } catch (...) {
        return false;
    }
}

} // namespace

CString CFileLogger::BuildLogFilePath() {
    CString path;
    PWSTR folder = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder))) {
        path = CString(folder);
    }
    CoTaskMemFree(folder);

    int needed = MultiByteToWideChar(CP_ACP, 0, kRelativeLogPath, -1, nullptr, 0);
    if (needed > 0) {
        std::vector<WCHAR> relative(static_cast<std::size_t>(needed), 0);
        if (MultiByteToWideChar(CP_ACP, 0, kRelativeLogPath, -1, relative.data(), needed) > 0) {
            path.Append(relative.data(), relative.size() - 1);
        }
    }
    return path;
}

const CString& CFileLogger::LogFilePath() {
    return s_logFilePath;
}

// Static storage rather than the heap, so that taking the instance never fails; the object has
// nothing to destroy.
CFileLogger* CFileLogger::GetInstance() {
    static CFileLogger instance;
    return &instance;
}

bool CFileLogger::LogError(const WCHAR* format, ...) {
    WCHAR buffer[kErrorBufferChars + 2]; // the message, then CR LF
    va_list args;
    va_start(args, format);
    bool written = LogAt(*this, buffer, kErrorBufferChars, LOG_LEVEL_ERROR, format, args);
    va_end(args);
    return written;
}

bool CFileLogger::LogDebugInfo(const WCHAR* format, ...) {
    WCHAR buffer[kDebugBufferChars + 2]; // the message, then CR LF
    va_list args;
    va_start(args, format);
    bool written = LogAt(*this, buffer, kDebugBufferChars, LOG_LEVEL_DEBUG_INFO, format, args);
    va_end(args);
    return written;
}

DWORD CFileLogger::ReadWriteLevel() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kLevelKey, 0, KEY_READ, &key) != ERROR_SUCCESS ||
        key == nullptr) {
        return 0;
    }
    DWORD mask = 0;
    DWORD size = sizeof(mask);
    LSTATUS status = RegQueryValueExW(key, kLevelValue, nullptr, nullptr,
                                      reinterpret_cast<LPBYTE>(&mask), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? mask : 0;
}

// The mask's bits are thresholds: 0x100 admits errors, 0x200 warnings and errors, 0x400
// everything. The mask is read again at each step, so a change made meanwhile is seen.
bool CFileLogger::WriteLog(CString text, DWORD level) {
    const WCHAR* header = nullptr;

    DWORD mask = ReadWriteLevel();
    if ((mask & level & LOG_LEVEL_ERROR) != 0) {
        header = kHeaderError;
    }
    if (header == nullptr) {
        mask = ReadWriteLevel();
        if ((mask & LOG_LEVEL_WARNING) != 0) {
            if ((level & LOG_LEVEL_ERROR) != 0) {
                header = kHeaderError;
            } else if ((level & LOG_LEVEL_WARNING) != 0) {
                header = kHeaderWarning;
            }
        }
    }
    if (header == nullptr) {
        mask = ReadWriteLevel();
        if ((mask & LOG_LEVEL_DEBUG_INFO) != 0) {
            if ((level & LOG_LEVEL_ERROR) != 0) {
                header = kHeaderError;
            } else if ((level & LOG_LEVEL_WARNING) != 0) {
                header = kHeaderWarning;
            } else if ((level & LOG_LEVEL_DEBUG_INFO) != 0) {
                header = kHeaderDebugInfo;
            }
        }
    }
    if (header == nullptr) {
        return false;
    }

    try {
        AppendLine(header, text.GetString());
    } catch (...) {
        // No lock for the file: the line is lost, as when the file cannot be opened.
    }
    return true;
}

void CFileLogger::AppendLine(const WCHAR* text) {
    if (text != nullptr) {
        AppendLine(W(""), text);
    }
}

void CFileLogger::AppendLine(const WCHAR* header, const WCHAR* text) {
    WCHAR line[kLineChars] = {};

    std::lock_guard<std::mutex> lock(s_appendMutex);

    const WCHAR* path = s_logFilePath.GetString();
    HANDLE opened =
        CreateFileW(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        opened =
            CreateFileW(path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, 0, nullptr);
    }
    if (opened == INVALID_HANDLE_VALUE) {
        return;
    }
    FileHandle file(opened);

    // A failed size query answers INVALID_FILE_SIZE and so drops the line as well.
    if (GetFileSize(file.Get(), nullptr) >= kMaxLogSize) {
        return;
    }
    // A line written where the pointer was left after a failed seek would overwrite the start
    // of the file: it is dropped instead, and takes no number.
    if (SetFilePointer(file.Get(), 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
        GetLastError() != NO_ERROR) {
        return;
    }

    char stamp[kStampChars] = {};
    WCHAR wideStamp[kWideStampChars] = {};
    bool haveStamp = false;
    __time64_t now = _time64(nullptr);
    struct tm local = {};
    if (_localtime64_s(&local, &now) == 0 &&
        std::strftime(stamp, sizeof(stamp), "%Y-%m-%d,%H:%M:%S", &local) > 0) {
        int needed = MultiByteToWideChar(CP_ACP, 0, stamp, -1, nullptr, 0);
        haveStamp = needed > 0 && needed <= kWideStampChars &&
                    MultiByteToWideChar(CP_ACP, 0, stamp, -1, wideStamp, kWideStampChars) > 0;
    }

    // "[stamp number] " or, without a stamp, "[number] ", then header and text.
    const int number = s_lineCounter.fetch_add(1);
    LineBuilder builder(line);
    builder.Put(W('['));
    if (haveStamp) {
        builder.Put(wideStamp);
        builder.Put(W(' '));
    }
    builder.PutNumber(number);
    builder.Put(W("] "));
    builder.Put(header);
    builder.Put(text);
    const std::size_t length = builder.Finish();

    DWORD written = 0;
    WriteFile(file.Get(), line, static_cast<DWORD>(length * sizeof(WCHAR)), &written, nullptr);
}

} // namespace Celdor
