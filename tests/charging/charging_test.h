// What the charging tests share: a notebook with the maker's driver and logging at full detail,
// the commands the firmware received, and the messages the library logged.
#pragma once

#include "log_file.h"
#include "sim_test.h"

#include <celdor/chargingmode.h>
#include <celdor/libreg.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fw = celdor::models::firmware;

class ChargingTest : public LoggingTest {
protected:
    static constexpr DWORD kPower = 0x831020F8;
    static constexpr DWORD kUsb = 0x831020E8;
    static constexpr DWORD kBtmc = 0x83102148;
    static constexpr DWORD kBnmc = 0x83102150;
    static constexpr char16_t kAddinKey[] =
        u"SOFTWARE\\Harlune\\PelmarkService\\AddinData\\OstraNotebookAddin";

    void SetUp() override {
        LoggingTest::SetUp();
        nb().fervo().present = true;
        logfile::SetWriteLevel(0x400);
    }

    // The commands sent with one control code, in order: the sub-command byte, or the 32-bit
    // command word; the status queries (0xFF, 0x02) left out unless `queries`.
    static std::vector<std::uint32_t> Sent(DWORD code, bool queries = false) {
        std::vector<std::uint32_t> commands;
        for (const auto& request : nb().fervo().requests()) {
            std::uint32_t command = 0;
            for (std::size_t i = 0; i < request.input.size() && i < 4; ++i) {
                command |= std::uint32_t{request.input[i]} << (8 * i);
            }
            const bool query =
                (code == kPower && command == 0xFF) || (code == kUsb && command == 0x02);
            if (request.code == code && (queries || !query)) {
                commands.push_back(command);
            }
        }
        return commands;
    }

    static std::size_t Count(DWORD code, std::uint32_t command) {
        const auto all = Sent(code, true);
        return static_cast<std::size_t>(std::count(all.begin(), all.end(), command));
    }

    // The opens of the maker's device (the log opens its file too).
    static std::size_t DriverOpens() {
        std::size_t opens = 0;
        for (const auto& call : nb().journal().calls("CreateFileW")) {
            opens += call.target == "\\\\.\\FervoDrv" ? 1 : 0;
        }
        return opens;
    }

    // The debug messages logged, without their headers.
    static std::vector<std::string> Messages() {
        std::vector<std::string> messages;
        for (const std::string& rest : logfile::Messages()) {
            messages.push_back(rest.substr(rest.find_first_not_of('-', rest.find("--"))));
        }
        return messages;
    }

    // The mode recorded for the host, if any.
    static std::optional<std::u16string> Recorded() {
        auto value =
            nb().registry().value(celdor::sim::Hive::CurrentUser, kAddinKey, u"BatteryChargeMode");
        return value ? std::optional(value->asString()) : std::nullopt;
    }
    static void Record(std::u16string mode) {
        nb().registry().setValue(celdor::sim::Hive::CurrentUser, kAddinKey, u"BatteryChargeMode",
                                 celdor::sim::RegValue::String(mode, REG_EXPAND_SZ));
    }

    static void Forget() {
        nb().journal().clear();
        nb().fervo().clearRequests();
        std::error_code ec;
        std::filesystem::remove(logfile::HostPath(), ec);
    }
};
