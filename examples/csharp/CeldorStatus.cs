// A C# host of Celdor's C interface: the battery record, the charging mode and a change of it,
// and the power plans. The same source imports Celdor.dll on Windows; on Linux the program's
// .config maps "Celdor" to libceldor.so, and the first argument names the scenario the
// simulated notebook starts from.
//   mcs -out:CeldorStatus.exe CeldorStatus.cs && mono CeldorStatus.exe [SCENARIO.json]
using System;
using System.Runtime.InteropServices;
using System.Text;

static class Celdor
{
    const string Library = "Celdor";

    // celdor_battery_information: UTF-16 text fields of CELDOR_BATTERY_TEXT characters.
    [StructLayout(LayoutKind.Sequential, CharSet = CharSet.Unicode)]
    public struct BatteryInformation
    {
        public uint size;
        public ushort DesignCapacity, FullChargeCapacity, RemainingCapacity, SmbWord06, SmbWord08,
            Voltage;
        public int SmbSignedWord12;
        public ushort Temperature, ManufactureDate, SmbWord18, SmbWord20, ChargePercent,
            HealthPercent, ChargeStatus, RemainingTime, TimeToFull, CycleCount;
        [MarshalAs(UnmanagedType.ByValTStr, SizeConst = 32)] public string SmbText32;
        [MarshalAs(UnmanagedType.ByValTStr, SizeConst = 32)] public string ManufacturerName;
        [MarshalAs(UnmanagedType.ByValTStr, SizeConst = 32)] public string Firmware;
        [MarshalAs(UnmanagedType.ByValTStr, SizeConst = 32)] public string SerialNumber;
        [MarshalAs(UnmanagedType.ByValTStr, SizeConst = 32)] public string SmbText52;
        [MarshalAs(UnmanagedType.ByValTStr, SizeConst = 32)] public string Chemistry;
    }

    [DllImport(Library)] public static extern uint celdor_version();

    [DllImport(Library)] public static extern IntPtr celdor_battery_create();
    [DllImport(Library)] public static extern void celdor_battery_destroy(IntPtr battery);
    [DllImport(Library)] public static extern int celdor_battery_count(IntPtr battery);
    [DllImport(Library)]
    public static extern int celdor_battery_get_information(IntPtr battery, int index,
                                                            ref BatteryInformation info);

    [DllImport(Library)] public static extern IntPtr celdor_charging_create();
    [DllImport(Library)] public static extern void celdor_charging_destroy(IntPtr charging);
    [DllImport(Library)] public static extern int celdor_charging_get_mode(IntPtr charging);
    [DllImport(Library)] public static extern int celdor_charging_set_mode(IntPtr charging, int mode);
    [DllImport(Library)] public static extern int celdor_charging_storage_supported(IntPtr charging);

    [DllImport(Library)] public static extern IntPtr celdor_plans_create();
    [DllImport(Library)] public static extern void celdor_plans_destroy(IntPtr plans);
    [DllImport(Library)] public static extern int celdor_plans_count(IntPtr plans);
    [DllImport(Library, CharSet = CharSet.Unicode)]
    public static extern int celdor_plans_name(IntPtr plans, UIntPtr index, char[] buffer,
                                               ref UIntPtr length);
    [DllImport(Library, CharSet = CharSet.Unicode)]
    public static extern int celdor_plans_active(IntPtr plans, char[] buffer, ref UIntPtr length);

    // Linux only: the simulated notebook lives in the platform library.
    [DllImport("celdor_platform")]
    public static extern int celdor_sim_load_scenario(string path, StringBuilder error,
                                                      UIntPtr size);

    // A text by the size-query rule: ask for the size, then fetch into a buffer that fits.
    public delegate int TextCall(char[] buffer, ref UIntPtr length);
    public static string Text(TextCall call)
    {
        UIntPtr length = UIntPtr.Zero;
        if (call(null, ref length) != 1)
            return null;
        char[] buffer = new char[(int)length];
        return call(buffer, ref length) == 1 ? new string(buffer, 0, (int)length - 1) : null;
    }
}

static class Program
{
    static readonly string[] Modes = { "normal", "storage", "express" };

    static int Main(string[] args)
    {
        if (args.Length > 0 && Environment.OSVersion.Platform == PlatformID.Unix)
        {
            var error = new StringBuilder(256);
            if (Celdor.celdor_sim_load_scenario(args[0], error, (UIntPtr)error.Capacity) != 1)
            {
                Console.Error.WriteLine(error);
                return 1;
            }
        }
        Console.WriteLine("Celdor C interface {0}.{1}", Celdor.celdor_version() >> 16,
                          Celdor.celdor_version() & 0xFFFF);
        int failures = 0;

        IntPtr battery = Celdor.celdor_battery_create();
        var info = new Celdor.BatteryInformation();
        info.size = (uint)Marshal.SizeOf(typeof(Celdor.BatteryInformation));
        int count = Celdor.celdor_battery_count(battery);
        for (int index = 0; index < count; ++index)
        {
            if (Celdor.celdor_battery_get_information(battery, index, ref info) != 1)
            {
                ++failures;
                continue;
            }
            Console.WriteLine("Battery {0}: {1} {2}, serial {3}, firmware {4}", index,
                              info.ManufacturerName, info.Chemistry, info.SerialNumber,
                              info.Firmware);
            Console.WriteLine("  charge {0} %, health {1} %, {2} of {3} (10 mWh), {4} mV, {5} cycles",
                              info.ChargePercent, info.HealthPercent, info.RemainingCapacity,
                              info.FullChargeCapacity, info.Voltage, info.CycleCount);
        }
        Celdor.celdor_battery_destroy(battery);

        IntPtr charging = Celdor.celdor_charging_create();
        int mode = Celdor.celdor_charging_get_mode(charging);
        Console.WriteLine("Charging mode: {0}", Modes[mode]);
        if (Celdor.celdor_charging_storage_supported(charging) == 1)
        {
            int other = mode == 1 ? 0 : 1;
            int read = Celdor.celdor_charging_set_mode(charging, other);
            Console.WriteLine("  switched to {0}: reads {1}", Modes[other], Modes[read]);
            read = Celdor.celdor_charging_set_mode(charging, mode);
            Console.WriteLine("  and back to {0}: reads {1}", Modes[mode], Modes[read]);
            failures += read == mode ? 0 : 1;
        }
        Celdor.celdor_charging_destroy(charging);

        IntPtr plans = Celdor.celdor_plans_create();
        string active = Celdor.Text((char[] b, ref UIntPtr l) => Celdor.celdor_plans_active(plans, b, ref l));
        Console.WriteLine("Power plans (* active):");
        for (int index = 0; index < Celdor.celdor_plans_count(plans); ++index)
        {
            var at = (UIntPtr)index;
            string name = Celdor.Text((char[] b, ref UIntPtr l) => Celdor.celdor_plans_name(plans, at, b, ref l));
            failures += name == null ? 1 : 0;
            Console.WriteLine("  {0} {1}", name == active ? "*" : " ", name);
        }
        Celdor.celdor_plans_destroy(plans);
        return failures;
    }
}
