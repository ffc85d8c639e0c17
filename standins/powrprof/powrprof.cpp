// The power-scheme functions of powrprof.dll, for a Wine prefix whose own powrprof.dll does not
// implement them. Placed beside a program and chosen with WINEDLLOVERRIDES="powrprof=n,b", it
// serves the plan functions from the registry, where Windows keeps the plans
// (HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Power\User\PowerSchemes), by the rules of
// the power-scheme model that the simulated notebook runs as well. Like Windows, the functions
// return their status and leave the thread's last error alone.
#include <celdor_models/power_schemes.h>

#include <windows.h>

#include <objbase.h>

#include <string>
#include <vector>

namespace {

namespace power = celdor::models::power;
using power::GuidArg;
using power::status::kFileNotFound;
using power::status::kNoMoreItems;
using power::status::kSuccess;

static_assert(sizeof(WCHAR) == sizeof(char16_t));

const WCHAR* Wide(const char16_t* text) {
    return reinterpret_cast<const WCHAR*>(text);
}

power::Guid ToModel(const GUID& g) {
    return power::FromHost(g);
}

GUID ToGuid(const power::Guid& m) {
    return power::ToHost<GUID>(m);
}

// A DWORD or ULONG the caller passes by pointer, as the model's 32-bit number: null stays null,
// and what the model leaves in it goes back to the caller.
class Number {
public:
    explicit Number(unsigned long* caller) : m_caller(caller), m_value(caller ? *caller : 0) {}
    Number(const Number&) = delete;
    Number& operator=(const Number&) = delete;
    ~Number() {
        if (m_caller) {
            *m_caller = m_value;
        }
    }
    std::uint32_t* get() { return m_caller ? &m_value : nullptr; }

private:
    unsigned long* m_caller;
    std::uint32_t m_value;
};

std::wstring Text(const power::Guid& guid) {
    const std::string text = power::GuidText(guid);
    return std::wstring(text.begin(), text.end());
}

// An open registry key, closed when it goes.
class Key {
public:
    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key() {
        if (m_key) {
            RegCloseKey(m_key);
        }
    }
    LSTATUS open(const std::wstring& path, REGSAM access) {
        return RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, access, &m_key);
    }
    LSTATUS create(const std::wstring& path) {
        return RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                               KEY_READ | KEY_WRITE, nullptr, &m_key, nullptr);
    }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

// The plans in the registry: a key per plan under the schemes key, enumerated in the registry's
// order of those keys.
class RegistryStore final : public power::SchemeStore {
public:
    std::uint32_t schemeAt(std::uint32_t index, power::Guid& scheme) override {
        Key schemes;
        if (const LSTATUS result = schemes.open(Wide(power::kSchemesKey), KEY_READ)) {
            return result == ERROR_FILE_NOT_FOUND ? kNoMoreItems : result;
        }
        // Keys whose names are not GUIDs are no plans.
        std::uint32_t found = 0;
        for (DWORD i = 0;; ++i) {
            WCHAR name[256];
            DWORD length = ARRAYSIZE(name);
            const LSTATUS result =
                RegEnumKeyExW(schemes.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (result == ERROR_MORE_DATA) {
                continue;
            }
            if (result != ERROR_SUCCESS) {
                return result;
            }
            const auto guid = power::ParseGuid(std::string(name, name + length));
            if (guid && found++ == index) {
                scheme = *guid;
                return kSuccess;
            }
        }
    }
    bool exists(const power::Guid& scheme) override {
        Key key;
        return key.open(path(scheme), KEY_READ) == ERROR_SUCCESS;
    }
    std::uint32_t name(const power::Guid& scheme, std::u16string& name) override {
        const std::wstring key = path(scheme);
        DWORD size = 0;
        LSTATUS result =
            RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), Wide(power::kFriendlyNameValue),
                         RRF_RT_REG_SZ, nullptr, nullptr, &size);
        std::vector<WCHAR> text(size / sizeof(WCHAR) + 1, 0);
        size = static_cast<DWORD>(text.size() * sizeof(WCHAR));
        if (result == ERROR_SUCCESS) {
            result = RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), Wide(power::kFriendlyNameValue),
                                  RRF_RT_REG_SZ, nullptr, text.data(), &size);
        }
        if (result != ERROR_SUCCESS) {
            return result;
        }
        name.assign(reinterpret_cast<const char16_t*>(text.data()));
        return kSuccess;
    }
    std::uint32_t setName(const power::Guid& scheme, std::u16string_view name) override {
        const std::u16string text(name);
        return setString(path(scheme), power::kFriendlyNameValue, text);
    }
    std::uint32_t active(power::Guid& scheme) override {
        WCHAR text[64];
        DWORD size = sizeof(text);
        if (const LSTATUS result = RegGetValueW(HKEY_LOCAL_MACHINE, Wide(power::kSchemesKey),
                                                Wide(power::kActiveSchemeValue), RRF_RT_REG_SZ,
                                                nullptr, text, &size)) {
            return result == ERROR_MORE_DATA ? kFileNotFound : result;
        }
        const auto guid = power::ParseGuid(std::string(text, text + lstrlenW(text)));
        if (!guid) {
            return kFileNotFound;
        }
        scheme = *guid;
        return kSuccess;
    }
    std::uint32_t setActive(const power::Guid& scheme) override {
        const std::wstring text = Text(scheme);
        return setString(Wide(power::kSchemesKey), power::kActiveSchemeValue,
                         std::u16string(text.begin(), text.end()));
    }
    std::uint32_t value(const power::Guid& scheme, power::Setting setting, bool ac,
                        std::uint32_t& value) override {
        DWORD data = 0;
        DWORD size = sizeof(data);
        if (const LSTATUS result =
                RegGetValueW(HKEY_LOCAL_MACHINE, path(scheme, setting).c_str(), valueName(ac),
                             RRF_RT_REG_DWORD, nullptr, &data, &size)) {
            return result;
        }
        value = data;
        return kSuccess;
    }
    std::uint32_t setValue(const power::Guid& scheme, power::Setting setting, bool ac,
                           std::uint32_t value) override {
        Key key;
        if (const LSTATUS result = key.create(path(scheme, setting))) {
            return result;
        }
        const DWORD data = value;
        return RegSetValueExW(key.get(), valueName(ac), 0, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&data), sizeof(data));
    }
    std::uint32_t copy(const power::Guid& from, const power::Guid& to) override {
        Key source;
        Key copy;
        LSTATUS result = source.open(path(from), KEY_READ);
        if (result == ERROR_SUCCESS) {
            result = copy.create(path(to));
        }
        if (result == ERROR_SUCCESS) {
            result = RegCopyTreeW(source.get(), nullptr, copy.get());
        }
        if (result != ERROR_SUCCESS && copy.get()) {
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, path(to).c_str());
        }
        return result;
    }
    std::uint32_t remove(const power::Guid& scheme) override {
        return RegDeleteTreeW(HKEY_LOCAL_MACHINE, path(scheme).c_str());
    }

