// The battery class devices: one per battery bay, opened through its device interface path and
// answering IOCTL_BATTERY_QUERY_TAG and IOCTL_BATTERY_QUERY_INFORMATION as the Windows battery
// class documents them. A tag names the pack that is in the bay; a request made with the tag of
// a pack that has since been taken out fails with ERROR_FILE_NOT_FOUND.
#include "internal.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string_view>

using namespace celdor::sim;
using namespace celdor::sim::detail;

namespace {

std::u16string_view WithoutPrefix(std::u16string_view path) {
    if (path.starts_with(u"\\\\?\\") || path.starts_with(u"\\\\.\\")) {
        path.remove_prefix(4);
    }
    return path;
}

// The access a control code asks of the handle (its bits 14 and 15), checked as the I/O
// manager checks it before the driver sees the request.
bool AccessAllows(DWORD code, DWORD access) {
    const DWORD required = (code >> 14) & 3;
    const bool read = (access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA)) != 0;
    const bool write = (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA)) != 0;
    return (!(required & FILE_READ_ACCESS) || read) && (!(required & FILE_WRITE_ACCESS) || write);
}

void PutUlong(LPVOID out, ULONG value) {
    std::memcpy(out, &value, sizeof value);
}

// The wait time-out is the longest the request waits for a pack to be put in. Nobody puts one
// in while the caller waits here, so a wait ends in failure after its time on the virtual clock;
// a wait without end fails at once, as a zero wait does.
DWORD QueryTag(const BatteryDevice& device, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
               LPDWORD returned) {
    if (inSize != sizeof(ULONG)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (outSize < sizeof(ULONG)) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    if (!device.inserted) {
        ULONG timeout = 0;
        std::memcpy(&timeout, in, sizeof timeout);
        if (timeout != 0xFFFFFFFF) {
            NB().clock().tickMs += timeout;
        }
        PutUlong(out, BATTERY_TAG_INVALID);
        return ERROR_FILE_NOT_FOUND;
    }
    PutUlong(out, device.tag);
    *returned = sizeof(ULONG);
    return 0;
}

namespace fw = celdor::models::firmware;

bool OnAc() {
    return NB().powerStatus().ACLineStatus != 0;
}

BATTERY_INFORMATION InformationOf(const BatteryPack& pack) {
    const fw::ClassCapacities capacities = fw::WindowsCapacities(pack);
    BATTERY_INFORMATION info{};
    info.Capabilities =
        BATTERY_SYSTEM_BATTERY | (capacities.relative ? BATTERY_CAPACITY_RELATIVE : 0);
    info.Technology = pack.rechargeable ? 1 : 0;
    for (std::size_t i = 0; i < 4 && pack.chemistry[i] != 0; ++i) {
        info.Chemistry[i] = static_cast<BYTE>(pack.chemistry[i]);
    }
    info.DesignedCapacity = capacities.designed;
    info.FullChargedCapacity = capacities.fullCharged;
    info.DefaultAlert1 = pack.defaultAlert1;
    info.DefaultAlert2 = pack.defaultAlert2;
    info.CriticalBias = pack.criticalBias;
    info.CycleCount = (pack.windowsLacks & fw::kLacksCycleCount) ? 0 : pack.cycleCount;
    return info;
}

// A fixed-size answer: the whole of it fits or the request fails.
DWORD Answer(const void* value, DWORD size, LPVOID out, DWORD outSize, LPDWORD returned) {
    if (outSize < size) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(out, value, size);
    *returned = size;
    return 0;
}

// A text level: UTF-16 with its terminator. A battery that does not report the text fails the
// level as a battery without it does.
DWORD AnswerText(std::string_view text, LPVOID out, DWORD outSize, LPDWORD returned) {
    if (text.empty()) {
        return ERROR_INVALID_FUNCTION;
    }
    std::u16string wide = Utf8ToUtf16(text);
    wide.push_back(0);
    return Answer(wide.data(), static_cast<DWORD>(wide.size() * sizeof(char16_t)), out, outSize,
                  returned);
}

// The levels a battery reports; one whose value the pack lacks (no temperature sensor, no date)
// fails with ERROR_INVALID_FUNCTION, as the battery class answers a level the battery does
// not support.
DWORD AnswerLevel(const BatteryPack& pack, BATTERY_QUERY_INFORMATION_LEVEL level, LPVOID out,
                  DWORD outSize, LPDWORD returned) {
    const std::uint32_t lacks = pack.windowsLacks;
    switch (level) {
    case BatteryInformation: {
        const BATTERY_INFORMATION info = InformationOf(pack);
        return Answer(&info, sizeof info, out, outSize, returned);
    }
    case BatteryTemperature: {
        const ULONG temperature = pack.temperature;
        if (temperature == 0 || (lacks & fw::kLacksTemperature)) {
            break;
        }
        return Answer(&temperature, sizeof temperature, out, outSize, returned);
    }
    case BatteryManufactureDate: {
        if (pack.manufactureYear == 0 || (lacks & fw::kLacksManufactureDate)) {
            break;
        }
        const BATTERY_MANUFACTURE_DATE date{pack.manufactureDay, pack.manufactureMonth,
                                            pack.manufactureYear};
        return Answer(&date, sizeof date, out, outSize, returned);
    }
    case BatteryManufactureName:
        if (lacks & fw::kLacksManufacturer) {
            break;
        }
        return AnswerText(pack.manufacturer, out, outSize, returned);
    case BatterySerialNumber:
        if (lacks & fw::kLacksSerialNumber) {
            break;
        }
        return AnswerText(pack.serialNumber, out, outSize, returned);
    default:
        break;
    }
    return ERROR_INVALID_FUNCTION;
}

// A request names the pack by its tag: a pack taken out since (or a tag never given) is not
// found.
bool TagMatches(const BatteryDevice& device, ULONG tag) {
    return device.inserted && tag != BATTERY_TAG_INVALID && tag == device.tag;
}

DWORD QueryInformation(const BatteryDevice& device, LPVOID in, DWORD inSize, LPVOID out,
                       DWORD outSize, LPDWORD returned) {
    BATTERY_QUERY_INFORMATION query{};
    if (inSize != sizeof query) {
        return ERROR_INVALID_PARAMETER;
    }
    std::memcpy(&query, in, sizeof query);
    if (!TagMatches(device, query.BatteryTag)) {
        return ERROR_FILE_NOT_FOUND;
    }
    return AnswerLevel(NB().batteries().pack(device.slot), query.InformationLevel, out, outSize,
                       returned);
}

// The status now; the wait conditions of BATTERY_WAIT_STATUS are met at once, since the
// battery class answers at once when the status already differs from them or the wait time-out
// is 0.
DWORD QueryStatus(const BatteryDevice& device, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                  LPDWORD returned) {
    BATTERY_WAIT_STATUS wait{};
    if (inSize != sizeof wait) {
        return ERROR_INVALID_PARAMETER;
    }
    std::memcpy(&wait, in, sizeof wait);
    if (!TagMatches(device, wait.BatteryTag)) {
        return ERROR_FILE_NOT_FOUND;
    }
    fw::Firmware& firmware = NB().fervo().firmware();
    const fw::ClassStatus now = fw::WindowsStatus(
        firmware.pack(device.slot), OnAc(), firmware.chargeLimit(device.slot, NB().clock().tickMs));
    const BATTERY_STATUS status{now.powerState, now.capacity, now.voltage, now.rate};
    return Answer(&status, sizeof status, out, outSize, returned);
}

struct BatteryHandle : DeviceObject {
    BatteryHandle(std::u16string device, DWORD access) : name(std::move(device)), access(access) {}

    BOOL control(DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                 LPDWORD returned) override {
        const BatteryDevice* device = NB().batteries().find(name);
        DWORD error = ERROR_INVALID_FUNCTION;
        if (!device) {
            error = ERROR_DEVICE_NOT_CONNECTED;
        } else if (!AccessAllows(code, access)) {
            error = ERROR_ACCESS_DENIED;
        } else if (code == IOCTL_BATTERY_QUERY_TAG) {
            error = QueryTag(*device, in, inSize, out, outSize, returned);
        } else if (code == IOCTL_BATTERY_QUERY_INFORMATION) {
            AdvanceBatteries();
            error = QueryInformation(*device, in, inSize, out, outSize, returned);
        } else if (code == IOCTL_BATTERY_QUERY_STATUS) {
            AdvanceBatteries();
            error = QueryStatus(*device, in, inSize, out, outSize, returned);
        }
        if (error) {
            SetLastError(error);
        }
        return error == 0 ? TRUE : FALSE;
    }

    std::u16string name;
    DWORD access;
};

} // namespace

