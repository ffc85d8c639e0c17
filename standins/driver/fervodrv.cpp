// The maker's driver as a kernel driver for Wine: the device "\Device\FervoDrv", which programs
// open as "\\.\FervoDrv", answering buffered device-control requests from the firmware model
// that also stands behind the simulated device. The firmware is set up from the value
// "Firmware" of the driver's "Parameters" key when the driver starts, and again whenever a
// program sends a setup through the configuration code (celdor_models/firmware_setup.h).
//
// Freestanding: no C or C++ library, no exceptions, nothing but ntoskrnl.exe.

// mingw-w64's intrinsics and its ddk headers both define these two; the ddk's are kept.
#define __INTRINSIC_DEFINED_InterlockedBitTestAndSet
#define __INTRINSIC_DEFINED_InterlockedBitTestAndReset
#include <ntddk.h>

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
};
constinit Machine g_machine{};

WCHAR g_deviceName[] = L"\\Device\\FervoDrv";
WCHAR g_linkName[] = L"\\DosDevices\\FervoDrv";

UNICODE_STRING Text(WCHAR* text) {
    UNICODE_STRING string;
    RtlInitUnicodeString(&string, text);
    return string;
}

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

// A buffered request: the input and the reply share the system buffer, so the input is copied
// out before the firmware writes its reply. A reply longer than the output buffer is an
// overflow: what fits is returned, and the caller's DeviceIoControl fails with ERROR_MORE_DATA.
NTSTATUS DispatchControl(PDEVICE_OBJECT, PIRP irp) {
    const PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    const ULONG inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
    uint8_t* buffer = static_cast<uint8_t*>(irp->AssociatedIrp.SystemBuffer);

    KeWaitForSingleObject(&g_machine.lock, Executive, KernelMode, FALSE, nullptr);
    NTSTATUS status = STATUS_SUCCESS;
    ULONG_PTR information = 0;
    if (code == fw::kConfigure) {
        status = Configure(buffer, inSize);
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

// The setup the installer left in the driver's "Parameters" key, if there is one.
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
        WCHAR valueName[] = L"Firmware";
        UNICODE_STRING value = Text(valueName);
        union {
            KEY_VALUE_PARTIAL_INFORMATION info;
            uint8_t bytes[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + sizeof(fw::Setup)];
        } data;
        ULONG size = 0;
        if (NT_SUCCESS(ZwQueryValueKey(parameters, &value, KeyValuePartialInformation, &data,
                                       sizeof(data), &size)) &&
            data.info.Type == REG_BINARY) {
            Configure(data.info.Data, data.info.DataLength);
        }
        ZwClose(parameters);
    }
    ZwClose(service);
}

void Unload(PDRIVER_OBJECT driver) {
    UNICODE_STRING link = Text(g_linkName);
    IoDeleteSymbolicLink(&link);
    IoDeleteDevice(driver->DeviceObject);
}

} // namespace

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    KeInitializeMutex(&g_machine.lock, 0);
    LoadSetup(registryPath);

    UNICODE_STRING deviceName = Text(g_deviceName);
    PDEVICE_OBJECT device = nullptr;
    NTSTATUS status =
        IoCreateDevice(driver, 0, &deviceName, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status)) {
        return status;
    }
    UNICODE_STRING link = Text(g_linkName);
    status = IoCreateSymbolicLink(&link, &deviceName);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        return status;
    }
    device->Flags |= DO_BUFFERED_IO;
    driver->MajorFunction[IRP_MJ_CREATE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchOpenClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
    driver->DriverUnload = Unload;
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    return STATUS_SUCCESS;
}
