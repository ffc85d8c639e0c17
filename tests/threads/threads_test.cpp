// The library from several threads at once, as a host may use it: the battery handles' shared
// references under their mutex, and every family's objects used at the same time, each object
// on its own thread. These run under ThreadSanitizer as well as in the usual builds.
#include "sim_test.h"

#include <celdor/celdor.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <list>
#include <string>
#include <thread>
#include <vector>

using celdor::sim::HandleKind;

namespace {

using Threads = SimTest;

void OnThreads(const std::vector<std::function<void()>>& work, int rounds) {
    std::vector<std::thread> threads;
    for (const auto& job : work) {
        threads.emplace_back([&job, rounds] {
            for (int i = 0; i < rounds; ++i) {
                job();
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}

// Objects on several threads take and give back references and query at the same time: every
// handle is closed at the end, whoever opened it. Only the first reference in the process opens
// the handles, so an object may find none to query.
TEST_F(Threads, BatteryReferencesFromSeveralThreads) {
    nb().batteries().add(u"\\\\?\\acpi#pnp0c0a#1#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}",
                         {.designedCapacity = 41000});
    nb().batteries().add(u"\\\\?\\acpi#pnp0c0a#2#{72631e54-78a4-11d0-bcf7-00aa00b7b32a}",
                         {.designedCapacity = 42000});
    std::vector<std::function<void()>> work;
    for (int t = 0; t < 4; ++t) {
        work.push_back([t, i = 0]() mutable {
            Celdor::CBatteryDriver driver;
            BATTERY_INFORMATION info{};
            const bool held = (t + i) % 2 == 0;
            if (held) {
                driver.InitBatteryDriverHandle();
            }
            driver.GetBatteryInformationFromOS(info, i % 2); // 0 while another holds them
            if (held) {
                driver.ReleaseBatteryDriverHandle();
            }
            ++i;
        });
    }
    OnThreads(work, 25);
    EXPECT_EQ(nb().openCount(HandleKind::Device), 0);
}

// One record's texts copied, assigned and dropped on several threads at once, after the record
// itself is gone: every copy reads them whole and the last owner frees them.
TEST_F(Threads, RecordTextsSharedBetweenThreads) {
    std::vector<std::function<void()>> work;
    {
        Celdor::_BATTERY_INFORMATION_EX record;
        record.ManufacturerName = Celdor::CString(CELDOR_W("Quillcell"));
        record.Firmware = Celdor::CString(CELDOR_W("1234-5678-9ABC-DEF0"));
        record.SerialNumber = Celdor::CString(CELDOR_W("QC-0001"));
        for (int t = 0; t < 4; ++t) {
            work.push_back([record] {
                const Celdor::_BATTERY_INFORMATION_EX copy(record);
                Celdor::_BATTERY_INFORMATION_EX assigned;
                assigned = copy;
                EXPECT_EQ(assigned.Firmware, record.Firmware);
            });
        }
    }
    OnThreads(work, 2000);
}

// Every family at once on the default notebook, one object per thread, with the log writing.
TEST_F(Threads, FamiliesOnTheirOwnThreads) {
    std::ifstream in(std::filesystem::path(CELDOR_SOURCE_DIR) / "scenarios" / "default.json");
    nb().loadScenario(std::string(std::istreambuf_iterator<char>(in), {}));
    nb().registry().setValue(celdor::sim::Hive::LocalMachine,
                             u"Software\\WOW6432Node\\Harlune\\PelmarkService\\FileLogger",
                             u"WriteLevel", celdor::sim::RegValue::Dword(0x400));
    Celdor::CPowerScheme plans; // read-only after construction: shared by two threads
    OnThreads({
                  [] {
                      Celdor::CChargingMode charging;
                      const int mode = charging.GetChargingMode() == 1 ? 0 : 1;
                      charging.SetChargingMode(mode);
                  },
                  [] {
                      Celdor::CUSBCharger usb;
                      usb.OpenOrClose() == 1 ? usb.CloseFeature() : usb.OpenFeature();
                      Celdor::CUSBBatteryCharger battery;
                      battery.IsSupport();
                  },
                  [] {
                      Celdor::CIntelligentCooling cooling;
                      int capability = 0;
                      Celdor::CIntelligentCooling::ITSMode mode{};
                      cooling.GetITSMode(capability, mode);
                      cooling.IsAutoTransitionEnabled();
                  },
                  [&plans] {
                      Celdor::CString name;
                      plans.GetActivePowerScheme(name);
                      plans.GetDisplayTimeOutValue();
                  },
                  [&plans] {
                      std::list<Celdor::CString> names;
                      plans.GetPowerSchemeList(names);
                      plans.GetCurrentBrightness();
                  },
                  [] {
                      Celdor::CAdapter::IsACIn();
                      Celdor::CAdapter::GetAdapterStatus();
                      RegDoesExistSzValue(CELDOR_W("Software"), CELDOR_W("NoSuchValue"));
                      DWORD value = 0;
                      GetDWForIni(CELDOR_W("C:\\ProgramData\\NoSuch.ini"), CELDOR_W("s"),
                                  CELDOR_W("k"), &value);
                  },
              },
              5);
}

} // namespace
