// The maker's control device "\\.\FervoDrv": the driver's side of the control codes, answered by
// the firmware model unless the test queued a scripted reply for them.
#include "internal.h"

#include <celdor_models/firmware_setup.h>

#include <algorithm>
#include <cstring>

using namespace celdor::sim;
using namespace celdor::sim::detail;

namespace {

namespace fw = celdor::models::firmware;

// What the I/O manager reports for the driver's refusals.
DWORD RefusalError(fw::Refusal refusal) {
    switch (refusal) {
    case fw::Refusal::InvalidParameter:
        return ERROR_INVALID_PARAMETER;
    case fw::Refusal::Busy:
        return ERROR_BUSY;
    case fw::Refusal::NotReady:
        return ERROR_NOT_READY;
    default:
        return ERROR_NOT_SUPPORTED;
    }
}

struct FervoHandle : DeviceObject {
    BOOL control(DWORD code, LPVOID in, DWORD inSize, LPVOID out, DWORD outSize,
                 LPDWORD returned) override {
        FervoDevice& device = NB().fervo();
        FervoRequest request{code, {}, inSize, outSize, false, 0};
        if (in) {
            auto bytes = static_cast<const std::uint8_t*>(in);
            request.input.assign(bytes, bytes + inSize);
        }
        DWORD error = 0;
        if (!device.present) {
            error = ERROR_DEVICE_NOT_CONNECTED;
        } else if (auto scripted = device.takeScript(code, request.input)) {
            error = scripted->error ? scripted->error
                                    : Deliver(scripted->bytes, out, outSize, returned);
        } else {
            AdvanceBatteries();
            error = Answer(device.firmware(), code, request.input, out, outSize, returned);
        }
        if (error == 0) {
            request.succeeded = true;
        } else {
            request.error = error;
            SetLastError(error);
        }
        device.record(std::move(request));
        return error == 0 ? TRUE : FALSE;
    }

    // Counted for as long as the object lives, so that an open that fails half way (memory
    // running out while the handle is recorded) leaves the count as it was.
    FervoHandle() { ++NB().fervo().m_openHandles; }
    ~FervoHandle() override { --NB().fervo().m_openHandles; }

    // A buffered driver copies what fits and reports a longer reply as an overflow.
    static DWORD Deliver(const std::vector<std::uint8_t>& reply, LPVOID out, DWORD outSize,
                         LPDWORD returned) {
        const DWORD size = std::min<DWORD>(outSize, static_cast<DWORD>(reply.size()));
        if (size) {
            std::memcpy(out, reply.data(), size);
        }
        *returned = size;
        return reply.size() > outSize ? ERROR_MORE_DATA : 0;
    }

    // The firmware model at the notebook's time, its outcome in Win32 terms.
    static DWORD Answer(fw::Firmware& firmware, DWORD code, const std::vector<std::uint8_t>& in,
                        LPVOID out, DWORD outSize, LPDWORD returned) {
        if (code == fw::kConfigure) {
            *returned = 0;
            return fw::Configure(firmware, in.empty() ? nullptr : in.data(),
                                 static_cast<std::uint32_t>(in.size()))
                       ? 0
                       : ERROR_INVALID_PARAMETER;
        }
        if (code == fw::kConfigurePacks) {
            *returned = 0;
            fw::PackSetup packs;
            if (!fw::ReadPacks(in.empty() ? nullptr : in.data(),
                               static_cast<std::uint32_t>(in.size()), packs)) {
                return ERROR_INVALID_PARAMETER;
            }
            NB().batteries().configure(packs);
            return 0;
        }
        const fw::Reply reply = firmware.request(
            NB().clock().tickMs, code, in.empty() ? nullptr : in.data(),
            static_cast<std::uint32_t>(in.size()), static_cast<std::uint8_t*>(out), outSize);
        switch (reply.outcome) {
        case fw::Outcome::Done:
            *returned = reply.length;
            return 0;
        case fw::Outcome::Overflow:
            *returned = outSize;
            return ERROR_MORE_DATA;
        case fw::Outcome::Refused:
            return RefusalError(reply.refusal);
        case fw::Outcome::UnknownCode:
            break;
        }
        return ERROR_INVALID_FUNCTION; // the driver does not know the code
    }
};

} // namespace

namespace celdor::sim {

FervoReply FervoReply::Fail(DWORD error) {
    return FervoReply{error, {}};
}
FervoReply FervoReply::Bytes(std::vector<std::uint8_t> bytes) {
    return FervoReply{0, std::move(bytes)};
}
FervoReply FervoReply::Word(std::uint32_t word) {
    std::vector<std::uint8_t> bytes(4);
    std::memcpy(bytes.data(), &word, 4);
    return FervoReply{0, std::move(bytes)};
}

void FervoDevice::configure(const celdor::models::firmware::Config& config,
                            std::initializer_list<celdor::models::firmware::Mode> on) {
    auto lock = LockNotebook();
    m_firmware.configure(config);
    for (celdor::models::firmware::Mode mode : on) {
        m_firmware.set(mode, true);
    }
}

void FervoDevice::hibernate() {
    auto lock = LockNotebook();
    m_firmware.hibernate();
}

void FervoDevice::script(DWORD code, std::optional<std::uint8_t> subCommand, FervoReply reply) {
    auto lock = LockNotebook();
    m_scripts.push_back(Scripted{code, subCommand, std::move(reply)});
}

void FervoDevice::clearScripts() {
    auto lock = LockNotebook();
    m_scripts.clear();
}

std::vector<FervoRequest> FervoDevice::requests() const {
    auto lock = LockNotebook();
    return m_requests;
}

void FervoDevice::clearRequests() {
    auto lock = LockNotebook();
    m_requests.clear();
}

std::optional<FervoReply> FervoDevice::takeScript(DWORD code,
                                                  const std::vector<std::uint8_t>& input) {
    for (auto it = m_scripts.begin(); it != m_scripts.end(); ++it) {
        if (it->code != code) {
            continue;
        }
        if (it->subCommand && (input.empty() || input[0] != *it->subCommand)) {
            continue;
        }
        FervoReply reply = std::move(it->reply);
        m_scripts.erase(it);
        return reply;
    }
    return std::nullopt;
}

void FervoDevice::record(FervoRequest request) {
    if (recordRequests) {
        m_requests.push_back(std::move(request));
    }
}

// Called with the notebook locked (or while it is being built): no lock taken here.
void FervoDevice::reset() {
    present = true;
    openError = 0;
    recordRequests = true;
    m_firmware.reset();
    m_scripts.clear();
    m_requests.clear();
}

} // namespace celdor::sim

namespace celdor::sim::detail {

DeviceOpenResult OpenFervo(DWORD access, DWORD share) {
    (void)access;
    (void)share;
    FervoDevice& device = NB().fervo();
    if (!device.present) {
        return {nullptr, ERROR_FILE_NOT_FOUND};
    }
    if (device.openError) {
        return {nullptr, device.openError};
    }
    return {std::make_unique<FervoHandle>(), 0};
}

} // namespace celdor::sim::detail
