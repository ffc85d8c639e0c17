#!/usr/bin/env python3
"""A Python host of Celdor's C interface, over ctypes alone: the battery record and the charging
mode. On Windows it loads Celdor.dll; on Linux libceldor.so (found through LD_LIBRARY_PATH or
the system's library folders), and the first argument names the scenario the simulated notebook
starts from.

    python3 celdor_status.py [SCENARIO.json]
"""
import ctypes
import sys

TEXT = 32  # CELDOR_BATTERY_TEXT
MODES = ("normal", "storage", "express")
NO_VALUE = 0xFFFF


class BatteryInformation(ctypes.Structure):
    """celdor_battery_information. The text fields are UTF-16 on every system (ctypes' c_wchar
    is four bytes on Linux, so they are declared as 16-bit units)."""

    _fields_ = (
        [("size", ctypes.c_uint32)]
        + [(name, ctypes.c_uint16) for name in (
            "DesignCapacity", "FullChargeCapacity", "RemainingCapacity", "SmbWord06",
            "SmbWord08", "Voltage")]
        + [("SmbSignedWord12", ctypes.c_int32)]
        + [(name, ctypes.c_uint16) for name in (
            "Temperature", "ManufactureDate", "SmbWord18", "SmbWord20", "ChargePercent",
            "HealthPercent", "ChargeStatus", "RemainingTime", "TimeToFull", "CycleCount")]
        + [(name, ctypes.c_uint16 * TEXT) for name in (
            "SmbText32", "ManufacturerName", "Firmware", "SerialNumber", "SmbText52",
            "Chemistry")]
    )

    def text(self, name):
        units = getattr(self, name)
        return bytes(units).decode("utf-16-le").split("\0", 1)[0]


def load():
    if sys.platform == "win32":
        return ctypes.CDLL("Celdor.dll"), None
    return ctypes.CDLL("libceldor.so.0"), ctypes.CDLL("libceldor_platform.so.0")


def declare(celdor):
    handle = ctypes.c_void_p
    for name, result, arguments in (
        ("celdor_version", ctypes.c_uint32, []),
        ("celdor_battery_create", handle, []),
        ("celdor_battery_destroy", None, [handle]),
        ("celdor_battery_count", ctypes.c_int, [handle]),
        ("celdor_battery_get_information", ctypes.c_int,
         [handle, ctypes.c_int, ctypes.POINTER(BatteryInformation)]),
        ("celdor_charging_create", handle, []),
        ("celdor_charging_destroy", None, [handle]),
        ("celdor_charging_get_mode", ctypes.c_int, [handle]),
    ):
        function = getattr(celdor, name)
        function.restype = result
        function.argtypes = arguments


def main(argv):
    celdor, platform = load()
    declare(celdor)
    if platform and len(argv) > 1:
        platform.celdor_sim_load_scenario.argtypes = [ctypes.c_char_p, ctypes.c_char_p,
                                                      ctypes.c_size_t]
        error = ctypes.create_string_buffer(256)
        if platform.celdor_sim_load_scenario(argv[1].encode(), error, len(error)) != 1:
            print(error.value.decode(), file=sys.stderr)
            return 1
    version = celdor.celdor_version()
    print(f"Celdor C interface {version >> 16}.{version & 0xFFFF}")

    battery = celdor.celdor_battery_create()
    try:
        for index in range(celdor.celdor_battery_count(battery)):
            info = BatteryInformation(size=ctypes.sizeof(BatteryInformation))
            if celdor.celdor_battery_get_information(battery, index, ctypes.byref(info)) != 1:
                return 1
            print(f"Battery {index}: {info.text('ManufacturerName')} {info.text('Chemistry')},"
                  f" serial {info.text('SerialNumber')}, firmware {info.text('Firmware')}")
            for field, unit in (("ChargePercent", "%"), ("HealthPercent", "%"),
                                ("RemainingCapacity", "x 10 mWh"),
                                ("FullChargeCapacity", "x 10 mWh"), ("DesignCapacity", "x 10 mWh"),
                                ("Voltage", "mV"), ("CycleCount", "cycles")):
                value = getattr(info, field)
                print(f"  {field}: {'-' if value == NO_VALUE else value} {unit}")
    finally:
        celdor.celdor_battery_destroy(battery)

    charging = celdor.celdor_charging_create()
    try:
        print(f"Charging mode: {MODES[celdor.celdor_charging_get_mode(charging)]}")
    finally:
        celdor.celdor_charging_destroy(charging)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
