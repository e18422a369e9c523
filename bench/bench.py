#!/usr/bin/python3
"""Times the launcher under Wine against the least a program can do, and a .bat file.

Every program in a timed route is of the measured build: i686 (the shipped exe; 32-bit programs in
Wine's WoW64 mode) or x86_64 (the same sources; 64-bit programs). Every route starts the same stand-in
game with the same file, parameters and folder:
  launcher  the launcher, copied as 启动BenchMod.exe into C:\\bench\\Mods\\BenchMod next to
            BenchMod.SkuDef, run there; it finds the game through the registry's view of its build
  floor_com bench/Floor.cpp: ShellExecuteExW with the launcher's file, parameters and folder, inside the
            single-threaded COM apartment that the shell requires of its callers (the floor of record)
  floor     the same call without the apartment (a reference: what the apartment costs by itself)
  bat       BenchMod.bat in the mod folder run by cmd.exe /c, as a double click runs it; it uses
            `start`, which returns once the game is started, as the launcher does
  empty     the stand-in game alone: what Wine charges to start and end any program

Each run is one `wine-run PREFIX PROGRAM` command, timed from its start until it has exited; the
launcher and the floors exit once ShellExecuteExW returned, which in Wine is after the game's process
exists. The stand-in exits at once, and the next run begins only after it has ended (this script is
the child subreaper of the runs, so Wine's detached processes come back to it and can be waited for).
Wine runs a 32-bit program started from Linux in a detached process of its own, while a 64-bit
start.exe in the command waits for it; that process too ends as this script's child. A 64-bit program
runs in the command's own process: there the whole run's CPU includes the program's, and the command's
peak RSS, that of its largest process, is the program's.
  wall time         from spawn to exit of the command
  CPU, whole run    user + sys of the command (wait4: wine-run's helpers, the 64-bit start.exe) plus
                    that of the program's own process; not the wineserver, not the game
  CPU, own process  user + sys of the program's own process alone
  peak RSS          the program's own process (ru_maxrss from wait4), which counts at least what the
                    Wine process that forked it had: under that line (the empty program) not shown
Wall time and whole-run CPU include what every route pays to start any program this way, which the
empty program shows.

The launcher is compared with each other route in pairs: every round runs the two floors on either
side of the launcher, floor_com first in one round and the bare floor first in the next, and each
ratio is launcher / route within one round; the medians of these ratios are reported, so that the
machine's drift between rounds cancels. The .bat route and the empty program close each round, in
turns.

bench.py --build i686|x86_64 --label TEXT --wine-run SCRIPT --prefix DIR --wine-version TEXT --launcher EXE
         --shipped EXE --floor EXE --floor-com EXE --standin EXE --record-launch EXE [--runs N] [--warmup N]
         [--output FILE]
(FILE.json gets every run's numbers; --shipped is the i686 exe, whose size is checked.)
"""

import argparse
import ctypes
import json
import os
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

import pefile

GAME_KEY = r"HKLM\Software\Electronic Arts\Electronic Arts\Red Alert 3"
GAME_DIR = r"C:\bench\Red Alert 3"
GAME_EXE = GAME_DIR + r"\RA3.exe"
MOD_DIR = r"C:\bench\Mods\BenchMod"
SKUDEF = MOD_DIR + r"\BenchMod.SkuDef"
LAUNCHER = MOD_DIR + "\\启动BenchMod.exe"
FLOOR = MOD_DIR + r"\BenchFloor.exe"
FLOOR_COM = MOD_DIR + r"\BenchFloorCom.exe"
BAT = MOD_DIR + r"\BenchMod.bat"
RECORD = r"C:\bench\record.json"

# What a player would write: start the game (with the same arguments the launcher passes, the game's
# path first) in its own folder, and do not wait for it.
BAT_TEXT = f'@start "" /D "{GAME_DIR}" "{GAME_EXE}" "{GAME_EXE}" -modConfig "{SKUDEF}"\r\n'

ROUTES = {
    "launcher": [LAUNCHER],
    "floor_com": [FLOOR_COM],
    "floor": [FLOOR],
    "bat": ["cmd.exe", "/c", BAT],
    "empty": [GAME_EXE],
}
# The process of the route's own 32-bit program, named as Linux shows it (the first 15 bytes of its
# file name); cmd.exe runs in the command's own 64-bit process.
PROGRAM = {route: os.fsencode(command[0].rsplit("\\", 1)[-1])[:15].decode(errors="ignore")
           for route, command in ROUTES.items() if route != "bat"}
