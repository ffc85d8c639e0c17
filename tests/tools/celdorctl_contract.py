#!/usr/bin/env python3
"""celdorctl run as scripts and people run it, on every shipped notebook.

  celdorctl_contract.py CELDORCTL SOURCE_DIR json   every command's JSON against its schema
  celdorctl_contract.py CELDORCTL SOURCE_DIR keeps  what a run keeps, alone and among others
"""
import json
import pathlib
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

import jsonschema

CTL, SOURCE = sys.argv[1], pathlib.Path(sys.argv[2])
FAILURES = []

# Each command as a script runs it, by the name of its schema under docs/schema/.
COMMANDS = {
    "status": ["status"], "adapter": ["adapter"], "doctor": ["doctor"],
    "thermal": ["thermal"], "thermal-set": ["thermal", "set", "cool"],
    "thermal-auto": ["thermal", "auto", "off"],
    "plans": ["plans"], "plans-set": ["plans", "set", "Power saver"],
    "charging": ["charging"], "charging-set": ["charging", "set", "storage"],
    "charging-night": ["charging", "night", "on"],
    "usb": ["usb"], "usb-set": ["usb", "set", "battery", "off"],
    "battery": ["battery"], "battery-info": ["battery", "info"],
    "battery-health": ["battery", "health"],
    "clock": ["clock"], "clock-advance": ["clock", "advance", "2h"], "power": ["power", "battery"],
    "reset": ["reset"], "scenario-show": ["scenario", "show"],
    "scenario-save": ["scenario", "save", "{state}/saved.json"],
    "scenario-load": ["scenario", "load", "{state}/saved.json"],
}
# What no reading of a real notebook gives: sentinels and the zeros of missing readings.
IMPOSSIBLE = ["65535", "-273", "1980-00-00", "0000-0000-0000-0000", " 0.000 V"]


def run(state, *args):
    args = [a.replace("{state}", str(state)) for a in args]
    return subprocess.run([CTL, "--state", str(state), *args], capture_output=True, text=True)


def check(condition, what):
    if not condition:
        FAILURES.append(what)


def numbers(value):
    if isinstance(value, dict):
        for item in value.values():
            yield from numbers(item)
    elif isinstance(value, list):
        for item in value:
            yield from numbers(item)
    elif isinstance(value, (int, float)) and not isinstance(value, bool):
        yield value


def check_json():
    schemas = {name: json.loads((SOURCE / "docs/schema" / f"{name}.json").read_text())
               for name in COMMANDS}
    for scenario in sorted((SOURCE / "scenarios").glob("*.json")):
        with tempfile.TemporaryDirectory() as state:
            for name, args in COMMANDS.items():
                where = f"{scenario.name}: {' '.join(args)}"
                table = run(state, "--scenario", str(scenario), *args)
                result = run(state, "--scenario", str(scenario), *args, "--json")
                check(result.returncode == table.returncode, f"{where}: table and JSON exit alike")
                if result.returncode == 2 and name == "battery-info":
                    continue  # a notebook without a battery has no battery 0
                check(result.returncode in (0, 1), f"{where}: exit {result.returncode}")
                check(result.returncode == 0 or result.stderr, f"{where}: a failure says why")
                try:
                    document = json.loads(result.stdout)
                    jsonschema.validate(document, schemas[name])
                except (ValueError, jsonschema.ValidationError) as error:
                    FAILURES.append(f"{where}: {str(error).splitlines()[0]}")
                    continue
                if name == "scenario-show":
                    continue
                for text in IMPOSSIBLE:
                    check(text not in table.stdout, f"{where}: the table shows {text!r}")
                check(all(n not in (65535, -1) for n in numbers(document)),
                      f"{where}: a sentinel in the JSON")
                if name == "battery":
                    check(document["count"] == len(document["batteries"]), f"{where}: one count")


def check_keeps():
    with tempfile.TemporaryDirectory() as state:
        state = pathlib.Path(state)
        scenario = SOURCE / "scenarios/two-batteries.json"
        check(run(state, "--scenario", str(scenario), "usb", "set", "ac", "on").returncode == 0,
              "usb set ac on")
        kept = (state / "notebook.json").read_bytes()
        bad = state / "bad.json"
        bad.write_text('{"power_plans": {"plans": [{"guid": "6f2c1a8e-3b7d-4c52-9e41-'
                       '0a8d5b3f7c26", "name": 5}]}}')
        refused = run(state, "scenario", "load", str(bad))
        check(refused.returncode == 1 and str(bad) in refused.stderr,
              f"a bad scenario is refused naming its file: {refused.stderr}")
        check((state / "notebook.json").read_bytes() == kept,
              "a refused load leaves the kept notebook as it was")
        check(json.loads(run(state, "battery", "--json").stdout)["count"] == 2,
              "the two batteries are still there")

        folder = state / "a-folder"
        folder.mkdir()
        save = run(state, "scenario", "save", str(folder))
        check(save.returncode == 1 and f"cannot write {folder}: Is a directory" in save.stderr,
              f"a failed write names the file and the reason: {save.stderr}")

        # Runs started at once take turns: every change that reports success is kept.
        def uptime():
            shown = run(state, "scenario", "show")
            return json.loads(shown.stdout)["clock"]["tick_ms"] if shown.returncode == 0 else 0

        before = uptime()
        with ThreadPoolExecutor(30) as pool:
            runs = list(pool.map(lambda _: run(state, "clock", "advance", "1m"), range(30)))
        check(all(r.returncode == 0 for r in runs),
              "every parallel run succeeds: " + "".join(r.stderr for r in runs))
        after = uptime()
        check(after - before == 30 * 60_000, f"30 parallel minutes kept, not {after - before} ms")


{"json": check_json, "keeps": check_keeps}[sys.argv[3]]()
for failure in FAILURES:
    print(failure)
sys.exit(1 if FAILURES else 0)