namespace celdor::sim {

void BatteryDevices::add(std::u16string interfacePath, BatteryPack pack, bool inserted) {
    auto lock = LockNotebook();
    const auto slot = static_cast<std::uint32_t>(m_devices.size());
    if (slot >= celdor::models::firmware::kMostPacks) {
        throw std::length_error("the notebook has two battery bays");
    }
    pack.present = inserted;
    NB().fervo().firmware().pack(slot) = pack;
    NB().fervo().firmware().packsChanged();
    m_devices.push_back(BatteryDevice{std::move(interfacePath), inserted, slot,
                                      inserted ? ++m_lastTag : BATTERY_TAG_INVALID});
}

BatteryPack& BatteryDevices::pack(std::size_t index) {
    return NB().fervo().firmware().pack(m_devices.at(index).slot);
}

void BatteryDevices::eject(std::size_t index) {
    auto lock = LockNotebook();
    BatteryDevice& device = m_devices.at(index);
    AdvanceBatteries();
    device.inserted = false;
    device.tag = BATTERY_TAG_INVALID;
    pack(index).present = false;
}

void BatteryDevices::insert(std::size_t index) {
    auto lock = LockNotebook();
    BatteryDevice& device = m_devices.at(index);
    AdvanceBatteries();
    device.inserted = true;
    device.tag = ++m_lastTag;
    pack(index).present = true;
}

// Called with the notebook locked (or while it is being built). The packs go with the bays.
void BatteryDevices::clear() {
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        pack(i) = BatteryPack{};
    }
    m_devices.clear();
    m_lastTag = 0;
    systemStatusFromPacks = true;
}

BatteryDevice* BatteryDevices::find(std::u16string_view name) {
    auto it = std::find_if(m_devices.begin(), m_devices.end(), [&](const BatteryDevice& d) {
        return EqualsIgnoreCase(WithoutPrefix(d.interfacePath), name);
    });
    return it == m_devices.end() ? nullptr : &*it;
}

} // namespace celdor::sim

namespace celdor::sim::detail {

void AdvanceBatteries() {
    Notebook& nb = NB();
    nb.fervo().firmware().advancePacks(nb.clock().tickMs, nb.powerStatus().ACLineStatus != 0);
}

// Like other devices, a battery is not opened for sharing checks: any number of handles, with
// any share mode and creation disposition, reach it.
DeviceOpenResult OpenBattery(std::u16string_view name, DWORD access) {
    return {std::make_unique<BatteryHandle>(std::u16string(name), access), 0};
}

} // namespace celdor::sim::detail