PROGRAM["bat"] = None
# Wine processes that a route starts besides its own, which the run waits for: the game, and the
# helper that cmd's `start` runs.
STARTED = {"launcher": {"RA3.exe"}, "floor": {"RA3.exe"}, "floor_com": {"RA3.exe"}, "bat": {"RA3.exe", "start.exe"}, "empty": set()}

PR_SET_CHILD_SUBREAPER = 36
KIB = 1024
SIZE_LIMIT = 320 * KIB


def unix_path(prefix, windows_path):
    assert windows_path.startswith("C:\\")
    return prefix / "drive_c" / Path(*windows_path[3:].split("\\"))


def wine_command(config, *arguments):
    bits = ["--64-bit"] if config.build == "x86_64" else []
    return [str(config.wine_run), *bits, str(config.prefix), *arguments]


def wine(config, *arguments):
    result = subprocess.run(wine_command(config, *arguments),
                            stdin=subprocess.DEVNULL, capture_output=True)
    if result.returncode != 0:
        sys.exit(f"wine-run {' '.join(arguments)} failed ({result.returncode}): {result.stderr.decode(errors='replace')}")
    return result


def prepare(config):
    # The first call sets the prefix up; the registry entry is the one the game's installer writes, in
    # the view that the launcher reads: the 32-bit one for the shipped exe.
    view = "/reg:64" if config.build == "x86_64" else "/reg:32"
    wine(config, "reg.exe", "add", GAME_KEY, "/v", "Install Dir", "/t", "REG_SZ", "/d", GAME_DIR, view, "/f")
    unix_path(config.prefix, GAME_DIR).mkdir(parents=True, exist_ok=True)
    config.mod_dir.mkdir(parents=True, exist_ok=True)
    unix_path(config.prefix, SKUDEF).write_bytes(b"add-config BenchMod.big\r\n")
    shutil.copyfile(config.launcher, unix_path(config.prefix, LAUNCHER))
    shutil.copyfile(config.floor, unix_path(config.prefix, FLOOR))
    shutil.copyfile(config.floor_com, unix_path(config.prefix, FLOOR_COM))
    unix_path(config.prefix, BAT).write_bytes(BAT_TEXT.encode("ascii"))


def set_game(config, exe):
    shutil.copyfile(exe, unix_path(config.prefix, GAME_EXE))


def children():
    """This process's children: {pid: (name, state)}."""
    found = {}
    me = os.getpid()
    for entry in os.scandir("/proc"):
        if not entry.name.isdigit():
            continue
        try:
            stat = Path(entry.path, "stat").read_text()
        except OSError:
            continue
        name = stat[stat.index("(") + 1:stat.rindex(")")]
        fields = stat[stat.rindex(")") + 2:].split()
        if int(fields[1]) == me:
            found[int(entry.name)] = (name, fields[0])
    return found


def wait_for_started(names, timeout=20.0):
    """Waits until every child named in `names` has ended; returns the name and resource usage of each
    child that ended."""
    ended = []
    deadline = time.monotonic() + timeout
    while True:
        pending = False
        for pid, (name, state) in children().items():
            if state == "Z":
                ended.append((name, os.wait4(pid, 0)[2]))
            elif name in names:
                pending = True
        if not pending:
            return ended
        if time.monotonic() > deadline:
            sys.exit(f"timed out waiting for {sorted(names)} to end")
        time.sleep(0.002)