private:
    static std::wstring path(const power::Guid& scheme) {
        return std::wstring(Wide(power::kSchemesKey)) + L"\\" + Text(scheme);
    }
    static std::wstring path(const power::Guid& scheme, power::Setting setting) {
        return path(scheme) + L"\\" + Text(power::kVideoSubgroup) + L"\\" +
               Text(power::SettingGuid(setting));
    }
    static const WCHAR* valueName(bool ac) { return Wide(ac ? power::kAcValue : power::kDcValue); }
    static std::uint32_t setString(const std::wstring& path, const char16_t* name,
                                   const std::u16string& text) {
        Key key;
        if (const LSTATUS result = key.create(path)) {
            return result;
        }
        return RegSetValueExW(key.get(), Wide(name), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(text.c_str()),
                              static_cast<DWORD>((text.size() + 1) * sizeof(char16_t)));
    }
};

// The functions keep the thread's last error as the caller left it.
class KeepLastError {
public:
    KeepLastError() : m_error(GetLastError()) {}
    KeepLastError(const KeepLastError&) = delete;
    KeepLastError& operator=(const KeepLastError&) = delete;
    ~KeepLastError() { SetLastError(m_error); }

private:
    DWORD m_error;
};

// A GUID in a block the caller frees with LocalFree.
GUID* LocalGuid(const power::Guid& guid) {
    auto* block = static_cast<GUID*>(LocalAlloc(LMEM_FIXED, sizeof(GUID)));
    if (block) {
        *block = ToGuid(guid);
    }
    return block;
}

