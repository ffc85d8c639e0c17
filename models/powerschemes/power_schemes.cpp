#include "celdor_models/power_schemes.h"

#include <cstdio>
#include <cstring>

namespace celdor::models::power {

std::string GuidText(const Guid& guid) {
    char text[40];
    std::snprintf(text, sizeof text, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                  static_cast<unsigned>(guid.data1), guid.data2, guid.data3, guid.data4[0],
                  guid.data4[1], guid.data4[2], guid.data4[3], guid.data4[4], guid.data4[5],
                  guid.data4[6], guid.data4[7]);
    return text;
}

std::optional<Guid> ParseGuid(std::string_view text) {
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') {
        text = text.substr(1, 36);
    }
    if (text.size() != 36) {
        return std::nullopt;
    }
    auto digit = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    std::uint8_t bytes[16];
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); i += 2) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (text[i++] != '-') {
                return std::nullopt;
            }
        }
        const int high = digit(text[i]);
        const int low = digit(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes[count++] = static_cast<std::uint8_t>(high << 4 | low);
    }
    Guid guid;
    guid.data1 =
        static_cast<std::uint32_t>(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];
    guid.data2 = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
    guid.data3 = static_cast<std::uint16_t>(bytes[6] << 8 | bytes[7]);
    std::memcpy(guid.data4, bytes + 8, 8);
    return guid;
}

Guid SettingGuid(Setting setting) {
    return setting == Setting::DisplayTimeout ? kDisplayTimeout : kBrightness;
}

std::uint32_t SettingMax(Setting setting) {
    return setting == Setting::DisplayTimeout ? 0xFFFFFFFF : 100;
}

namespace {

using namespace status;

std::optional<Setting> FindSetting(const Guid* subgroup, const Guid* setting) {
    if (!subgroup || !setting || *subgroup != kVideoSubgroup) {
        return std::nullopt;
    }
    for (Setting known : kSettings) {
        if (SettingGuid(known) == *setting) {
            return known;
        }
    }
    return std::nullopt;
}

// A scheme's own name is asked for with no setting, and no subgroup or the "no subgroup" one;
// the names of subgroups and settings are outside what this machine keeps.
bool NamesTheScheme(const Guid* subgroup, const Guid* setting) {
    return !setting && (!subgroup || *subgroup == kNoSubgroup);
}

std::uint32_t CopyOut(const void* data, std::uint32_t size, std::uint8_t* buffer,
                      std::uint32_t* bufferSize, std::uint32_t noBuffer) {
    if (!buffer) {
        *bufferSize = size;
        return noBuffer;
    }
    if (*bufferSize < size) {
        *bufferSize = size;
        return kMoreData;
    }
    std::memcpy(buffer, data, size);
    *bufferSize = size;
    return kSuccess;
}

} // namespace

// A buffer-less call answers with the size and kMoreData: the caller is expected to pass one.
std::uint32_t Enumerate(SchemeStore& store, std::uint32_t access, std::uint32_t index,
                        std::uint8_t* buffer, std::uint32_t* size) {
    if (access == kAccessSubgroup || access == kAccessIndividualSetting) {
        return kNotSupported;
    }
    if (access != kAccessScheme || !size) {
        return kInvalidParameter;
    }
    Guid scheme;
    if (const std::uint32_t result = store.schemeAt(index, scheme); result != kSuccess) {
        return result;
    }
    return CopyOut(&scheme, sizeof scheme, buffer, size, kMoreData);
}

std::uint32_t ReadFriendlyName(SchemeStore& store, const Guid* scheme, const Guid* subgroup,
                               const Guid* setting, std::uint8_t* buffer, std::uint32_t* size) {
    if (!NamesTheScheme(subgroup, setting)) {
        return kNotSupported;
    }
    if (!scheme || !size) {
        return kInvalidParameter;
    }
    std::u16string name;
    if (const std::uint32_t result = store.name(*scheme, name); result != kSuccess) {
        return result;
    }
    const auto bytes = static_cast<std::uint32_t>((name.size() + 1) * sizeof(char16_t));
    return CopyOut(name.c_str(), bytes, buffer, size, kSuccess);
}

std::uint32_t WriteFriendlyName(SchemeStore& store, const Guid* scheme, const Guid* subgroup,
                                const Guid* setting, const std::uint8_t* buffer,
                                std::uint32_t size) {
    if (!NamesTheScheme(subgroup, setting)) {
        return kNotSupported;
    }
    if (!scheme || !buffer) {
        return kInvalidParameter;
    }
    if (!store.exists(*scheme)) {
        return kFileNotFound;
    }
    std::u16string name(size / sizeof(char16_t), u'\0');
    std::memcpy(name.data(), buffer, name.size() * sizeof(char16_t));
    name.resize(std::char_traits<char16_t>::length(name.c_str()));
    return store.setName(*scheme, name);
}

std::uint32_t GetActiveScheme(SchemeStore& store, Guid& active) {
    Guid scheme;
    if (const std::uint32_t result = store.active(scheme); result != kSuccess) {
        return result;
    }
    if (!store.exists(scheme)) {
        return kFileNotFound;
    }
    active = scheme;
    return kSuccess;
}

std::uint32_t SetActiveScheme(SchemeStore& store, const Guid* scheme) {
    if (!scheme) {
        return kInvalidParameter;
    }
    return store.exists(*scheme) ? store.setActive(*scheme) : kFileNotFound;
}

std::uint32_t ReadValue(SchemeStore& store, bool ac, const Guid* scheme, const Guid* subgroup,
                        const Guid* setting, std::uint32_t* type, std::uint8_t* buffer,
                        std::uint32_t* size) {
    if (!scheme || !setting || (buffer && !size)) {
        return kInvalidParameter;
    }
    const std::optional<Setting> known = FindSetting(subgroup, setting);
    if (!known || !store.exists(*scheme)) {
        return kFileNotFound;
    }
    std::uint32_t value = 0;
    if (const std::uint32_t result = store.value(*scheme, *known, ac, value); result != kSuccess) {
        return result;
    }
    if (type) {
        *type = kRegDword;
    }
    return size ? CopyOut(&value, sizeof value, buffer, size, kSuccess) : kSuccess;
}

std::uint32_t WriteValueIndex(SchemeStore& store, bool ac, const Guid* scheme, const Guid* subgroup,
                              const Guid* setting, std::uint32_t value) {
    if (!scheme || !setting) {
        return kInvalidParameter;
    }
    const std::optional<Setting> known = FindSetting(subgroup, setting);
    if (!known || !store.exists(*scheme)) {
        return kFileNotFound;
    }
    if (value > SettingMax(*known)) {
        return kInvalidParameter;
    }
    return store.setValue(*scheme, *known, ac, value);
}

std::uint32_t DuplicateScheme(SchemeStore& store, const Guid* source, const Guid& destination) {
    if (!source) {
        return kInvalidParameter;
    }
    if (!store.exists(*source)) {
        return kFileNotFound;
    }
    if (store.exists(destination)) {
        return kAlreadyExists;
    }
    return store.copy(*source, destination);
}

std::uint32_t DeleteScheme(SchemeStore& store, const Guid* scheme) {
    if (!scheme) {
        return kInvalidParameter;
    }
    if (!store.exists(*scheme)) {
        return kFileNotFound;
    }
    Guid active;
    if (store.active(active) == kSuccess && active == *scheme) {
        return kAccessDenied;
    }
    return store.remove(*scheme);
}

} // namespace celdor::models::power
