/* A host of the MSVC kind: compiled by clang for x86_64-pc-windows-msvc and linked by lld-link
 * against Celdor.lib, with no C runtime at all (the few kernel32 functions it needs are
 * declared here), it proves that a program built by another toolchain than the library's calls
 * Celdor.dll through its C interface: a call of each kind (a plain function, a handle, a record,
 * a text with its size query) on the test bench notebook. Prints one line per check and ends
 * with "N passed, M failed"; the exit code is the number failed. */
#include <celdor/celdor_c.h>

__declspec(dllimport) void* GetStdHandle(unsigned long which);
__declspec(dllimport) int WriteFile(void* file, const void* data, unsigned long size,
                                    unsigned long* written, void* overlapped);
__declspec(dllimport) __declspec(noreturn) void ExitProcess(unsigned int code);

static void* out;
static unsigned passed, failed;

static void write_text(const char* text) {
    unsigned long size = 0, written = 0;
    while (text[size]) {
        ++size;
    }
    WriteFile(out, text, size, &written, 0);
}

static void write_number(unsigned number) {
    char digits[12];
    int at = (int)sizeof digits - 1;
    digits[at] = 0;
    do {
        digits[--at] = (char)('0' + number % 10);
        number /= 10;
    } while (number != 0);
    write_text(digits + at);
}

static void check(const char* what, int ok) {
    write_text(ok ? "ok     " : "FAILED ");
    write_text(what);
    write_text("\r\n");
    ok ? ++passed : ++failed;
}

void host_main(void) {
    out = GetStdHandle((unsigned long)-11); /* standard output */

    check("interface version 1", celdor_version() >> 16 == 1);
    check("the maker's driver is there", celdor_battery_driver_present() == 1);
    check("no adapter type reported", celdor_adapter_type() == -1);

    celdor_charging* charging = celdor_charging_create();
    check("charging controller made", charging != 0);
    check("storage mode supported", celdor_charging_storage_supported(charging) == 1);
    check("normal charging in force", celdor_charging_get_mode(charging) == CELDOR_CHARGING_NORMAL);
    celdor_charging_destroy(charging);
    check("null handle refused", celdor_charging_get_mode(0) == CELDOR_E_INVALID_ARGUMENT);

    celdor_battery* battery = celdor_battery_create();
    celdor_battery_information info;
    info.size = sizeof info;
    check("battery record filled", celdor_battery_get_information(battery, 0, &info) == 1);
    check("no design capacity without a battery", info.DesignCapacity == 0xFFFF);
    check("firmware text", info.Firmware[0] == L'0' && info.Firmware[4] == L'-' &&
                               info.Firmware[19] == 0);
    celdor_battery_destroy(battery);

    celdor_plans* plans = celdor_plans_create();
    size_t needed = 0;
    check("plans listed", celdor_plans_count(plans) > 0);
    check("size of the first name", celdor_plans_name(plans, 0, 0, &needed) == 1 && needed > 1);
    celdor_wchar name[64];
    size_t length = sizeof name / sizeof name[0];
    if (celdor_plans_name(plans, 0, name, &length) == 1) {
        char text[64];
        for (size_t i = 0; i < length; ++i) {
            text[i] = name[i] < 128 ? (char)name[i] : '?';
        }
        write_text("first plan: ");
        write_text(text);
        write_text("\r\n");
    }
    check("name copied", length == needed && name[needed - 1] == 0);
    celdor_plans_destroy(plans);

    write_number(passed);
    write_text(" passed, ");
    write_number(failed);
    write_text(" failed\r\n");
    ExitProcess(failed);
}
