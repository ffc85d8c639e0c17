// The fault sweep: every exported operation, on every notebook it means something on, run once
// cleanly to learn the system calls it makes, then once with each of those calls failing the
// way Windows fails it, and once with each of the library's own allocations failing. Every run
// must return one of the operation's documented results, throw nothing, leave nothing open and
// leave the diagnostic log's lines whole.
//
//   celdor_fault_sweep [NAME-PART]   sweeps the operations whose names contain NAME-PART
//
// The last line reads "fault sweep: P pairs over O operations, F failures"; every failure is
// listed above it, and the exit status is non-zero when there was one.
#include "log_lines.h"
#include "out_of_memory.h"
#include "sweep_operations.h"

#include "support/logger.h"

#include <celdor/batterydriver.h>

#include <celdor_platform/notebook.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <new>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using celdor::sim::Fault;
using celdor::sim::Notebook;
using sweep::Operation;

Notebook& Nb() {
    return Notebook::instance();
}

// What Windows says when each function fails for a reason the caller cannot prevent: a key or
// device that is not there, access refused, a full disk, a request the driver rejects, a
// service that stopped, the system out of memory. Functions missing here do not fail in ways
// a caller has to handle (the clock, the last error), and calls that release something are
// left alone: when they fail, what they release stays open by definition.
DWORD WindowsError(const celdor::sim::Call& call) {
    constexpr DWORD kReadFault = 30; // ERROR_READ_FAULT
    constexpr DWORD kDiskFull = 112; // ERROR_DISK_FULL
    static const std::map<std::string, DWORD> errors = {
        {"RegOpenKeyExW", ERROR_FILE_NOT_FOUND},
        {"RegCreateKeyExW", ERROR_ACCESS_DENIED},
        {"RegQueryValueExW", ERROR_FILE_NOT_FOUND},
        {"RegSetValueExW", ERROR_ACCESS_DENIED},
        {"RegDeleteValueW", ERROR_FILE_NOT_FOUND},
        {"RegDeleteKeyW", ERROR_ACCESS_DENIED},
        {"RegFlushKey", ERROR_ACCESS_DENIED},
        {"ReadFile", kReadFault},
        {"WriteFile", kDiskFull},
        {"GetFileSize", ERROR_ACCESS_DENIED},
        {"SetFilePointer", ERROR_INVALID_PARAMETER},
        {"CreateDirectoryW", ERROR_ACCESS_DENIED},
        {"PathIsDirectoryW", ERROR_FILE_NOT_FOUND},
        {"SHGetKnownFolderPath", ERROR_FILE_NOT_FOUND},
        {"GetPrivateProfileStringW", ERROR_FILE_NOT_FOUND},
        {"WritePrivateProfileStringW", ERROR_ACCESS_DENIED},
        {"ConvertStringSecurityDescriptorToSecurityDescriptorW", ERROR_NOT_ENOUGH_MEMORY},
        {"LocalAlloc", ERROR_NOT_ENOUGH_MEMORY},
        {"MultiByteToWideChar", ERROR_NO_UNICODE_TRANSLATION},
        {"DeviceIoControl", ERROR_GEN_FAILURE},
        {"SetupDiGetClassDevsW", ERROR_NOT_ENOUGH_MEMORY},
        {"SetupDiEnumDeviceInterfaces", ERROR_NO_MORE_ITEMS},
        {"SetupDiGetDeviceInterfaceDetailW", ERROR_NOT_ENOUGH_MEMORY},
        {"OpenSCManagerW", ERROR_ACCESS_DENIED},
        {"OpenServiceW", ERROR_SERVICE_DOES_NOT_EXIST},
        {"QueryServiceStatusEx", ERROR_ACCESS_DENIED},
        {"ControlService", ERROR_SERVICE_NOT_ACTIVE},
        {"GetSystemPowerStatus", ERROR_GEN_FAILURE},
        {"PowerEnumerate", ERROR_ACCESS_DENIED},
        {"PowerReadFriendlyName", ERROR_FILE_NOT_FOUND},
        {"PowerGetActiveScheme", ERROR_ACCESS_DENIED},
        {"PowerSetActiveScheme", ERROR_ACCESS_DENIED},
        {"PowerReadACValue", ERROR_FILE_NOT_FOUND},
        {"PowerReadDCValue", ERROR_FILE_NOT_FOUND},
    };
    if (call.function == "CreateFileW") {
        // A device that is not there; a file the user may not open.
        const bool device =
            call.target.rfind("\\\\.\\", 0) == 0 || call.target.rfind("\\\\?\\", 0) == 0;
        return device ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED;
    }
    const auto found = errors.find(call.function);
    return found == errors.end() ? 0 : found->second;
}

constexpr long kUncounted = std::numeric_limits<long>::max();

// The battery handles' process-wide reference count, which every operation must leave as it
// found it (0), whatever failed on the way.
struct BatteryReferences : Celdor::CBatteryDriver {
    static int Left() { return s_nHandleRefCount; }
    static void Clear() { s_nHandleRefCount = 0; }
};

struct Sweep {
    std::map<std::string, std::string> scenarios;        // file name -> JSON
    std::map<std::string, Notebook::Snapshot> notebooks; // file name -> the notebook loaded
    long pairs = 0;
    long allocationPairs = 0;
    std::vector<std::string> failures;
    long allocations = 0; // the library's allocations in the last run that failed none

    std::string Scenario(const std::string& name) {
        auto [at, added] = scenarios.try_emplace(name);
        if (added) {
            std::ifstream in(fs::path(CELDOR_SOURCE_DIR) / "scenarios" / name, std::ios::binary);
            at->second.assign(std::istreambuf_iterator<char>(in), {});
        }
        return at->second;
    }

