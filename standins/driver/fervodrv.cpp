// The maker's driver as a kernel driver for Wine: the device "\Device\FervoDrv", which programs
// open as "\\.\FervoDrv", answering buffered device-control requests from the firmware model
// that also stands behind the simulated device. The firmware is set up from the value
// "Firmware" of the driver's "Parameters" key when the driver starts, and again whenever a
// program sends a setup through the configuration code (celdor_models/firmware_setup.h).
//
// It also stands in for the battery class driver: one device per battery bay,
// "\Device\CeldorBattery0" and "...1", answering the battery class requests from the firmware's
// packs (celdor_models/battery_class.h). The packs come from the value "Packs" at start and
// from the pack configuration code. A bay with a pack in it is reachable under the interface
// path of the battery device the installer registered, "\??\ROOT#BATTERY#000n#{...}", and its
// interface is marked linked, so that the battery class lists it; an empty bay is neither.
//
// Freestanding: no C or C++ library, no exceptions, nothing but ntoskrnl.exe.

// mingw-w64's intrinsics and its ddk headers both define these two; the ddk's are kept.
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#include <ntddk.h>

#include <celdor_models/battery_class.h>
#include <celdor_models/firmware_setup.h>

// On x64 the ddk header reads the interrupt time from the kernel's shared page, which a driver
// under Wine does not see; the exported function answers everywhere.
#undef KeQueryInterruptTime
extern "C" NTKERNELAPI ULONGLONG NTAPI KeQueryInterruptTime(VOID);

namespace fw = celdor::models::firmware;

namespace {

// Requests are answered one at a time: the firmware keeps state across them.
struct Machine {
    KMUTEX lock;
    fw::Firmware firmware;
    fw::Bay bays[fw::kMostPacks];
    uint32_t lastTag;
};
constinit Machine g_machine{};

// What a device object stands for: the maker's device, or a battery bay.
struct Extension {
    uint32_t bay;
};
constexpr uint32_t kMakerDevice = 0xFFFFFFFF;

WCHAR g_deviceName[] = L"\\Device\\FervoDrv";
WCHAR g_linkName[] = L"\\DosDevices\\FervoDrv";

UNICODE_STRING Text(WCHAR* text) {
    UNICODE_STRING string;
    RtlInitUnicodeString(&string, text);
    return string;
}

WCHAR g_batteryNames[fw::kMostPacks][32] = {L"\\Device\\CeldorBattery0",
                                            L"\\Device\\CeldorBattery1"};
WCHAR g_batteryLinks[fw::kMostPacks][80] = {
    L"\\??\\ROOT#BATTERY#0000#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}",
    L"\\??\\ROOT#BATTERY#0001#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}"};
// The interfaces' "Control" keys, where the battery class looks for "Linked".
WCHAR g_batteryControls[fw::kMostPacks][200] = {
    L"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\DeviceClasses\\"
    L"{72631e54-78a4-11d0-bcf7-00aa00b7b32a}\\##?#ROOT#BATTERY#0000#"
    L"{72631e54-78a4-11d0-bcf7-00aa00b7b32a}\\#\\Control",
    L"\\Registry\\Machine\\System\\CurrentControlSet\\Control\\DeviceClasses\\"
    L"{72631e54-78a4-11d0-bcf7-00aa00b7b32a}\\##?#ROOT#BATTERY#0001#"
    L"{72631e54-78a4-11d0-bcf7-00aa00b7b32a}\\#\\Control"};

// Milliseconds since the machine started.
uint64_t NowMs() {
    return KeQueryInterruptTime() / 10000;
}

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

// What the I/O manager turns into the caller's last error: ERROR_INVALID_PARAMETER,
// ERROR_NOT_SUPPORTED, ERROR_BUSY, ERROR_NOT_READY and ERROR_INVALID_FUNCTION.
NTSTATUS RefusalStatus(fw::Refusal refusal) {
    switch (refusal) {
    case fw::Refusal::InvalidParameter:
        return STATUS_INVALID_PARAMETER;
    case fw::Refusal::Busy:
        return STATUS_DEVICE_BUSY;
    case fw::Refusal::NotReady:
        return STATUS_DEVICE_NOT_READY;
    default:
        return STATUS_NOT_SUPPORTED;
    }
}

NTSTATUS Configure(const void* in, ULONG inSize) {
    return fw::Configure(g_machine.firmware, static_cast<const uint8_t*>(in), inSize)
               ? STATUS_SUCCESS
               : STATUS_INVALID_PARAMETER;
}

// A bay's interface: its path leads to the bay's device and the class lists it, or neither. The
// installer registered the interface; without it there is nothing to mark.
void Link(uint32_t bay, bool linked) {
    UNICODE_STRING link = Text(g_batteryLinks[bay]);
    IoDeleteSymbolicLink(&link);
    if (linked) {
        UNICODE_STRING device = Text(g_batteryNames[bay]);
        IoCreateSymbolicLink(&link, &device);
    }
    UNICODE_STRING controlPath = Text(g_batteryControls[bay]);
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &controlPath, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                               nullptr, nullptr);
    HANDLE control = nullptr;
    if (NT_SUCCESS(ZwOpenKey(&control, KEY_SET_VALUE, &attributes))) {
        WCHAR valueName[] = L"Linked";
        UNICODE_STRING value = Text(valueName);
        ULONG data = linked ? 1 : 0;
        ZwSetValueKey(control, &value, 0, REG_DWORD, &data, sizeof data);
        ZwClose(control);
    }
}

