// The device interface functions of setupapi over the notebook's battery devices. A device
// information list is a snapshot of the interfaces present when it was made; it is accounted
// like a handle until SetupDiDestroyDeviceInfoList.
#include "internal.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>

using namespace celdor::sim;
using namespace celdor::sim::detail;

const GUID GUID_DEVICE_BATTERY = {
    0x72631e54, 0x78a4, 0x11d0, {0xbc, 0xf7, 0x00, 0xaa, 0x00, 0xb7, 0xb3, 0x2a}};

namespace {

struct Interface {
    std::u16string path;
    bool active = true; // its device is present
};

// A list made with DIGCF_DEVICEINTERFACE holds the interfaces of its devices; one made without
// it holds devices only, so enumerating interfaces finds none.
struct DeviceInfoList {
    std::vector<Interface> interfaces; // in enumeration order
};

std::map<std::uint64_t, std::unique_ptr<DeviceInfoList>>& Lists() {
    static std::map<std::uint64_t, std::unique_ptr<DeviceInfoList>> lists;
    return lists;
}

DeviceInfoList* FindList(HDEVINFO set) {
    auto it = Lists().find(HandleId(set));
    return it == Lists().end() ? nullptr : it->second.get();
}

// Whether a device interface belongs to a device of the enumerator ("ACPI") or device instance
// ("ACPI\PNP0C0A\1") named: "\\?\acpi#pnp0c0a#1#{class}" is an interface of ACPI\PNP0C0A\1.
bool FromEnumerator(std::u16string_view path, std::u16string_view enumerator) {
    std::u16string instance(path.substr(4, path.rfind(u'#') - 4));
    std::replace(instance.begin(), instance.end(), u'#', u'\\');
    return EqualsIgnoreCase(instance, enumerator) ||
           (instance.size() > enumerator.size() && instance[enumerator.size()] == u'\\' &&
            EqualsIgnoreCase(std::u16string_view(instance).substr(0, enumerator.size()),
                             enumerator));
}

// Whether an enumerator names one device: a device instance ID such as "ACPI\PNP0C0A\1", as
// opposed to an enumerator ("ACPI") or a device without its instance ("ACPI\PNP0C0A").
bool IsDeviceInstance(std::u16string_view enumerator) {
    return std::count(enumerator.begin(), enumerator.end(), u'\\') >= 2;
}

// The interface an SP_DEVICE_INTERFACE_DATA of this list names (its Reserved field holds the
// position plus one), or null.
const std::u16string* InterfaceOf(const DeviceInfoList& list,
                                  const SP_DEVICE_INTERFACE_DATA* data) {
    if (!data || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) || data->Reserved == 0 ||
        data->Reserved > list.interfaces.size()) {
        return nullptr;
    }
    return &list.interfaces[data->Reserved - 1].path;
}

} // namespace

HDEVINFO WINAPI SetupDiGetClassDevsW(const GUID* ClassGuid, PCWSTR Enumerator, HWND hwndParent,
                                     DWORD Flags) {
    const SystemCallScope systemCall;
    (void)hwndParent;
    auto lock = LockNotebook();
    Call call{.function = "SetupDiGetClassDevsW",
              .target = Enumerator ? Narrow(Enumerator) : std::string(),
              .flags = Flags};
    HDEVINFO set = INVALID_HANDLE_VALUE;
    if (auto error = Injected("SetupDiGetClassDevsW")) {
        SetLastError(*error);
    } else if (!ClassGuid && !(Flags & DIGCF_ALLCLASSES)) {
        SetLastError(ERROR_INVALID_PARAMETER);
    } else if ((Flags & DIGCF_DEVICEINTERFACE) && Enumerator && *Enumerator &&
               !IsDeviceInstance(Enumerator)) {
        // Interfaces are listed for all devices or for one, never by enumerator.
        SetLastError(ERROR_INVALID_DATA);
    } else {
        auto list = std::make_unique<DeviceInfoList>();
        BatteryDevices& batteries = NB().batteries();
        const bool battery = (Flags & DIGCF_ALLCLASSES) || *ClassGuid == GUID_DEVICE_BATTERY;
        const bool interfaces = (Flags & DIGCF_DEVICEINTERFACE) != 0;
        for (std::size_t i = 0; battery && interfaces && i < batteries.count(); ++i) {
            const BatteryDevice& device = batteries.at(i);
            if ((device.present || !(Flags & DIGCF_PRESENT)) &&
                (!Enumerator || !*Enumerator || FromEnumerator(device.interfacePath, Enumerator))) {
                list->interfaces.push_back({device.interfacePath, device.present});
            }
        }
        set = list.get();
        Lists().emplace(HandleId(set), std::move(list));
        NB().trackOpen(HandleKind::DeviceInfoList, HandleId(set), "SetupDiGetClassDevsW");
    }
    call.handle = HandleId(set);
    return Finish(call, set);
}