def run_once(config, route, env=None):
    command = wine_command(config, *ROUTES[route])
    start = time.perf_counter()
    process = subprocess.Popen(command, cwd=config.mod_dir, env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    # Wine runs a 32-bit program started from Linux in a process of its own, detached from the command
    # (which waits for it in a 64-bit start.exe): it ends as this script's child, and its CPU time and
    # peak memory come from there.
    program = PROGRAM[route] if config.build == "i686" else None
    ended = wait_for_started(STARTED[route] | ({program} if program else set()))
    games = sum(1 for name, _ in ended if name == "RA3.exe") - (route == "empty" and bool(program))
    own = [usage for name, usage in ended if name == program]
    expected = 0 if route == "empty" else 1
    if process.returncode != 0 or games != expected or (program and len(own) != 1):
        sys.exit(f"{route}: exit code {process.returncode}, {games} game start(s) seen instead of {expected}, "
                 f"ended: {[name for name, _ in ended]}")
    if config.build == "x86_64" and route != "bat":
        sample = {"wall": wall, "cpu": usage.ru_utime + usage.ru_stime}
        return sample if route == "empty" else sample | {"rss": usage.ru_maxrss * KIB}
    if not own:
        return {"wall": wall}
    program_cpu = own[0].ru_utime + own[0].ru_stime
    sample = {"wall": wall, "cpu": usage.ru_utime + usage.ru_stime + program_cpu, "program_cpu": program_cpu}
    # Linux counts in a process's peak RSS what it had when Wine forked it, before it ran the program
    # (about 21 MiB here): the launcher and the floors use more than that, the empty program less, so
    # its number would be Wine's, not its own.
    if route != "empty":
        sample["rss"] = own[0].ru_maxrss * KIB
    return sample


def check_same_start(config):
    """Every route must start the game alike: same argument vector and folder (the launcher and the
    floor also the same command line). Checked once, with the recording stand-in as the game."""
    set_game(config, config.record_launch)
    record_file = unix_path(config.prefix, RECORD)
    env = dict(os.environ, QUORVANE_RECORD=RECORD)
    records = {}
    for route in ("launcher", "floor", "floor_com", "bat"):
        record_file.unlink(missing_ok=True)
        run_once(config, route, env)
        records[route] = json.loads(record_file.read_text())
    record_file.unlink(missing_ok=True)
    expected_arguments = [GAME_EXE, GAME_EXE, "-modConfig", SKUDEF]
    for route, record in records.items():
        if record["arguments"] != expected_arguments or record["directory"].rstrip("\\") != GAME_DIR:
            sys.exit(f"{route} started the game differently: {record}")
    for route in ("floor", "floor_com"):
        if records[route]["commandLine"] != records["launcher"]["commandLine"]:
            sys.exit(f"launcher and {route} command lines differ: {records['launcher']} / {records[route]}")
    return records["launcher"]["commandLine"]


def imports(exe):
    image = pefile.PE(str(exe), fast_load=True)
    image.parse_data_directories([pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"]])
    return sorted(entry.dll.decode().removesuffix(".dll").removesuffix(".DLL")
                  for entry in getattr(image, "DIRECTORY_ENTRY_IMPORT", []))


def round_order(index):
    """The routes in round `index`: the launcher between the two floors, which take turns going first,
    then the .bat route and the empty program, which take turns every two rounds so that each floor
    follows either equally often."""
    floors = ["floor_com", "floor"] if index % 2 == 0 else ["floor", "floor_com"]
    tail = ["bat", "empty"] if index // 2 % 2 == 0 else ["empty", "bat"]
    return [floors[0], "launcher", floors[1], *tail]


def quartiles(values):
    if len(values) < 2:
        return values[0], values[0], values[0]
    low, middle, high = statistics.quantiles(values, n=4)
    return low, statistics.median(values), high


def verdict(met):
    return "met" if met else "**missed**"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n", 1)[0])
    parser.add_argument("--build", choices=("i686", "x86_64"), required=True)
    parser.add_argument("--label", required=True)
    for name in ("wine-run", "prefix", "launcher", "shipped", "floor", "floor-com", "standin", "record-launch"):
        parser.add_argument("--" + name, type=Path, required=True)
    parser.add_argument("--wine-version", required=True)
    parser.add_argument("--runs", type=int, default=100)
    parser.add_argument("--warmup", type=int, default=3)
    parser.add_argument("--output", type=Path)
    config = parser.parse_args()
    if config.runs < 1 or config.warmup < 0:
        parser.error("--runs must be at least 1 and --warmup at least 0")
    config.prefix = config.prefix.absolute()
    config.wine_run = config.wine_run.absolute()
    config.mod_dir = unix_path(config.prefix, MOD_DIR)

    prepare(config)

    # From here on, Wine's detached processes (the game, start.exe) are re-parented to this script.
    # The wineserver and Wine's services were started above, outside it.
    if ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        sys.exit("cannot become a child subreaper")
    command_line = check_same_start(config)
    set_game(config, config.standin)

    rounds = []
    load_before = os.getloadavg()
    started = time.monotonic()
    for index in range(config.warmup + config.runs):
        results = {route: run_once(config, route) for route in round_order(index)}
        if index >= config.warmup:
            rounds.append(results)
        print(f"\rround {index + 1}/{config.warmup + config.runs}", end="", file=sys.stderr, flush=True)
    print(file=sys.stderr)
    elapsed = time.monotonic() - started
    load_after = os.getloadavg()

    mib = 1 / (1024 * 1024)
    # Key, heading, unit, scale, digits.
    columns = [("wall", "Wall time", "ms", 1000, 0), ("cpu", "CPU, whole run", "ms", 1000, 0),
               ("program_cpu", "CPU, own process", "ms", 1000, 0), ("rss", "Peak RSS", "MiB", mib, 2)]
    columns = [column for column in columns if any(column[0] in sample for sample in rounds[0].values())]

    def values(route, key):
        return [results[route][key] for results in rounds]

    def ratios(route, key):
        return [results["launcher"][key] / results[route][key] for results in rounds]

    def differences(route, key):
        return [results["launcher"][key] - results[route][key] for results in rounds]

    def spread(route, key, unit, scale, digits):
        found = [value * scale for value in values(route, key)]
        return (f"{statistics.median(found):.{digits}f} {unit} "
                f"({min(found):.{digits}f}–{max(found):.{digits}f})")

    def paired(route, key, unit, scale, digits):
        difference = statistics.median(differences(route, key)) * scale
        if key == "rss":
            return f"{difference:+.2f} {unit}"
        low, middle, high = quartiles(ratios(route, key))
        return f"{middle:.3f} × ({low:.3f}–{high:.3f}), {difference:+.{digits + 1}f} {unit}"

    def row(label, route, cell):
        cells = [cell(route, key, unit, scale, digits) if key in rounds[0][route] else "—"
                 for key, _, unit, scale, digits in columns]
        return f"| {label} | {' | '.join(cells)} |"

    labels = {
        "launcher": f"Launcher (`启动BenchMod.exe`, {config.build})",
        "floor_com": "Floor: `ShellExecuteExW` in the COM apartment",
        "floor": "Bare `ShellExecuteExW` (reference)",
        "bat": "`.bat` through `cmd.exe /c` (`start`)",
        "empty": "Empty program (the stand-in alone)",
    }
    headings = " | ".join(heading for _, heading, *_ in columns)
    rule = "| --- " * (len(columns) + 1) + "|"
    wall_ratio = statistics.median(ratios("floor_com", "wall"))
    cpu_ratio = statistics.median(ratios("floor_com", "cpu"))
    rss_extra = statistics.median(differences("floor_com", "rss"))
    bat_ratio = statistics.median(ratios("bat", "wall"))
    size = config.shipped.stat().st_size
    lines = [
        f"**{config.label}.** {config.runs} rounds after {config.warmup} warm-up rounds, one run of each "
        f"route per round. {config.wine_version}, 64-bit prefix, {os.cpu_count()} cores, "
        f"load average {load_before[0]:.2f} before and {load_after[0]:.2f} after ({elapsed:.0f} s).",
        "",
        "Each route: median (min–max).",
        "",
        f"| Route | {headings} |",
        rule,
    ]
    lines += [row(labels[route], route, spread) for route in ROUTES]
    lines += [
        "",
        "The launcher against each route, in pairs from the same round: median ratio (quartiles), median "
        "difference.",
        "",
        f"| Launcher against | {headings} |",
        rule,
    ]
    lines += [row(labels[route], route, paired) for route in ROUTES if route != "launcher"]
    lines += [
        "",
        "| Target | Measured | Verdict |",
        "| --- | --- | --- |",
        f"| Launcher wall time ≤ 1.05 × the floor's (median paired ratio) | {wall_ratio:.3f} × | "
        f"{verdict(wall_ratio <= 1.05)} |",
        f"| Launcher CPU time ≤ 1.05 × the floor's (median paired ratio) | {cpu_ratio:.3f} × | "
        f"{verdict(cpu_ratio <= 1.05)} |",
        f"| Launcher peak memory ≤ the floor's + 1 MiB (median paired difference) | {rss_extra * mib:+.2f} MiB | "
        f"{verdict(rss_extra <= 1024 * 1024)} |",
        f"| Launcher faster than the `.bat` route (median paired ratio) | {bat_ratio:.3f} × | "
        f"{verdict(bat_ratio < 1)} |",
        f"| Shipped exe (i686) ≤ 320 KiB | {size / KIB:.1f} KiB ({size:,} bytes) | {verdict(size <= SIZE_LIMIT)} |",
        "",
        "The floor is ShellExecuteExW in the COM apartment; CPU is that of the whole run. The `.bat` "
        "route's CPU and memory are spread over cmd.exe and start.exe and are not shown.",
        "",
        f"The launcher measured ({config.build}) imports {', '.join(imports(config.launcher))}.",
        "",
        f"Every route started the game as `{command_line}` in `{GAME_DIR}`.",
    ]
    text = "\n".join(lines) + "\n"
    print(text)
    if config.output:
        config.output.write_text(text)
        # Every run's numbers, round by round, for a closer look.
        config.output.with_suffix(".json").write_text(json.dumps(rounds, indent=1) + "\n")


if __name__ == "__main__":
    main()
