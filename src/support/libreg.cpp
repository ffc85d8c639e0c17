// Registry helpers exported to the host: one key opened, one operation, the key closed again.
#include <celdor/libreg.h>

#include "support/logger.h"
#include "support/wstr.h"

using Celdor::CFileLogger;
using Celdor::Text::Const;

namespace {

constexpr REGSAM kReadAccess = KEY_READ;                          // 0x20019
constexpr REGSAM kReadWriteAccess = KEY_READ | KEY_WRITE;         // 0x2001F
constexpr REGSAM kReadAccess64 = KEY_READ | KEY_WOW64_64KEY;      // 0x20119
constexpr REGSAM kCreateAccess = KEY_QUERY_VALUE | KEY_SET_VALUE; // 3
static_assert(kReadAccess == 0x20019 && kReadWriteAccess == 0x2001F && kReadAccess64 == 0x20119 &&
              kCreateAccess == 3);

// The longest string RegGetStr reads, in bytes, terminator included (130 characters).
constexpr DWORD kMaxStrBytes = 260;
// The data an existence check reads at most.
constexpr DWORD kExistBufferBytes = 1024;

const WCHAR kSourceName[] = W("libreg");
const WCHAR kErrorFormat[] = W("%s :line %d, Error %x");

// Closes the key it holds when it goes out of scope, on every path.
class Key {
public:
    Key() = default;
    ~Key() {
        if (m_key != nullptr) {
            RegCloseKey(m_key);
        }
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    PHKEY Out() { return &m_key; }
    // After a failed open or create the handle variable holds nothing to close.
    void Forget() { m_key = nullptr; }
    HKEY Get() const { return m_key; }
    explicit operator bool() const { return m_key != nullptr; }

private:
    HKEY m_key = nullptr;
};

LSTATUS Open(HKEY root, const WCHAR* subKey, REGSAM access, Key& key) {
    LSTATUS status = RegOpenKeyExW(root, subKey, 0, access, key.Out());
    if (status != ERROR_SUCCESS) {
        key.Forget();
    }
    return status;
}

LSTATUS Create(HKEY root, const WCHAR* subKey, REGSAM access, Key& key) {
    DWORD disposition = 0;
    LSTATUS status = RegCreateKeyExW(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                     nullptr, key.Out(), &disposition);
    if (status != ERROR_SUCCESS) {
        key.Forget();
    }
    return status;
}

int GetDword(HKEY root, const WCHAR* subKey, const WCHAR* valueName, DWORD& data) {
    Key key;
    if (Open(root, subKey, kReadAccess, key) != ERROR_SUCCESS || !key) {
        return 0;
    }
    DWORD size = sizeof(DWORD);
    LSTATUS status = RegQueryValueExW(key.Get(), valueName, nullptr, nullptr,
                                      reinterpret_cast<LPBYTE>(&data), &size);
    return status == ERROR_SUCCESS ? 1 : 0;
}

int SetValue(const WCHAR* subKey, const WCHAR* valueName, DWORD type, const BYTE* data,
             DWORD size) {
    Key key;
    if (Open(HKEY_CURRENT_USER, subKey, kReadWriteAccess, key) != ERROR_SUCCESS || !key) {
        return 0;
    }
    if (RegSetValueExW(key.Get(), valueName, 0, type, data, size) != ERROR_SUCCESS) {
        return 0;
    }
    RegFlushKey(key.Get());
    return 1;
}

int SetString(const WCHAR* subKey, const WCHAR* valueName, const WCHAR* data, DWORD type) {
    // A null text is stored as the empty string.
    const WCHAR* text = data != nullptr ? data : W("");
    auto size = static_cast<DWORD>((Celdor::Text::Length(text) + 1) * sizeof(WCHAR));
    return SetValue(subKey, valueName, type, reinterpret_cast<const BYTE*>(text), size);
}

// What distinguishes the four value-existence checks.
struct ExistCheck {
    HKEY root;
    REGSAM access;
    bool readsData; // false: asks only for the size
    const WCHAR* debugFormat;
    int openSite;
    int querySite;
};

int DoesExistValue(const ExistCheck& check, const WCHAR* subKey, const WCHAR* valueName) {
    Key key;
    if (Open(check.root, subKey, check.access, key) != ERROR_SUCCESS) {
        CFileLogger::GetInstance()->LogError(kErrorFormat, kSourceName, check.openSite,
                                             GetLastError());
        SetLastError(LIBREG_ERROR_KEY_NOT_OPEN);
        return 0;
    }
    if (!key) {
        SetLastError(LIBREG_ERROR_KEY_NOT_OPEN);
        return 0;
    }

    BYTE data[kExistBufferBytes] = {};
    DWORD size = check.readsData ? kExistBufferBytes : sizeof(DWORD);
    LSTATUS status = RegQueryValueExW(key.Get(), valueName, nullptr, nullptr,
                                      check.readsData ? data : nullptr, &size);
    if (status == ERROR_SUCCESS) {
        return 1;
    }
    CFileLogger::GetInstance()->LogDebugInfo(check.debugFormat, subKey, valueName,
                                             static_cast<int>(status), static_cast<int>(size));
    CFileLogger::GetInstance()->LogError(kErrorFormat, kSourceName, check.querySite,
                                         GetLastError());
    SetLastError(static_cast<DWORD>(status));
    return 0;
}

} // namespace

CELDOR_API int RegGetDWORD(const WCHAR* subKey, const WCHAR* valueName, DWORD& data) {
    return GetDword(HKEY_CURRENT_USER, subKey, valueName, data);
}

CELDOR_API int RegGetDWORD_Local_Machine(const WCHAR* subKey, const WCHAR* valueName, DWORD& data) {
    return GetDword(HKEY_LOCAL_MACHINE, subKey, valueName, data);
}

CELDOR_API int RegGetStr(const WCHAR* subKey, const WCHAR* valueName, WCHAR* data) {
    Key key;
    if (Open(HKEY_CURRENT_USER, subKey, kReadAccess, key) != ERROR_SUCCESS) {
        if (Create(HKEY_CURRENT_USER, subKey, kReadWriteAccess, key) != ERROR_SUCCESS) {
            SetLastError(LIBREG_ERROR_KEY_NOT_CREATED);
            return 0;
        }
    }
    if (!key) {
        SetLastError(LIBREG_ERROR_KEY_NOT_OPEN);
        return 0;
    }
    DWORD size = kMaxStrBytes;
    LSTATUS status = RegQueryValueExW(key.Get(), valueName, nullptr, nullptr,
                                      reinterpret_cast<LPBYTE>(data), &size);
    return status == ERROR_SUCCESS ? 1 : 0;
}

CELDOR_API int RegSetStr(const WCHAR* subKey, const WCHAR* valueName, const WCHAR* data) {
    return SetString(subKey, valueName, data, REG_EXPAND_SZ);
}

CELDOR_API int RegSetSz(const WCHAR* subKey, const WCHAR* valueName, const WCHAR* data) {
    return SetString(subKey, valueName, data, REG_SZ);
}

CELDOR_API int RegSetDWORD(const WCHAR* subKey, const WCHAR* valueName, DWORD value) {
    return SetValue(subKey, valueName, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                    sizeof(value));
}

CELDOR_API int RegDoesExistValue(const WCHAR* subKey, const WCHAR* valueName) {
    const ExistCheck check{HKEY_LOCAL_MACHINE,
                           kReadAccess64,
                           true,
                           W("Reg_IsExistValue valuepath %s, valuename %s, lstatus %d, valen %d"),
                           181,
                           201};
    return DoesExistValue(check, subKey, valueName);
}

CELDOR_API int RegDoesExistSzValue(const WCHAR* subKey, const WCHAR* valueName) {
    const ExistCheck check{
        HKEY_CURRENT_USER,
        kReadAccess64,
        true,
        W("RegDoesExistSzValue valuepath %s, valuename %s, lstatus %d, valen %d"),
        226,
        246};
    return DoesExistValue(check, subKey, valueName);
}

CELDOR_API int RegDoesExistStrValue(const WCHAR* subKey, const WCHAR* valueName) {
    const ExistCheck check{
        HKEY_CURRENT_USER,
        kReadAccess64,
        true,
        W("RegDoesExistStrValue valuepath %s, valuename %s, lstatus %d, valen %d"),
        271,
        291};
    return DoesExistValue(check, subKey, valueName);
}

CELDOR_API int RegDoesExistDwordValue(const WCHAR* subKey, const WCHAR* valueName) {
    const ExistCheck check{
        HKEY_CURRENT_USER,
        kReadAccess,
        false,
        W("Reg_IsExistDwordValue valuepath %s, valuename %s, lstatus %d, valen %d"),
        311,
        331};
    return DoesExistValue(check, subKey, valueName);
}

CELDOR_API int RegDoesExistKey(const WCHAR* subKey) {
    Key key;
    return Open(HKEY_CURRENT_USER, subKey, kReadAccess, key) == ERROR_SUCCESS ? 1 : 0;
}

CELDOR_API int RegCreateKeyW(const WCHAR* subKey) {
    Key key;
    if (Open(HKEY_CURRENT_USER, subKey, kReadAccess, key) == ERROR_SUCCESS) {
        return 1;
    }
    Key created;
    return Create(HKEY_CURRENT_USER, subKey, kCreateAccess, created) == ERROR_SUCCESS ? 1 : 0;
}

// The forms with modifiable strings, as hosts declare them.
CELDOR_API int RegGetDWORD(WCHAR* subKey, WCHAR* valueName, DWORD& data) {
    return RegGetDWORD(Const(subKey), Const(valueName), data);
}
CELDOR_API int RegGetDWORD_Local_Machine(WCHAR* subKey, WCHAR* valueName, DWORD& data) {
    return RegGetDWORD_Local_Machine(Const(subKey), Const(valueName), data);
}
CELDOR_API int RegGetStr(WCHAR* subKey, WCHAR* valueName, WCHAR* data) {
    return RegGetStr(Const(subKey), Const(valueName), data);
}
CELDOR_API int RegSetStr(WCHAR* subKey, WCHAR* valueName, WCHAR* data) {
    return RegSetStr(Const(subKey), Const(valueName), Const(data));
}
CELDOR_API int RegSetSz(WCHAR* subKey, WCHAR* valueName, WCHAR* data) {
    return RegSetSz(Const(subKey), Const(valueName), Const(data));
}
CELDOR_API int RegSetDWORD(WCHAR* subKey, WCHAR* valueName, DWORD value) {
    return RegSetDWORD(Const(subKey), Const(valueName), value);
}
CELDOR_API int RegDoesExistValue(WCHAR* subKey, WCHAR* valueName) {
    return RegDoesExistValue(Const(subKey), Const(valueName));
}
CELDOR_API int RegDoesExistSzValue(WCHAR* subKey, WCHAR* valueName) {
    return RegDoesExistSzValue(Const(subKey), Const(valueName));
}
CELDOR_API int RegDoesExistStrValue(WCHAR* subKey, WCHAR* valueName) {
    return RegDoesExistStrValue(Const(subKey), Const(valueName));
}
CELDOR_API int RegDoesExistDwordValue(WCHAR* subKey, WCHAR* valueName) {
    return RegDoesExistDwordValue(Const(subKey), Const(valueName));
}
CELDOR_API int RegDoesExistKey(WCHAR* subKey) {
    return RegDoesExistKey(Const(subKey));
}
CELDOR_API int RegCreateKeyW(WCHAR* subKey) {
    return RegCreateKeyW(Const(subKey));
}