// The packs into the bays, each under a new tag; the bays past them emptied.
NTSTATUS ConfigurePacks(const void* in, ULONG inSize) {
    fw::PackSetup setup;
    if (!fw::ReadPacks(static_cast<const uint8_t*>(in), inSize, setup)) {
        return STATUS_INVALID_PARAMETER;
    }
    for (uint32_t bay = 0; bay < fw::kMostPacks; ++bay) {
        const bool inserted = bay < setup.count;
        fw::Pack& pack = g_machine.firmware.pack(bay);
        pack = inserted ? setup.packs[bay] : fw::Pack{};
        pack.present = inserted;
        g_machine.bays[bay] = inserted ? fw::Bay{true, ++g_machine.lastTag} : fw::Bay{};
        Link(bay, inserted);
    }
    g_machine.firmware.packsChanged();
    return STATUS_SUCCESS;
}

NTSTATUS ClassStatus(fw::ClassError error) {
    switch (error) {
    case fw::ClassError::None:
        return STATUS_SUCCESS;
    case fw::ClassError::InvalidParameter:
        return STATUS_INVALID_PARAMETER;
    case fw::ClassError::BufferTooSmall:
        return STATUS_BUFFER_TOO_SMALL;
    case fw::ClassError::NoSuchBattery:
        return STATUS_NO_SUCH_FILE;
    case fw::ClassError::InvalidFunction:
        break;
    }
    return STATUS_INVALID_DEVICE_REQUEST;
}

