// The machine's power schemes as the power-management functions present them: enumeration by
// index, friendly names, the active scheme, the display settings of each scheme, and the few
// functions that create, rename, change and delete a scheme.
//
// The model holds the rules of those functions (argument checks, buffer sizing, the errors they
// return); the schemes themselves live in a store its host supplies. The simulated notebook keeps
// them in its own state; the stand-in powrprof.dll on Wine keeps them in the registry, where
// Windows keeps them (the keys and value names below). Standard C++ only, no dependency on the
// platform layer, so that both can host it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace celdor::models::power {

// The system's 16-byte GUID, field for field; hosts copy their GUIDs in and out.
struct Guid {
    std::uint32_t data1 = 0;
    std::uint16_t data2 = 0;
    std::uint16_t data3 = 0;
    std::uint8_t data4[8] = {};
    friend bool operator==(const Guid&, const Guid&) = default;
};

// A host's GUID (Data1, Data2, Data3, Data4[8]) as the model's, and back.
template <typename HostGuid> Guid FromHost(const HostGuid& g) {
    return Guid{g.Data1,
                g.Data2,
                g.Data3,
                {g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                 g.Data4[7]}};
}
template <typename HostGuid> constexpr HostGuid ToHost(const Guid& g) {
    return HostGuid{g.data1,
                    g.data2,
                    g.data3,
                    {g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5],
                     g.data4[6], g.data4[7]}};
}

// A host's GUID argument as the functions below take it, for the length of a call: null stays
// null.
class GuidArg {
public:
    template <typename HostGuid>
    explicit GuidArg(const HostGuid* guid)
        : m_given(guid != nullptr), m_value(guid ? FromHost(*guid) : Guid{}) {}
    const Guid* get() const { return m_given ? &m_value : nullptr; }

private:
    bool m_given;
    Guid m_value;
};

// "381b4222-f694-41f0-9685-ff5bb260df2e" (lower case, no braces: the name of a scheme's key),
// and back (braces and either case accepted).
std::string GuidText(const Guid& guid);
std::optional<Guid> ParseGuid(std::string_view text);

inline constexpr Guid kBalanced = {
    0x381B4222, 0xF694, 0x41F0, {0x96, 0x85, 0xFF, 0x5B, 0xB2, 0x60, 0xDF, 0x2E}};
inline constexpr Guid kHighPerformance = {
    0x8C5E7FDA, 0xE8BF, 0x4A96, {0x9A, 0x85, 0xA6, 0xE2, 0x3A, 0x8C, 0x63, 0x5C}};
inline constexpr Guid kPowerSaver = {
    0xA1841308, 0x3541, 0x4FAB, {0xBC, 0x81, 0xF7, 0x15, 0x56, 0xF2, 0x0B, 0x4A}};
inline constexpr Guid kNoSubgroup = {
    0xFEA3413E, 0x7E05, 0x4911, {0x9A, 0x71, 0x70, 0x03, 0x31, 0xF1, 0xC2, 0x94}};
inline constexpr Guid kVideoSubgroup = {
    0x7516B95F, 0xF776, 0x4464, {0x8C, 0x53, 0x06, 0x16, 0x7F, 0x40, 0xCC, 0x99}};
inline constexpr Guid kDisplayTimeout = {
    0x3C0BC021, 0xC8A8, 0x4E07, {0xA9, 0x73, 0x6B, 0x14, 0xCB, 0xCB, 0x2B, 0x7E}};
inline constexpr Guid kBrightness = {
    0xADED5E82, 0xB909, 0x4619, {0x99, 0x49, 0xF5, 0xD7, 0x1D, 0xAC, 0x0B, 0xCB}};

// The settings a scheme of this machine describes: the two of the video subgroup.
enum class Setting { DisplayTimeout, Brightness };
inline constexpr Setting kSettings[] = {Setting::DisplayTimeout, Setting::Brightness};
Guid SettingGuid(Setting setting);
// The largest value the setting takes: a time-out in seconds (0 is never), a brightness in
// percent.
std::uint32_t SettingMax(Setting setting);

// Where Windows keeps the schemes, under HKEY_LOCAL_MACHINE: a key per scheme named by its GUID
// text, holding the value FriendlyName and a key per subgroup, holding a key per setting with
// its AC and DC values; the active scheme is the value ActivePowerScheme of the schemes key.
inline constexpr char16_t kSchemesKey[] =
    u"SYSTEM\\CurrentControlSet\\Control\\Power\\User\\PowerSchemes";
