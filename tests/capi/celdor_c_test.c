/* The C interface from C, on the test bench notebook: the maker's driver with a firmware that
 * offers nothing, no battery, both services running (their values are what the last program
 * left). Each row is a call, what it gave and what it must give; the calls of one table do not
 * depend on each other's order. Plans and firmware are left as found. On Linux the argument is
 * the scenario to set the simulated notebook up from. The last line is "N passed, M failed". */
#include <celdor/celdor_c.h>

#include <limits.h>
#include <stdio.h>
#include <string.h>

#if !defined(_WIN32)
#include <celdor_platform/notebook_c.h>
#endif

typedef struct row {
    const char* call;
    long got, low, high;
} row;

#define RANGE(call, low, high)                                                                     \
    { #call, (long)(call), (low), (high) }
#define IS(call, value) RANGE(call, value, value)
#define REFUSED(call) IS(call, CELDOR_E_INVALID_ARGUMENT)
#define COUNT(table) (sizeof(table) / sizeof((table)[0]))

static int passed, failed;

static void check_rows(const row* rows, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (rows[i].got >= rows[i].low && rows[i].got <= rows[i].high) {
            ++passed;
        } else {
            ++failed;
            printf("FAILED %s: %ld, expected %ld to %ld\n", rows[i].call, rows[i].got, rows[i].low,
                   rows[i].high);
        }
    }
}

static void check(const char* what, int ok) {
    row one = {what, ok, 1, 1};
    check_rows(&one, 1);
}

static int same_text(const celdor_wchar* a, const celdor_wchar* b) {
    while (*a && *a == *b) {
        ++a, ++b;
    }
    return *a == *b;
}

/* The size query, a short buffer and the whole name of every plan; activating each by that
 * name makes it the active one. */
static void check_plans(celdor_plans* plans) {
    celdor_wchar before[128], name[128], active[128];
    size_t length = COUNT(before);
    check("active plan known", celdor_plans_active(plans, before, &length) == 1);
    const int count = celdor_plans_count(plans);
    check("plans listed", count > 0);
    for (int i = 0; i < count; ++i) {
        size_t needed = 0;
        check("size query", celdor_plans_name(plans, (size_t)i, NULL, &needed) == 1 && needed > 1 &&
                                needed <= COUNT(name));
        memset(name, 0x55, sizeof name);
        length = needed - 1;
        check("short buffer refused, left alone, size told",
              celdor_plans_name(plans, (size_t)i, name, &length) == CELDOR_E_BUFFER_TOO_SMALL &&
                  length == needed && name[0] == 0x5555 && name[needed - 1] == 0x5555);
        length = needed;
        check("name fits exactly", celdor_plans_name(plans, (size_t)i, name, &length) == 1 &&
                                       length == needed && name[needed - 1] == 0 &&
                                       name[needed - 2] != 0);
        check("plan activated by name", celdor_plans_activate(plans, name) == 1);
        length = COUNT(active);
        check("activated plan is active",
              celdor_plans_active(plans, active, &length) == 1 && same_text(active, name));
    }
    length = COUNT(name);
    const row rows[] = {
        IS(celdor_plans_name(plans, (size_t)count, name, &length), 0),
        IS(celdor_plans_activate(plans, CELDOR_TEXT("No such plan")), 0),
        IS(celdor_plans_activate(plans, before), 1),
        RANGE(celdor_plans_display_timeout(plans), -1, INT_MAX),
        RANGE(celdor_plans_brightness(plans), -1, 100),
    };
    check_rows(rows, COUNT(rows));
}