// A battery class request to a bay. The stand-in does not see the host's power line: its
// batteries are on AC. A tag request for an empty bay fails at once, whatever its wait. A status
// request that waits looks at the pack again every 50 ms until the status ends the wait or the
// time-out passes (a wait without end gives up after a day), leaving the machine to other
// requests in between; a pack changed meanwhile ends it with the tag's error.
NTSTATUS BatteryRequest(uint32_t bay, ULONG code, uint8_t* buffer, ULONG inSize, ULONG outSize,
                        ULONG_PTR& information) {
    constexpr uint64_t kPollMs = 50;
    constexpr uint64_t kLongestWaitMs = 24ull * 3600 * 1000;
    const bool onAc = true;
    fw::Firmware& firmware = g_machine.firmware;
    fw::ClassWait wait{};
    const bool status = code == fw::kQueryStatus && inSize == sizeof wait;
    if (status) {
        __builtin_memcpy(&wait, buffer, sizeof wait); // the answer overwrites the buffer
    }
    const uint64_t longest = wait.timeout == fw::kWaitForever ? kLongestWaitMs : wait.timeout;
    // The wait is counted in polls, and the packs move on by them: the interrupt time a driver
    // sees under Wine barely moves.
    const uint64_t start = NowMs();
    for (uint64_t waited = 0;; waited += kPollMs) {
        const uint64_t now = NowMs() > start + waited ? NowMs() : start + waited;
        if (code != fw::kQueryTag) {
            firmware.advancePacks(now, onAc);
        }
        const fw::ClassReply reply = fw::Answer(
            firmware.pack(bay), g_machine.bays[bay], onAc, firmware.chargeLimit(bay, now), code,
            status ? static_cast<void*>(&wait) : buffer, inSize, buffer, outSize);
        information = reply.length;
        fw::ClassStatus answer{};
        if (status && reply.error == fw::ClassError::None) {
            __builtin_memcpy(&answer, buffer, sizeof answer);
        }
        if (!status || reply.error != fw::ClassError::None || waited >= longest ||
            fw::EndsWait(wait, answer)) {
            return ClassStatus(reply.error);
        }
        KeReleaseMutex(&g_machine.lock, FALSE);
        LARGE_INTEGER interval;
        interval.QuadPart = -static_cast<LONGLONG>(kPollMs) * 10000; // relative, in 100 ns
        KeDelayExecutionThread(KernelMode, FALSE, &interval);
        KeWaitForSingleObject(&g_machine.lock, Executive, KernelMode, FALSE, nullptr);
    }
}

// A buffered request: the input and the reply share the system buffer, so the input is copied
// out before the firmware writes its reply. A reply longer than the output buffer is an
// overflow: what fits is returned, and the caller's DeviceIoControl fails with ERROR_MORE_DATA.
NTSTATUS DispatchControl(PDEVICE_OBJECT device, PIRP irp) {
    const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    const ULONG inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
    uint8_t* buffer = static_cast<uint8_t*>(irp->AssociatedIrp.SystemBuffer);

    KeWaitForSingleObject(&g_machine.lock, Executive, KernelMode, FALSE, nullptr);
    NTSTATUS status = STATUS_SUCCESS;
    ULONG_PTR information = 0;
    const uint32_t bay = static_cast<Extension*>(device->DeviceExtension)->bay;
    if (bay != kMakerDevice) {
        status = BatteryRequest(bay, code, buffer, inSize, outSize, information);
    } else if (code == fw::kConfigure) {
        status = Configure(buffer, inSize);
    } else if (code == fw::kConfigurePacks) {
        status = ConfigurePacks(buffer, inSize);
    } else {
        uint8_t input[64];
        const ULONG kept = inSize < sizeof(input) ? inSize : sizeof(input);
        if (kept) {
            RtlCopyMemory(input, buffer, kept);
        }
        const fw::Reply reply = g_machine.firmware.request(NowMs(), code, kept ? input : nullptr,
                                                           kept, buffer, outSize);
        switch (reply.outcome) {
        case fw::Outcome::Done:
            information = reply.length;
            break;
        case fw::Outcome::Overflow:
            status = STATUS_BUFFER_OVERFLOW;
            information = outSize;
            break;
        case fw::Outcome::Refused:
            status = RefusalStatus(reply.refusal);
            break;
        case fw::Outcome::UnknownCode:
            status = STATUS_INVALID_DEVICE_REQUEST;
            break;
        }
    }
    KeReleaseMutex(&g_machine.lock, FALSE);
    return Complete(irp, status, information);
}

NTSTATUS DispatchOpenClose(PDEVICE_OBJECT, PIRP irp) {
    return Complete(irp, STATUS_SUCCESS, 0);
}

