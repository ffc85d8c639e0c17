// The battery class devices: one per battery bay, opened through its device interface path and
// answering IOCTL_BATTERY_QUERY_TAG and IOCTL_BATTERY_QUERY_INFORMATION as the Windows battery
// class documents them. A tag names the pack that is in the bay; a request made with the tag of
// a pack that has since been taken out fails with ERROR_FILE_NOT_FOUND.
#include "internal.h"

#include <algorithm>
#include <cstring>

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

BATTERY_INFORMATION InformationOf(const BatteryPack& pack) {
    BATTERY_INFORMATION info{};
    info.Capabilities = BATTERY_SYSTEM_BATTERY;
    info.Technology = pack.rechargeable ? 1 : 0;
    std::memcpy(info.Chemistry, pack.chemistry.data(),
                std::min<std::size_t>(4, pack.chemistry.size()));
    info.DesignedCapacity = pack.designedCapacity;
    info.FullChargedCapacity = pack.fullChargedCapacity;
    info.DefaultAlert1 = pack.defaultAlert1;
    info.DefaultAlert2 = pack.defaultAlert2;
    info.CriticalBias = pack.criticalBias;
    info.CycleCount = pack.cycleCount;
    return info;
}

// Only the BatteryInformation level is reported; the others are answered as by a battery that
// does not report them.
DWORD QueryInformation(const BatteryDevice& device, LPVOID in, DWORD inSize, LPVOID out,
                       DWORD outSize, LPDWORD returned) {
    BATTERY_QUERY_INFORMATION query{};
    if (inSize != sizeof query) {
        return ERROR_INVALID_PARAMETER;
    }
    std::memcpy(&query, in, sizeof query);
    if (!device.inserted || query.BatteryTag == BATTERY_TAG_INVALID ||
        query.BatteryTag != device.tag) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (query.InformationLevel != BatteryInformation) {
        return ERROR_INVALID_FUNCTION;
    }
    if (outSize < sizeof(BATTERY_INFORMATION)) {
        return ERROR_INSUFFICIENT_BUFFER;
    }
    const BATTERY_INFORMATION info = InformationOf(device.pack);
    std::memcpy(out, &info, sizeof info);
    *returned = sizeof info;
    return 0;
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
            error = QueryInformation(*device, in, inSize, out, outSize, returned);
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
    m_devices.push_back(BatteryDevice{std::move(interfacePath), inserted, std::move(pack),
                                      inserted ? ++m_lastTag : BATTERY_TAG_INVALID});
}

void BatteryDevices::eject(std::size_t index) {
    auto lock = LockNotebook();
    BatteryDevice& device = m_devices.at(index);
    device.inserted = false;
    device.tag = BATTERY_TAG_INVALID;
}

void BatteryDevices::insert(std::size_t index) {
    auto lock = LockNotebook();
    BatteryDevice& device = m_devices.at(index);
    device.inserted = true;
    device.tag = ++m_lastTag;
}

// Called with the notebook locked (or while it is being built).
void BatteryDevices::clear() {
    m_devices.clear();
    m_lastTag = 0;
}

BatteryDevice* BatteryDevices::find(std::u16string_view name) {
    auto it = std::find_if(m_devices.begin(), m_devices.end(), [&](const BatteryDevice& d) {
        return EqualsIgnoreCase(WithoutPrefix(d.interfacePath), name);
    });
    return it == m_devices.end() ? nullptr : &*it;
}

} // namespace celdor::sim

namespace celdor::sim::detail {

// Like other devices, a battery is not opened for sharing checks: any number of handles, with
// any share mode and creation disposition, reach it.
DeviceOpenResult OpenBattery(std::u16string_view name, DWORD access) {
    return {std::make_unique<BatteryHandle>(std::u16string(name), access), 0};
}

} // namespace celdor::sim::detail
