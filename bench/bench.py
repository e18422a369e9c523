#!/usr/bin/python3
"""Times the launcher under 64-bit Wine against the least a program can do, and a .bat file.

Every route starts the same stand-in game with the same file, parameters and folder:
  launcher  the x86_64 launcher, copied as 启动BenchMod.exe into C:\\bench\\Mods\\BenchMod next to
            BenchMod.SkuDef, run there; it finds the game through the registry
  floor     bench/Floor.cpp: one ShellExecuteExW with the launcher's file, parameters and folder
  floor_com the same call inside the COM apartment that the launcher enters for its whole run (a
            reference: what the launcher costs beyond the system work it must do)
  bat       BenchMod.bat in the mod folder run by cmd.exe /c, as a double click runs it; it uses
            `start`, which returns once the game is started, as the launcher does
  empty     the stand-in game alone: what Wine charges to start and end any program

Each run is one `wine-run PREFIX PROGRAM` command, timed from its start until it has exited; the
launcher and the floor exit once ShellExecuteExW returned, which in Wine is after the game's process
exists. The stand-in exits at once, and the next run begins only after it has ended (this script is
the child subreaper of the runs, so Wine's detached processes come back to it and can be waited for).
Wall time from spawn to exit; CPU (user + sys) from wait4 on that command and peak RSS from GNU time
around it: both cover the wine64 process and wine-run's own short-lived helpers (bash, flock, the
wineserver probe), not the wineserver itself nor the game. The routes take turns in a shuffled order
each round, so load changes on the machine hit them alike.

bench.py --wine-run SCRIPT --prefix DIR --launcher EXE --floor EXE --floor-com EXE --standin EXE
         --record-launch EXE --shipped EXE [--runs N] [--warmup N] [--seed N] [--output FILE]
"""

import argparse
import ctypes
import json
import os
import random
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

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
    "floor": [FLOOR],
    "floor_com": [FLOOR_COM],
    "bat": ["cmd.exe", "/c", BAT],
    "empty": [GAME_EXE],
}
# Wine processes that a route starts besides its own, which the run waits for: the game, and the
# helper that cmd's `start` runs.
STARTED = {"launcher": {"RA3.exe"}, "floor": {"RA3.exe"}, "floor_com": {"RA3.exe"}, "bat": {"RA3.exe", "start.exe"}, "empty": set()}

PR_SET_CHILD_SUBREAPER = 36
KIB = 1024
SIZE_LIMIT = 320 * KIB


def unix_path(prefix, windows_path):
    assert windows_path.startswith("C:\\")
    return prefix / "drive_c" / Path(*windows_path[3:].split("\\"))


def wine(config, *arguments):
    result = subprocess.run([str(config.wine_run), str(config.prefix), *arguments],
                            stdin=subprocess.DEVNULL, capture_output=True)
    if result.returncode != 0:
        sys.exit(f"wine-run {' '.join(arguments)} failed ({result.returncode}): {result.stderr.decode(errors='replace')}")
    return result


def prepare(config):
    # The first call sets the prefix up; the registry entry is the one the game's installer writes.
    wine(config, "reg.exe", "add", GAME_KEY, "/v", "Install Dir", "/t", "REG_SZ", "/d", GAME_DIR, "/f")
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
    """Waits until every child named in `names` has ended; returns how many of each ended."""
    ended = {}
    deadline = time.monotonic() + timeout
    while True:
        pending = False
        for pid, (name, state) in children().items():
            if state == "Z":
                os.waitpid(pid, 0)
                ended[name] = ended.get(name, 0) + 1
            elif name in names:
                pending = True
        if not pending:
            return ended
        if time.monotonic() > deadline:
            sys.exit(f"timed out waiting for {sorted(names)} to end")
        time.sleep(0.002)