inline constexpr char16_t kActiveSchemeValue[] = u"ActivePowerScheme";
inline constexpr char16_t kFriendlyNameValue[] = u"FriendlyName";
inline constexpr char16_t kAcValue[] = u"ACSettingIndex";
inline constexpr char16_t kDcValue[] = u"DCSettingIndex";

// The status codes the functions return, numbered as the system numbers them.
namespace status {
inline constexpr std::uint32_t kSuccess = 0;
inline constexpr std::uint32_t kFileNotFound = 2;
inline constexpr std::uint32_t kAccessDenied = 5;
inline constexpr std::uint32_t kNotEnoughMemory = 8;
inline constexpr std::uint32_t kNotSupported = 50;
inline constexpr std::uint32_t kInvalidParameter = 87;
inline constexpr std::uint32_t kAlreadyExists = 183;
inline constexpr std::uint32_t kMoreData = 234;
inline constexpr std::uint32_t kNoMoreItems = 259;
} // namespace status

// The access flags of enumeration, and the registry type of a setting's value.
inline constexpr std::uint32_t kAccessScheme = 16;
inline constexpr std::uint32_t kAccessSubgroup = 17;
inline constexpr std::uint32_t kAccessIndividualSetting = 18;
inline constexpr std::uint32_t kRegDword = 4;

// Where a host keeps the schemes. Each operation returns a status code: kSuccess, or the error
// the store met (kFileNotFound for a scheme, name or value it does not have, or whatever its
// storage answered).
class SchemeStore {
public:
    virtual ~SchemeStore() = default;
    // The scheme at an index of the store's own order; kNoMoreItems past the last one.
    virtual std::uint32_t schemeAt(std::uint32_t index, Guid& scheme) = 0;
    virtual bool exists(const Guid& scheme) = 0;
    virtual std::uint32_t name(const Guid& scheme, std::u16string& name) = 0;
    virtual std::uint32_t setName(const Guid& scheme, std::u16string_view name) = 0;
    virtual std::uint32_t active(Guid& scheme) = 0;
    virtual std::uint32_t setActive(const Guid& scheme) = 0;
    virtual std::uint32_t value(const Guid& scheme, Setting setting, bool ac,
                                std::uint32_t& value) = 0;
    virtual std::uint32_t setValue(const Guid& scheme, Setting setting, bool ac,
                                   std::uint32_t value) = 0;
    // A new scheme with the name and values of an existing one.
    virtual std::uint32_t copy(const Guid& from, const Guid& to) = 0;
    virtual std::uint32_t remove(const Guid& scheme) = 0;
};

// The functions, argument for argument as the system declares them (the reserved root key
// left out, null pointers where the caller passes none). Buffers are sized by the usual rules:
// no buffer asks for the size, a buffer too small gets kMoreData and the size needed.

// Schemes only (kAccessScheme): subgroups and settings are kNotSupported.
std::uint32_t Enumerate(SchemeStore& store, std::uint32_t access, std::uint32_t index,
                        std::uint8_t* buffer, std::uint32_t* size);
// A scheme's own name only (no subgroup or kNoSubgroup, no setting).
std::uint32_t ReadFriendlyName(SchemeStore& store, const Guid* scheme, const Guid* subgroup,
                               const Guid* setting, std::uint8_t* buffer, std::uint32_t* size);
// Stores the UTF-16 text of the buffer up to its first NUL or its end.
std::uint32_t WriteFriendlyName(SchemeStore& store, const Guid* scheme, const Guid* subgroup,
                                const Guid* setting, const std::uint8_t* buffer,
                                std::uint32_t size);
// The active scheme in `active`; the host hands it to the caller in memory of its own.
std::uint32_t GetActiveScheme(SchemeStore& store, Guid& active);
std::uint32_t SetActiveScheme(SchemeStore& store, const Guid* scheme);
std::uint32_t ReadValue(SchemeStore& store, bool ac, const Guid* scheme, const Guid* subgroup,
                        const Guid* setting, std::uint32_t* type, std::uint8_t* buffer,
                        std::uint32_t* size);
std::uint32_t WriteValueIndex(SchemeStore& store, bool ac, const Guid* scheme, const Guid* subgroup,
                              const Guid* setting, std::uint32_t value);
// A copy of `source` under `destination`, which must be new; the host chooses a fresh GUID
// when its caller names none.
std::uint32_t DuplicateScheme(SchemeStore& store, const Guid* source, const Guid& destination);
// The active scheme cannot be deleted (kAccessDenied).
std::uint32_t DeleteScheme(SchemeStore& store, const Guid* scheme);

} // namespace celdor::models::power
