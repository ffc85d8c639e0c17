// The battery class devices: one per battery bay, opened through its device interface path and
// answering the battery class requests from the firmware's packs (celdor_models/battery_class.h,
// which the stand-in driver answers from too). A tag names the pack that is in the bay; a
// request made with the tag of a pack that has since been taken out fails with
// ERROR_FILE_NOT_FOUND.
#include "internal.h"

#include <celdor_models/battery_class.h>

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
    // MAXIMUM_ALLOWED gets everything the device grants, which is both.
    const bool read =
        (access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA | MAXIMUM_ALLOWED)) != 0;
    const bool write =
        (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | MAXIMUM_ALLOWED)) != 0;
    return (!(required & FILE_READ_ACCESS) || read) && (!(required & FILE_WRITE_ACCESS) || write);
}

namespace fw = celdor::models::firmware;

static_assert(fw::kQueryTag == IOCTL_BATTERY_QUERY_TAG);
static_assert(fw::kQueryInformation == IOCTL_BATTERY_QUERY_INFORMATION);
static_assert(fw::kQueryStatus == IOCTL_BATTERY_QUERY_STATUS);
static_assert(sizeof(fw::ClassInformation) == sizeof(BATTERY_INFORMATION));
static_assert(sizeof(fw::ClassStatus) == sizeof(BATTERY_STATUS));
static_assert(sizeof(fw::ClassQuery) == sizeof(BATTERY_QUERY_INFORMATION));
static_assert(sizeof(fw::ClassWait) == sizeof(BATTERY_WAIT_STATUS));

DWORD ErrorOf(fw::ClassError error) {
    switch (error) {
    case fw::ClassError::None:
        return 0;
    case fw::ClassError::InvalidParameter:
        return ERROR_INVALID_PARAMETER;
    case fw::ClassError::BufferTooSmall:
        return ERROR_INSUFFICIENT_BUFFER;
    case fw::ClassError::NoSuchBattery:
        return ERROR_FILE_NOT_FOUND;
    case fw::ClassError::InvalidFunction:
        break;
    }
    return ERROR_INVALID_FUNCTION;
}

// A status request that waits looks at the pack again every second of the virtual clock until
// the status ends the wait or the time-out passes. A wait without end gives up after a day with
// the status then: a pack that has not changed in a day is charged, or held, for good.
constexpr std::uint64_t kStatusStepMs = 1000;
constexpr std::uint64_t kLongestWaitMs = 24ull * 3600 * 1000;

// The bay answers from the firmware's pack in it; a request that waits (for a pack, for a change
// of status) waits on the virtual clock.
DWORD Request(const BatteryDevice& device, DWORD code, LPVOID in, DWORD inSize, LPVOID out,
              DWORD outSize, LPDWORD returned) {
    Notebook& nb = NB();
    fw::Firmware& firmware = nb.fervo().firmware();
    fw::ClassWait wait{};
    const bool status = code == IOCTL_BATTERY_QUERY_STATUS && in && inSize == sizeof wait;
    if (status) {
        std::memcpy(&wait, in, sizeof wait); // the answer may go to the same buffer
        in = &wait;
    }
    const std::uint64_t longest = wait.timeout == fw::kWaitForever ? kLongestWaitMs : wait.timeout;
    fw::ClassReply reply;
    for (std::uint64_t waited = 0;; waited += kStatusStepMs) {
        if (code != IOCTL_BATTERY_QUERY_TAG) {
            AdvanceBatteries();
        }
        reply = fw::Answer(firmware.pack(device.slot), fw::Bay{device.inserted, device.tag},
                           nb.powerStatus().ACLineStatus != 0,
                           firmware.chargeLimit(device.slot, nb.clock().tickMs), code, in, inSize,
                           out, outSize);
        if (!status || reply.error != fw::ClassError::None || waited >= longest) {
            break;
        }
        fw::ClassStatus now{};
        std::memcpy(&now, out, sizeof now);
        if (fw::EndsWait(wait, now)) {
            break;
        }
        nb.clock().tickMs += std::min(kStatusStepMs, longest - waited);
    }
    nb.clock().tickMs += reply.waitedMs;
    if (reply.error == fw::ClassError::None) {
        *returned = reply.length;
    }
    return ErrorOf(reply.error);
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
        } else {
            error = Request(*device, code, in, inSize, out, outSize, returned);
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
    // SetupAPI hands out interface paths in lower case, however the device was named.
    for (char16_t& c : interfacePath) {
        c = (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c;
    }
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

void BatteryDevices::configure(const fw::PackSetup& setup) {
    auto lock = LockNotebook();
    const ULONG lastTag = m_lastTag;
    clear();
    m_lastTag = lastTag; // a tag of the packs before names none of the new ones
    for (std::uint32_t i = 0; i < fw::kMostPacks; ++i) {
        const bool packed = i < setup.count;
        add(u"\\\\?\\ROOT#BATTERY#000" + std::u16string(1, char16_t(u'0' + i)) +
                u"#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}",
            packed ? setup.packs[i] : BatteryPack{}, packed);
        m_devices.back().present = packed;
    }
}

BatteryDevice* BatteryDevices::find(std::u16string_view name) {
    auto it = std::find_if(m_devices.begin(), m_devices.end(), [&](const BatteryDevice& d) {
        return d.present && EqualsIgnoreCase(WithoutPrefix(d.interfacePath), name);
    });
    return it == m_devices.end() ? nullptr : &*it;
}

bool BatteryDevices::anyPresent() const {
    return std::any_of(m_devices.begin(), m_devices.end(),
                       [](const BatteryDevice& d) { return d.present; });
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