// Runs a function over the registry's plans; running out of memory is its status, not an
// exception through the caller's frames.
template <typename Body> DWORD Run(Body body) {
    const KeepLastError keep;
    try {
        RegistryStore store;
        return body(store);
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

} // namespace

extern "C" {

DWORD WINAPI PowerEnumerate(HKEY, const GUID*, const GUID*, ULONG AccessFlags, ULONG Index,
                            UCHAR* Buffer, DWORD* BufferSize) {
    return Run([&](RegistryStore& store) {
        return power::Enumerate(store, AccessFlags, Index, Buffer, Number(BufferSize).get());
    });
}

DWORD WINAPI PowerReadFriendlyName(HKEY, const GUID* SchemeGuid,
                                   const GUID* SubGroupOfPowerSettingsGuid,
                                   const GUID* PowerSettingGuid, UCHAR* Buffer, DWORD* BufferSize) {
    return Run([&](RegistryStore& store) {
        return power::ReadFriendlyName(
            store, GuidArg(SchemeGuid).get(), GuidArg(SubGroupOfPowerSettingsGuid).get(),
            GuidArg(PowerSettingGuid).get(), Buffer, Number(BufferSize).get());
    });
}

DWORD WINAPI PowerWriteFriendlyName(HKEY, const GUID* SchemeGuid,
                                    const GUID* SubGroupOfPowerSettingsGuid,
                                    const GUID* PowerSettingGuid, UCHAR* Buffer, DWORD BufferSize) {
    return Run([&](RegistryStore& store) {
        return power::WriteFriendlyName(store, GuidArg(SchemeGuid).get(),
                                        GuidArg(SubGroupOfPowerSettingsGuid).get(),
                                        GuidArg(PowerSettingGuid).get(), Buffer, BufferSize);
    });
}

DWORD WINAPI PowerGetActiveScheme(HKEY, GUID** ActivePolicyGuid) {
    return Run([&](RegistryStore& store) -> DWORD {
        if (!ActivePolicyGuid) {
            return ERROR_INVALID_PARAMETER;
        }
        power::Guid active;
        if (const DWORD result = power::GetActiveScheme(store, active)) {
            return result;
        }
        GUID* block = LocalGuid(active);
        if (!block) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        *ActivePolicyGuid = block;
        return ERROR_SUCCESS;
    });
}

DWORD WINAPI PowerSetActiveScheme(HKEY, const GUID* SchemeGuid) {
    return Run([&](RegistryStore& store) {
        return power::SetActiveScheme(store, GuidArg(SchemeGuid).get());
    });
}

DWORD WINAPI PowerReadACValue(HKEY, const GUID* SchemeGuid, const GUID* SubGroupOfPowerSettingsGuid,
                              const GUID* PowerSettingGuid, ULONG* Type, BYTE* Buffer,
                              DWORD* BufferSize) {
    return Run([&](RegistryStore& store) {
        return power::ReadValue(
            store, true, GuidArg(SchemeGuid).get(), GuidArg(SubGroupOfPowerSettingsGuid).get(),
            GuidArg(PowerSettingGuid).get(), Number(Type).get(), Buffer, Number(BufferSize).get());
    });
}

DWORD WINAPI PowerReadDCValue(HKEY, const GUID* SchemeGuid, const GUID* SubGroupOfPowerSettingsGuid,
                              const GUID* PowerSettingGuid, ULONG* Type, UCHAR* Buffer,
                              DWORD* BufferSize) {
    return Run([&](RegistryStore& store) {
        return power::ReadValue(
            store, false, GuidArg(SchemeGuid).get(), GuidArg(SubGroupOfPowerSettingsGuid).get(),
            GuidArg(PowerSettingGuid).get(), Number(Type).get(), Buffer, Number(BufferSize).get());
    });
}

DWORD WINAPI PowerWriteACValueIndex(HKEY, const GUID* SchemeGuid,
                                    const GUID* SubGroupOfPowerSettingsGuid,
                                    const GUID* PowerSettingGuid, DWORD AcValueIndex) {
    return Run([&](RegistryStore& store) {
        return power::WriteValueIndex(store, true, GuidArg(SchemeGuid).get(),
                                      GuidArg(SubGroupOfPowerSettingsGuid).get(),
                                      GuidArg(PowerSettingGuid).get(), AcValueIndex);
    });
}

DWORD WINAPI PowerWriteDCValueIndex(HKEY, const GUID* SchemeGuid,
                                    const GUID* SubGroupOfPowerSettingsGuid,
                                    const GUID* PowerSettingGuid, DWORD DcValueIndex) {
    return Run([&](RegistryStore& store) {
        return power::WriteValueIndex(store, false, GuidArg(SchemeGuid).get(),
                                      GuidArg(SubGroupOfPowerSettingsGuid).get(),
                                      GuidArg(PowerSettingGuid).get(), DcValueIndex);
    });
}

// A duplicate named by no GUID gets a new one, in a block the caller frees with LocalFree.
DWORD WINAPI PowerDuplicateScheme(HKEY, const GUID* SourceSchemeGuid,
                                  GUID** DestinationSchemeGuid) {
    return Run([&](RegistryStore& store) -> DWORD {
        if (!DestinationSchemeGuid) {
            return ERROR_INVALID_PARAMETER;
        }
        if (*DestinationSchemeGuid) {
            return power::DuplicateScheme(store, GuidArg(SourceSchemeGuid).get(),
                                          ToModel(**DestinationSchemeGuid));
        }
        GUID fresh;
        if (FAILED(CoCreateGuid(&fresh))) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        GUID* block = LocalGuid(ToModel(fresh));
        if (!block) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        const DWORD result =
            power::DuplicateScheme(store, GuidArg(SourceSchemeGuid).get(), ToModel(fresh));
        if (result != ERROR_SUCCESS) {
            LocalFree(block);
            return result;
        }
        *DestinationSchemeGuid = block;
        return ERROR_SUCCESS;
    });
}

DWORD WINAPI PowerDeleteScheme(HKEY, const GUID* SchemeGuid) {
    return Run([&](RegistryStore& store) {
        return power::DeleteScheme(store, GuidArg(SchemeGuid).get());
    });
}

} // extern "C"