BOOL WINAPI SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                        const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                        PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    Call call{.function = "SetupDiEnumDeviceInterfaces",
              .handle = HandleId(DeviceInfoSet),
              .code = MemberIndex};
    BOOL ok = FALSE;
    const DeviceInfoList* list = FindList(DeviceInfoSet);
    // With a device given, the one interface of that device (its DevInst is its position plus
    // one) is member 0.
    std::size_t member = MemberIndex;
    if (DeviceInfoData && DeviceInfoData->cbSize == sizeof(SP_DEVINFO_DATA)) {
        member = MemberIndex == 0 ? DeviceInfoData->DevInst - std::size_t{1} : SIZE_MAX;
    }
    if (!list) {
        SetLastError(ERROR_INVALID_HANDLE);
    } else if (auto error = Injected("SetupDiEnumDeviceInterfaces")) {
        SetLastError(*error);
    } else if (!InterfaceClassGuid || !DeviceInterfaceData ||
               (DeviceInfoData && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA))) {
        SetLastError(ERROR_INVALID_PARAMETER);
    } else if (DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
    } else if (*InterfaceClassGuid != GUID_DEVICE_BATTERY || member >= list->interfaces.size()) {
        SetLastError(ERROR_NO_MORE_ITEMS);
    } else {
        DeviceInterfaceData->InterfaceClassGuid = *InterfaceClassGuid;
        DeviceInterfaceData->Flags = list->interfaces[member].active ? SPINT_ACTIVE : 0;
        DeviceInterfaceData->Reserved = member + 1;
        call.target = Utf16ToUtf8(list->interfaces[member].path);
        ok = TRUE;
    }
    return Finish(call, ok);
}

// The required size is the record's header and the path with its terminator. Asked with no
// buffer and size 0, it is reported with ERROR_INSUFFICIENT_BUFFER; a buffer must start with
// cbSize set to the size of the record's fixed part.
BOOL WINAPI SetupDiGetDeviceInterfaceDetailW(HDEVINFO DeviceInfoSet,
                                             PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                             PSP_DEVICE_INTERFACE_DETAIL_DATA_W detail,
                                             DWORD DeviceInterfaceDetailDataSize,
                                             PDWORD RequiredSize, PSP_DEVINFO_DATA DeviceInfoData) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    Call call{.function = "SetupDiGetDeviceInterfaceDetailW",
              .handle = HandleId(DeviceInfoSet),
              .outSize = DeviceInterfaceDetailDataSize};
    BOOL ok = FALSE;
    const DeviceInfoList* list = FindList(DeviceInfoSet);
    const std::u16string* path = list ? InterfaceOf(*list, DeviceInterfaceData) : nullptr;
    if (path) {
        call.target = Utf16ToUtf8(*path);
    }
    const DWORD header = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath);
    if (!list) {
        SetLastError(ERROR_INVALID_HANDLE);
    } else if (auto error = Injected("SetupDiGetDeviceInterfaceDetailW", call.target)) {
        SetLastError(*error);
    } else if (!path) {
        SetLastError(ERROR_INVALID_PARAMETER);
    } else if ((!detail && DeviceInterfaceDetailDataSize != 0) ||
               (detail && (DeviceInterfaceDetailDataSize < header + sizeof(WCHAR) ||
                           detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W))) ||
               (DeviceInfoData && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA))) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
    } else {
        const DWORD required = header + static_cast<DWORD>((path->size() + 1) * sizeof(WCHAR));
        if (RequiredSize) {
            *RequiredSize = required;
        }
        if (DeviceInfoData) {
            DeviceInfoData->ClassGuid = GUID_DEVICE_BATTERY;
            DeviceInfoData->DevInst = static_cast<DWORD>(DeviceInterfaceData->Reserved);
        }
        if (DeviceInterfaceDetailDataSize < required) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
        } else {
            std::memcpy(detail->DevicePath, path->c_str(), (path->size() + 1) * sizeof(WCHAR));
            ok = TRUE;
        }
    }
    return Finish(call, ok);
}

BOOL WINAPI SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    const SystemCallScope systemCall;
    auto lock = LockNotebook();
    Call call{.function = "SetupDiDestroyDeviceInfoList", .handle = HandleId(DeviceInfoSet)};
    BOOL ok = FALSE;
    if (!FindList(DeviceInfoSet)) {
        SetLastError(ERROR_INVALID_HANDLE);
    } else if (auto error = Injected("SetupDiDestroyDeviceInfoList")) {
        SetLastError(*error);
    } else {
        Lists().erase(HandleId(DeviceInfoSet));
        NB().trackClose(HandleKind::DeviceInfoList, HandleId(DeviceInfoSet));
        ok = TRUE;
    }
    return Finish(call, ok);
}
