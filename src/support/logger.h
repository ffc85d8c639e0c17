// The diagnostic log: failures of the library, one time-stamped, numbered UTF-16 line each,
// appended to FervoManager.log in the user's local application-data folder when the machine's
// "WriteLevel" mask lets the level through. Internal to the library.
#pragma once

#include "win32.h"

#include <celdor/cstring.h>

namespace Celdor {

// The level of a message: one of these bits.
inline constexpr DWORD LOG_LEVEL_ERROR = 0x100;
inline constexpr DWORD LOG_LEVEL_WARNING = 0x200;
inline constexpr DWORD LOG_LEVEL_DEBUG_INFO = 0x400;

class CFileLogger {
public:
    // The single instance, created on first use and never destroyed.
    static CFileLogger* GetInstance();

    // Format a message (Text::FormatV: %s wide string, %d int, %x unsigned hexadecimal),
    // end it with CR LF and hand it to WriteLog at the entry point's level. A message longer
    // than 1023 (LogError) or 511 (LogDebugInfo) characters is cut to that length. Return
    // WriteLog's result, or false when the message could not be built (out of memory). Nothing
    // is thrown.
    bool LogError(const WCHAR* format, ...);
    bool LogDebugInfo(const WCHAR* format, ...);

    // The level filter: true when the mask lets `level` through (whether or not the line could
    // then be built and written), false when nothing was attempted.
    bool WriteLog(CString text, DWORD level);

    // The "WriteLevel" mask, read anew on every call; 0 when the key or value is missing or
    // unreadable.
    DWORD ReadWriteLevel();

    // Appends one line (time stamp, counter, `text`) to the log file. Null does nothing.
    void AppendLine(const WCHAR* text);

    // The log file path as the library computes it at load: the local application-data folder
    // followed by the log's relative path, or the relative path alone when the folder is not
    // known.
    static CString BuildLogFilePath();
    static const CString& LogFilePath();

    CFileLogger(const CFileLogger&) = delete;
    CFileLogger& operator=(const CFileLogger&) = delete;

private:
    // AppendLine of `header` followed by `text`, without putting the two together first.
    void AppendLine(const WCHAR* header, const WCHAR* text);

    CFileLogger() = default;
    ~CFileLogger() = default;
};

} // namespace Celdor