def run_once(config, route, env=None):
    # GNU time reports the peak RSS: a process that Python starts directly inherits this script's own
    # peak into ru_maxrss, one that the small time program starts does not.
    command = ["/usr/bin/time", "-f", "%M", "-o", str(config.rss_file),
               str(config.wine_run), str(config.prefix), *ROUTES[route]]
    start = time.perf_counter()
    process = subprocess.Popen(command, cwd=config.mod_dir, env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    process.returncode = os.waitstatus_to_exitcode(status)
    peak_kib = int(config.rss_file.read_text().split()[-1])
    ended = wait_for_started(STARTED[route])
    games = ended.get("RA3.exe", 0)
    expected = 0 if route == "empty" else 1
    if process.returncode != 0 or games != expected:
        sys.exit(f"{route}: exit code {process.returncode}, {games} game start(s) seen instead of {expected}")
    return {"wall": wall, "cpu": usage.ru_utime + usage.ru_stime, "rss": peak_kib * KIB}


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
    output = subprocess.run(["llvm-readobj", "--coff-imports", str(exe)], capture_output=True, text=True,
                            check=True).stdout
    return [line.split(":", 1)[1].strip() for line in output.splitlines()
            if line.strip().startswith("Name:") and "Import" not in line and "(" not in line]


def spread(values, unit, scale, digits):
    values = [value * scale for value in values]
    return (f"{statistics.median(values):.{digits}f} {unit} "
            f"({min(values):.{digits}f}–{max(values):.{digits}f})")


def verdict(met):
    return "met" if met else "**missed**"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n", 1)[0])
    for name in ("wine-run", "prefix", "launcher", "floor", "floor-com", "standin", "record-launch", "shipped"):
        parser.add_argument("--" + name, type=Path, required=True)
    parser.add_argument("--runs", type=int, default=40)
    parser.add_argument("--warmup", type=int, default=3)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--output", type=Path)
    config = parser.parse_args()
    config.prefix = config.prefix.absolute()
    config.wine_run = config.wine_run.absolute()
    config.mod_dir = unix_path(config.prefix, MOD_DIR)
    config.rss_file = config.prefix.parent / "peak-rss.txt"

    prepare(config)
    wine_version = subprocess.run(["/usr/lib/wine/wine64", "--version"], capture_output=True,
                                  text=True).stdout.strip()

    # From here on, Wine's detached processes (the game, start.exe) are re-parented to this script.
    # The wineserver and Wine's services were started above, outside it.
    if ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0) != 0:
        sys.exit("cannot become a child subreaper")
    command_line = check_same_start(config)
    set_game(config, config.standin)

    order = random.Random(config.seed)
    samples = {route: [] for route in ROUTES}
    load_before = os.getloadavg()
    started = time.monotonic()
    for round_index in range(config.warmup + config.runs):
        routes = list(ROUTES)
        order.shuffle(routes)
        for route in routes:
            sample = run_once(config, route)
            if round_index >= config.warmup:
                samples[route].append(sample)
        print(f"\rround {round_index + 1}/{config.warmup + config.runs}", end="", file=sys.stderr, flush=True)
    print(file=sys.stderr)
    elapsed = time.monotonic() - started
    load_after = os.getloadavg()

    def median(route, key):
        return statistics.median(sample[key] for sample in samples[route])

    size = config.shipped.stat().st_size
    wall_ratio = median("launcher", "wall") / median("floor", "wall")
    cpu_ratio = median("launcher", "cpu") / median("floor", "cpu")
    rss_extra = median("launcher", "rss") - median("floor", "rss")
    com_wall_ratio = median("launcher", "wall") / median("floor_com", "wall")
    com_rss_extra = median("launcher", "rss") - median("floor_com", "rss")
    mib = 1 / (1024 * 1024)

    labels = {
        "launcher": "Launcher (`启动BenchMod.exe`, x86_64)",
        "floor": "Floor: one `ShellExecuteExW`",
        "floor_com": "Floor inside a COM apartment (reference)",
        "bat": "`.bat` through `cmd.exe /c` (`start`)",
        "empty": "Empty program (the stand-in alone)",
    }
    lines = [
        f"{config.runs} runs per route after {config.warmup} warm-up rounds, routes shuffled each round; "
        f"median (min–max). {wine_version}, 64-bit prefix, {os.cpu_count()} cores, load average "
        f"{load_before[0]:.2f} before and {load_after[0]:.2f} after ({elapsed:.0f} s).",
        "",
        "| Route | Wall time | CPU (user + sys) | Peak RSS |",
        "| --- | --- | --- | --- |",
    ]
    for route in ROUTES:
        values = samples[route]
        cpu = spread([s["cpu"] for s in values], "ms", 1000, 0) if route != "bat" else "—"
        rss = spread([s["rss"] for s in values], "MiB", mib, 2) if route != "bat" else "—"
        lines.append(f"| {labels[route]} | {spread([s['wall'] for s in values], 'ms', 1000, 0)} | {cpu} | {rss} |")
    lines += [
        "",
        "| Target | Measured | Verdict |",
        "| --- | --- | --- |",
        f"| Launcher wall time within 5% of the floor | {wall_ratio:.3f} × floor | {verdict(wall_ratio <= 1.05)} |",
        f"| Launcher faster than the `.bat` route | {median('launcher', 'wall') * 1000:.0f} ms vs "
        f"{median('bat', 'wall') * 1000:.0f} ms | {verdict(median('launcher', 'wall') < median('bat', 'wall'))} |",
        f"| Launcher peak memory within 1 MiB of the floor | {rss_extra * mib:+.2f} MiB | "
        f"{verdict(rss_extra <= 1024 * 1024)} |",
        f"| Shipped 32-bit exe ≤ 320 KiB | {size / KIB:.1f} KiB ({size:,} bytes) | {verdict(size <= SIZE_LIMIT)} |",
        "",
        f"Launcher CPU time: {cpu_ratio:.3f} × the floor's (no target). Against the floor inside a COM "
        f"apartment: wall time {com_wall_ratio:.3f} ×, peak memory {com_rss_extra * mib:+.2f} MiB. The `.bat` "
        "route's CPU and memory are spread over cmd.exe and start.exe and are not shown.",
        "",
        f"Shipped exe `{config.shipped.name}` imports: {', '.join(imports(config.shipped))}.",
        "",
        f"Every route started the game as `{command_line}` in `{GAME_DIR}`.",
    ]
    text = "\n".join(lines) + "\n"
    print(text)
    if config.output:
        config.output.write_text(text)


if __name__ == "__main__":
    main()