static void check_battery(celdor_battery* battery) {
    celdor_battery_information info;
    memset(&info, 0, sizeof info);
    info.size = sizeof info - 1;
    check("record too small refused",
          celdor_battery_get_information(battery, 0, &info) == CELDOR_E_INVALID_ARGUMENT);
    info.size = sizeof info;
    const row rows[] = {
        IS(celdor_battery_count(battery), 1),
        IS(celdor_battery_precise_count(battery), 0),
        IS(celdor_battery_exists(battery, 0), 0),
        IS(celdor_battery_status(battery, 0), 5),
        IS(celdor_battery_get_information(battery, 1, &info), 0),
        IS(celdor_battery_get_information(battery, 0, &info), 1),
    };
    check_rows(rows, COUNT(rows));
    /* Only the driver's firmware block has a value; every other field says it has none. */
    const row fields[] = {
        IS(info.DesignCapacity, 0xFFFF),
        IS(info.CycleCount, 0xFFFF),
        IS(info.SmbSignedWord12, 65535),
        IS(info.ManufacturerName[0] | info.Chemistry[0] | info.SerialNumber[0], 0),
        IS(same_text(info.Firmware, CELDOR_TEXT("0000-0000-0000-0000")), 1),
    };
    check_rows(fields, COUNT(fields));
}

static void check_thermal(celdor_thermal* thermal) {
    int capability = 0, mode = CELDOR_THERMAL_MODE_COOL;
    const row rows[] = {
        RANGE(celdor_thermal_service(thermal), 0, 1),
        IS(celdor_thermal_service_status(thermal), 0),
        IS(celdor_thermal_check_service(thermal), 1),
        IS(celdor_thermal_reopen(thermal), 1),
        RANGE(celdor_thermal_its_version(thermal), 0, INT_MAX),
        RANGE(celdor_thermal_dispatcher_version(thermal), 0, INT_MAX),
        RANGE(celdor_thermal_its_auto_transition(thermal), -1, 1),
        RANGE(celdor_thermal_dispatcher_auto_transition(thermal), -1, 1),
        RANGE(celdor_thermal_iepm_mode(thermal), 0, 1),
        RANGE(celdor_thermal_geek_option_grey(thermal), 0, 1),
        RANGE(celdor_thermal_its_mode(thermal, &capability, &mode), 0, 5),
        RANGE(celdor_thermal_dispatcher_mode(thermal, &capability, &mode, 1, 0), 0, 5),
        RANGE(celdor_thermal_set_its_mode(thermal, &mode), 0, 5),
        RANGE(celdor_thermal_set_dispatcher_mode(thermal, &mode, 1, 0), 0, 5),
        RANGE(celdor_thermal_set_its_auto_transition(thermal, 0), 0, 5),
        RANGE(celdor_thermal_set_dispatcher_auto_transition(thermal, 0, 1), 0, 5),
    };
    check_rows(rows, COUNT(rows));
}

