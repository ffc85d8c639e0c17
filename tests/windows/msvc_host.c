/* A host of the MSVC kind: compiled by clang for x86_64-pc-windows-msvc and linked by lld-link
 * against Celdor.lib, with no C runtime at all (the few kernel32 functions it needs are
 * declared here), it proves that a program built by another toolchain than the library's calls
 * Celdor.dll through its C interface: a call of each kind (a plain function, a handle, a record,
 * a text with its size query) on the test bench notebook. Prints one line per check; the exit
 * code is the number that failed. */
#include <celdor/celdor_c.h>

__declspec(dllimport) void* GetStdHandle(unsigned long which);
__declspec(dllimport) int WriteFile(void* file, const void* data, unsigned long size,
                                    unsigned long* written, void* overlapped);
__declspec(dllimport) __declspec(noreturn) void ExitProcess(unsigned int code);

static void* out;
static unsigned failed;

static void write_text(const char* text) {
    unsigned long size = 0, written = 0;
    while (text[size++]) {
    }
    WriteFile(out, text, size - 1, &written, 0);
}

static void check(const char* what, int ok) {
    write_text(ok ? "ok     " : "FAILED ");
    write_text(what);
    write_text("\r\n");
    failed += ok ? 0 : 1;
}

void host_main(void) {
    out = GetStdHandle((unsigned long)-11); /* standard output */

    check("interface version 1", celdor_version() >> 16 == 1);
    check("the maker's driver is there", celdor_battery_driver_present() == 1);

    celdor_charging* charging = celdor_charging_create();
    check("storage mode supported", celdor_charging_storage_supported(charging) == 1);
    check("normal charging in force", celdor_charging_get_mode(charging) == CELDOR_CHARGING_NORMAL);
    celdor_charging_destroy(charging);

    celdor_battery* battery = celdor_battery_create();
    celdor_battery_information info;
    info.size = sizeof info;
    check("battery record filled", celdor_battery_get_information(battery, 0, &info) == 1);
    check("firmware text",
          info.Firmware[0] == L'0' && info.Firmware[4] == L'-' && info.Firmware[19] == 0);
    celdor_battery_destroy(battery);

    celdor_plans* plans = celdor_plans_create();
    size_t needed = 0;
    check("size of the first name", celdor_plans_name(plans, 0, 0, &needed) == 1 && needed > 1);
    celdor_wchar name[64];
    size_t length = sizeof name / sizeof name[0];
    check("first name fetched", celdor_plans_name(plans, 0, name, &length) == 1);
    check("name copied", length == needed && name[needed - 1] == 0);
    celdor_plans_destroy(plans);

    write_text(failed == 0 ? "all passed\r\n" : "some failed\r\n");
    ExitProcess(failed);
}