    // The notebook as the scenario describes it, the log admitting every line into a folder
    // that exists, nothing journaled or armed yet. Each scenario is loaded once, and its
    // notebook restored from then on.
    void Arrange(const Operation& op, const std::string& scenario) {
        Nb().reset();
        auto [loaded, first] = notebooks.try_emplace(scenario);
        if (first) {
            Nb().loadScenario(Scenario(scenario));
            Nb().registry().setValue(celdor::sim::Hive::LocalMachine,
                                     u"Software\\WOW6432Node\\Harlune\\PelmarkService\\FileLogger",
                                     u"WriteLevel", celdor::sim::RegValue::Dword(0x400));
            loaded->second = Nb().snapshot();
        } else {
            Nb().restore(loaded->second);
        }
        fs::create_directories(LogPath().parent_path());
        if (op.arrange) {
            op.arrange();
        }
        Nb().journal().clear();
        Nb().faults().clear();
    }

    static fs::path LogPath() { return Nb().hostPath(Celdor::CFileLogger::LogFilePath().View()); }

    // Runs the operation and checks what it left; a failure is reported under `run`.
    void Run(const Operation& op, const std::string& run, long failAt = 0) {
        int result = 0;
        std::string problem;
        t_allocationsBeforeFailure = failAt > 0 ? failAt - 1 : kUncounted;
        try {
            result = op.run();
        } catch (const std::bad_alloc&) {
            problem = "std::bad_alloc thrown";
        } catch (const std::exception& error) {
            problem = std::string("exception thrown: ") + error.what();
        } catch (...) {
            problem = "unknown exception thrown";
        }
        if (failAt == 0) {
            allocations = kUncounted - t_allocationsBeforeFailure;
        }
        t_allocationsBeforeFailure = -1;
        if (problem.empty() && !op.results(result)) {
            problem = "result " + std::to_string(result) + " is not a documented one";
        }
        if (BatteryReferences::Left() != 0) {
            problem += (problem.empty() ? "" : "; ") +
                       ("battery references left: " + std::to_string(BatteryReferences::Left()));
            BatteryReferences::Clear();
        }
        for (const std::string& leak : Nb().leaks()) {
            problem += (problem.empty() ? "" : "; ") + ("left open: " + leak);
        }
        if (const std::string broken = BrokenLogLine(); !broken.empty()) {
            problem += (problem.empty() ? "" : "; ") + ("log line not whole: " + broken);
        }
        if (!problem.empty()) {
            failures.push_back(op.name + " [" + run + "]: " + problem);
        }
    }

    static std::string BrokenLogLine() {
        std::ifstream in(LogPath(), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        if (!bytes.empty() && bytes.substr(bytes.size() - 4) != std::string("\r\0\n\0", 4)) {
            return "the file does not end with a line end";
        }
        for (const logtext::Line& line : logtext::Lines(bytes)) {
            if (line.number < 0) {
                return line.text;
            }
        }
        return {};
    }

    void SweepOperation(const Operation& op) {
        for (const std::string& scenario : op.scenarios) {
            // The clean run: which calls the operation makes, and how many allocations.
            Arrange(op, scenario);
            Run(op, scenario);
            const long allocationsMade = allocations;
            const std::vector<celdor::sim::Call> calls = Nb().journal().calls();
            std::map<std::string, unsigned> seen;
            for (const celdor::sim::Call& call : calls) {
                const unsigned n = ++seen[call.function];
                const DWORD error = WindowsError(call);
                if (error == 0) {
                    continue;
                }
                Arrange(op, scenario);
                Nb().faults().inject(call.function, Fault::Nth(n, error));
                Run(op, scenario + ", " + call.function + " #" + std::to_string(n) +
                            " fails with " + std::to_string(error));
                ++pairs;
            }
            for (long n = 1; n <= allocationsMade; ++n) {
                Arrange(op, scenario);
                Run(op, scenario + ", allocation #" + std::to_string(n) + " fails", n);
                ++pairs;
                ++allocationPairs;
            }
        }
    }
};

} // namespace

// Thousands of runs each start from a fresh drive: in memory where the machine has a folder
// for that, the sweep takes seconds rather than minutes on a busy disk.
struct MemoryDrive {
    fs::path folder;
    MemoryDrive() {
        std::error_code ec;
        if (std::getenv("CELDOR_SIM_ROOT") == nullptr && fs::is_directory("/dev/shm", ec)) {
            folder = fs::path("/dev/shm") / ("celdor-sweep-" + std::to_string(::getpid()));
            fs::create_directories(folder, ec);
            Nb().setRoot(folder);
        }
    }
    ~MemoryDrive() {
        std::error_code ec;
        if (!folder.empty()) {
            fs::remove_all(folder, ec);
        }
    }
};

int main(int argc, char** argv) {
    const std::string only = argc > 1 ? argv[1] : "";
    const MemoryDrive drive;
    Sweep sweep;
    long operations = 0;
    for (const Operation& op : sweep::Operations()) {
        if (op.name.find(only) == std::string::npos) {
            continue;
        }
        sweep.SweepOperation(op);
        ++operations;
    }
    Nb().reset();
    for (const std::string& failure : sweep.failures) {
        std::printf("FAILED %s\n", failure.c_str());
    }
    std::printf("%ld system calls failed, %ld allocations failed\n",
                sweep.pairs - sweep.allocationPairs, sweep.allocationPairs);
    std::printf("fault sweep: %ld pairs over %ld operations, %zu failures\n", sweep.pairs,
                operations, sweep.failures.size());
    return sweep.failures.empty() ? 0 : 1;
}