// A binary value of the driver's "Parameters" key, handed to `apply` if it is there.
void LoadValue(HANDLE parameters, WCHAR* name, NTSTATUS (*apply)(const void*, ULONG)) {
    UNICODE_STRING value = Text(name);
    union {
        KEY_VALUE_PARTIAL_INFORMATION info;
        uint8_t bytes[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + sizeof(fw::PackSetup)];
    } data;
    ULONG size = 0;
    if (NT_SUCCESS(ZwQueryValueKey(parameters, &value, KeyValuePartialInformation, &data,
                                   sizeof(data), &size)) &&
        data.info.Type == REG_BINARY) {
        apply(data.info.Data, data.info.DataLength);
    }
}

// The setup and the packs the installer left in the driver's "Parameters" key, if it did.
void LoadSetup(PUNICODE_STRING registryPath) {
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, registryPath, OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE,
                               nullptr, nullptr);
    HANDLE service = nullptr;
    if (!NT_SUCCESS(ZwOpenKey(&service, KEY_READ, &attributes))) {
        return;
    }
    WCHAR parametersName[] = L"Parameters";
    UNICODE_STRING parametersPath = Text(parametersName);
    InitializeObjectAttributes(&attributes, &parametersPath,
                               OBJ_CASE_INSENSITIVE | OBJ_KERNEL_HANDLE, service, nullptr);
    HANDLE parameters = nullptr;
    if (NT_SUCCESS(ZwOpenKey(&parameters, KEY_READ, &attributes))) {
        WCHAR firmwareName[] = L"Firmware";
        LoadValue(parameters, firmwareName, Configure);
        WCHAR packsName[] = L"Packs";
        LoadValue(parameters, packsName, ConfigurePacks);
        ZwClose(parameters);
    }
    ZwClose(service);
}

void Unload(PDRIVER_OBJECT driver) {
    for (uint32_t bay = 0; bay < fw::kMostPacks; ++bay) {
        Link(bay, false);
    }
    UNICODE_STRING link = Text(g_linkName);
    IoDeleteSymbolicLink(&link);
    while (driver->DeviceObject) {
        IoDeleteDevice(driver->DeviceObject);
    }
}

// A device of `type` named `name` standing for `bay`, or null.
PDEVICE_OBJECT CreateDevice(PDRIVER_OBJECT driver, WCHAR* name, DEVICE_TYPE type, uint32_t bay) {
    UNICODE_STRING deviceName = Text(name);
    PDEVICE_OBJECT device = nullptr;
    if (!NT_SUCCESS(
            IoCreateDevice(driver, sizeof(Extension), &deviceName, type, 0, FALSE, &device))) {
        return nullptr;
    }
    static_cast<Extension*>(device->DeviceExtension)->bay = bay;
    device->Flags |= DO_BUFFERED_IO;
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return device;
}

} // namespace

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    KeInitializeMutex(&g_machine.lock, 0);
    PDEVICE_OBJECT device = CreateDevice(driver, g_deviceName, FILE_DEVICE_UNKNOWN, kMakerDevice);
    if (!device) {
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    for (uint32_t bay = 0; bay < fw::kMostPacks; ++bay) {
        if (!CreateDevice(driver, g_batteryNames[bay], FILE_DEVICE_BATTERY, bay)) {
            Unload(driver);
            return STATUS_INSUFFICIENT_RESOURCES;
        }
    }
    UNICODE_STRING link = Text(g_linkName);
    UNICODE_STRING deviceName = Text(g_deviceName);
    const NTSTATUS status = IoCreateSymbolicLink(&link, &deviceName);
    if (!NT_SUCCESS(status)) {
        Unload(driver);
        return status;
    }
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
    driver->DriverUnload = Unload;
    LoadSetup(registryPath);
    return STATUS_SUCCESS;
}