int main(int argc, char** argv) {
#if !defined(_WIN32)
    char error[256];
    if (argc < 2 || !celdor_sim_load_scenario(argv[1], error, sizeof error)) {
        printf("%s\n0 passed, 1 failed\n", argc < 2 ? "usage: celdor_c_test SCENARIO" : error);
        return 1;
    }
#else
    (void)argc, (void)argv;
#endif
    celdor_charging* charging = celdor_charging_create();
    celdor_battery* battery = celdor_battery_create();
    celdor_thermal* thermal = celdor_thermal_create();
    celdor_plans* plans = celdor_plans_create();
    check("every handle made", charging && battery && thermal && plans);

    size_t length = 4;
    int mode = 0, capability = 0;
    celdor_smart_battery_info health = {sizeof health - 1, 0, 0, 0, 0};
    /* Every handle function refuses null the same way; these are one of each kind, and every
     * other pointer a function takes. */
    const row refusals[] = {
        REFUSED(celdor_log_error(NULL)),
        REFUSED(celdor_log_debug_info(NULL)),
        REFUSED(celdor_charging_set_mode(NULL, 1)),
        REFUSED(celdor_usb_supported(2)),
        REFUSED(celdor_usb_state(-1)),
        REFUSED(celdor_usb_switch(2, 1)),
        REFUSED(celdor_battery_status(NULL, 0)),
        REFUSED(celdor_battery_get_information(battery, 0, NULL)),
        REFUSED(celdor_battery_smart_v2_info(&health)),
        REFUSED(celdor_battery_smart_v2_info(NULL)),
        REFUSED(celdor_thermal_its_mode(NULL, &capability, &mode)),
        REFUSED(celdor_thermal_its_mode(thermal, NULL, &mode)),
        REFUSED(celdor_thermal_dispatcher_mode(thermal, &capability, NULL, 0, 0)),
        REFUSED(celdor_thermal_set_its_mode(thermal, NULL)),
        REFUSED(celdor_thermal_set_dispatcher_mode(thermal, NULL, 0, 0)),
        REFUSED(celdor_plans_count(NULL)),
        REFUSED(celdor_plans_name(NULL, 0, NULL, &length)),
        REFUSED(celdor_plans_name(plans, 0, NULL, NULL)),
        REFUSED(celdor_plans_active(plans, NULL, NULL)),
        REFUSED(celdor_plans_activate(plans, NULL)),
        REFUSED(celdor_plans_brightness(NULL)),
    };
    check_rows(refusals, COUNT(refusals));

    health.size = sizeof health;
    const row queries[] = {
        IS(celdor_version() >> 16, 1),
        RANGE(celdor_log_error(CELDOR_TEXT("C host: error")), 0, 1),
        RANGE(celdor_log_debug_info(CELDOR_TEXT("C host: debug info")), 0, 1),
        RANGE(celdor_adapter_ac_in(), 0, 1),
        IS(celdor_adapter_status(), 0),
        IS(celdor_adapter_mode_detect_supported(), 0),
        IS(celdor_adapter_type(), -1),
        IS(celdor_adapter_wattage(), -1),
        IS(celdor_adapter_is_harlune(), -1),
        IS(celdor_charging_get_mode(charging), CELDOR_CHARGING_NORMAL),
        IS(celdor_charging_express_supported(charging), 0),
        IS(celdor_charging_storage_supported(charging), 1),
        IS(celdor_charging_battery_count(), 1),
        IS(celdor_charging_driver_version(), 0),
        IS(celdor_charging_temporary_supported(), 0),
        IS(celdor_charging_temporary_mode(), 0),
        IS(celdor_charging_night_supported(), 0),
        IS(celdor_charging_night_mode(), 0),
        IS(celdor_charging_storage80_supported(), 0),
        IS(celdor_usb_supported(CELDOR_USB_ALWAYS_ON), 0),
        IS(celdor_usb_supported(CELDOR_USB_FROM_BATTERY), 0),
        IS(celdor_usb_state(CELDOR_USB_ALWAYS_ON), 2),
        IS(celdor_usb_state(CELDOR_USB_FROM_BATTERY), 2),
        IS(celdor_battery_driver_present(), 1),
        IS(celdor_battery_smart_v2_supported(), 0),
        IS(celdor_battery_health_level(), -1),
        IS(celdor_battery_health_tip(), -1),
        IS(celdor_battery_predicted_life_span(), -1),
        IS(celdor_battery_smart_v2_info(&health), 1),
    };
    check_rows(queries, COUNT(queries));
    check("health values copied", health.IsSupported == 0 && health.HealthLevel == -1 &&
                                      health.HealthTip == -1 && health.PredictedLifeSpan == -1);

    /* Switches that change nothing: normal is in force, the rest the firmware does not offer. */
    const row switches[] = {
        IS(celdor_charging_set_mode(charging, CELDOR_CHARGING_NORMAL), 0),
        IS(celdor_charging_set_night_mode(2), 0),
        IS(celdor_usb_switch(CELDOR_USB_ALWAYS_ON, 0), 0),
        IS(celdor_usb_switch(CELDOR_USB_FROM_BATTERY, 0), 0),
    };
    check_rows(switches, COUNT(switches));

    check_battery(battery);
    check_thermal(thermal);
    check_plans(plans);

    celdor_charging_destroy(charging);
    celdor_battery_destroy(battery);
    celdor_thermal_destroy(thermal);
    celdor_plans_destroy(plans);
#if !defined(_WIN32)
    check("nothing left open", celdor_sim_open_handles() == 0);
#endif
    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
