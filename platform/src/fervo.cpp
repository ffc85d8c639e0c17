// The maker's control device "\\.\FervoDrv": the firmware side of its control codes. Requests
// answer from the model's state unless the test queued a scripted reply for them.
#include "internal.h"

#include <algorithm>
#include <cstring>

using namespace celdor::sim;
using namespace celdor::sim::detail;

namespace {

constexpr DWORD kPowerCommand = CTL_CODE(0x8310, 0x83E, METHOD_BUFFERED, FILE_ANY_ACCESS);
constexpr std::uint8_t kPowerGetStatus = 0xFF;

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
        std::vector<std::uint8_t> reply;
        if (!device.present) {
            error = ERROR_DEVICE_NOT_CONNECTED;
        } else if (auto scripted = device.takeScript(code, request.input)) {
            error = scripted->error;
            reply = std::move(scripted->bytes);
        } else {
            error = answer(device, code, request.input, outSize, reply);
        }
        if (error == 0) {
            // A buffered driver copies what fits and reports a longer reply as an overflow.
            const DWORD size = std::min<DWORD>(outSize, static_cast<DWORD>(reply.size()));
            if (size) {
                std::memcpy(out, reply.data(), size);
            }
            *returned = size;
            error = reply.size() > outSize ? ERROR_MORE_DATA : 0;
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

    void close() override { --NB().fervo().m_openHandles; }

    // The stateful firmware.
    static DWORD answer(FervoDevice& device, DWORD code, const std::vector<std::uint8_t>& input,
                        DWORD outSize, std::vector<std::uint8_t>& reply) {
        if (code != kPowerCommand) {
            return ERROR_INVALID_FUNCTION; // the driver does not know the code
        }
        if (input.empty()) {
            return ERROR_INVALID_PARAMETER;
        }
        if (outSize < 4) {
            return ERROR_INSUFFICIENT_BUFFER;
        }
        if (input[0] == kPowerGetStatus) {
            reply.resize(4);
            std::memcpy(reply.data(), &device.statusWord, 4);
            return 0;
        }
        return ERROR_NOT_SUPPORTED;
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
    statusWord = 0;
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
    ++device.m_openHandles;
    return {std::make_unique<FervoHandle>(), 0};
}

} // namespace celdor::sim::detail
