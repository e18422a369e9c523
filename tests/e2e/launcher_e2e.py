#!/usr/bin/python3
r"""End-to-end runs of the launcher exe under Wine.

Each run copies the launcher into a fresh mod folder under the name a player would give it and starts it
there. What it shows and starts is read from outside: Wine's relay log lists the exe's own calls to
MessageBoxW, ShellExecuteExW, GetOpenFileNameW, CoInitializeEx and CoUninitialize, and a stand-in game
(and Steam client) records the command line, argument vector and working directory it was started with.

    launcher_e2e.py --launcher EXE --record-launch EXE --hold-mutex EXE --wine-run SCRIPT
                    --support-url URL --registry-view 32|64 --prefix DIR --work DIR [--player EXE]
                    [--time-scale N] [unittest arguments...]

The registry view is the one the launcher reads HKEY_LOCAL_MACHINE\Software through: 32 for the shipped
32-bit exe (Software\Wow6432Node, as on 64-bit Windows), 64 for a 64-bit build. The time limits are
N times longer where Wine runs under emulation.
"""

import argparse
import atexit
import contextlib
import ctypes
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from dataclasses import dataclass, field
from pathlib import Path
from typing import List, Optional

CONFIG = argparse.Namespace()

GAME_KEYS = {64: r"HKEY_LOCAL_MACHINE\Software\Electronic Arts\Electronic Arts\Red Alert 3",
             32: r"HKEY_LOCAL_MACHINE\Software\Wow6432Node\Electronic Arts\Electronic Arts\Red Alert 3"}
STEAM_KEY = r"HKEY_CURRENT_USER\Software\Valve\Steam"
WINE_DEBUG_KEY = r"HKEY_CURRENT_USER\Software\Wine\Debug"

LAUNCHER_MUTEX = "EA_RTS_LAUNCHER_GAME_MUTEX"
GAME_MUTEX = "41DAF790-16F5-4881-8754-59FD8CF3B8D2"

# The calls watched in the relay log, and the system modules whose own calls are left out of it: Wine's
# shell, dialogs and window system call MessageBoxW and the rest themselves.
RELAY_INCLUDE = ";".join([
    "user32.MessageBoxW", "shell32.ShellExecuteExW", "comdlg32.GetOpenFileNameW",
    # ole32 forwards both to combase, where the relay sees them.
    "ole32.CoInitializeEx", "ole32.CoUninitialize", "combase.CoInitializeEx", "combase.CoUninitialize",
])
RELAY_FROM_EXCLUDE = ";".join([
    "winex11.drv", "winemac.drv", "wineandroid.drv", "user32", "gdi32", "win32u", "advapi32", "kernel32",
    "kernelbase", "ntdll", "shell32", "shlwapi", "shcore", "comdlg32", "combase", "ole32", "oleaut32", "rpcrt4",
    "comctl32", "uxtheme", "imm32", "msvcrt", "ucrtbase", "sechost", "explorer", "windowscodecs",
])

MB_OK = 0x00
MB_ICONERROR = 0x10
MB_ICONWARNING = 0x30
MB_ICONINFORMATION = 0x40
SW_SHOWNORMAL = 1

RECORD_TIMEOUT = 20.0
RUN_TIMEOUT = 60.0


def skudef_missing_text(mod):
    return "找不到 " + mod + " 的 SkuDef 配置文件。\r\n建议您重新安装 Mod、或者联系 Mod 作者。"


def game_running_text(mod):
    return "请先退出红警3，然后再使用这个工具启动 " + mod


GAME_NOT_FOUND_TEXT = "没能在你的电脑上找到红警3，请手动设置红警3的路径"


def error_text(mod, detail):
    return (mod + " Mod 启动器遇到了一个无法处理的错误，您可以在Tessavar发帖联系Miravel：\r\n" + CONFIG.support_url
            + " \r\n以下是错误的详细信息：\r\n" + detail)


def windows_path(path):
    """The path as a Windows program sees it through Wine's Z: drive."""
    return "Z:" + str(Path(path).absolute()).replace("/", "\\")


# --- The relay log ------------------------------------------------------------------------------------

@dataclass
class Argument:
    value: int
    text: Optional[str] = None  # the string Wine showed beside a pointer, if any
    cut: bool = False  # Wine shows about 300 characters of a string and marks the rest "..."


@dataclass
class Call:
    thread: str
    function: str
    arguments: List[Argument]
    result: Optional[int] = None


_CALL = re.compile(r"^([0-9a-f]+):Call (\w+)\.(\w+)\((.*)\) ret=[0-9a-f]+$")
_RETURN = re.compile(r"^([0-9a-f]+):Ret  (\w+)\.(\w+)\(\) retval=([0-9a-f]+) ret=[0-9a-f]+$")
_ESCAPES = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "\\": "\\"}


def _parse_arguments(text):
    arguments = []
    index = 0
    while index < len(text):
        match = re.compile(r"[0-9a-f]+").match(text, index)
        if not match:
            raise ValueError("unexpected relay arguments: " + text)
        argument = Argument(int(match.group(), 16))
        index = match.end()
        if text.startswith(' L"', index):
            index += 3
            characters = []
            while text[index] != '"':
                if text[index] == "\\":
                    escape = text[index + 1]
                    if escape in _ESCAPES:
                        characters.append(_ESCAPES[escape])
                        index += 2
                    else:
                        characters.append(chr(int(text[index + 1:index + 5], 16)))
                        index += 5
                else:
                    characters.append(text[index])
                    index += 1
            index += 1
            # Wine escapes the two halves of a surrogate pair one by one (\d83d\de80 for 🚀): joined, they
            # are one character again.
            units = "".join(characters).encode("utf-16-le", "surrogatepass")
            argument.text = units.decode("utf-16-le", "surrogatepass")
            if text.startswith("...", index):
                argument.cut = True
                index += 3
        arguments.append(argument)
        if index < len(text):
            if text[index] != ",":
                raise ValueError("unexpected relay arguments: " + text)
            index += 1
    return arguments


def parse_relay_log(log):
    """The watched calls made by the launcher's thread, in order, each with the value it returned. The
    stand-ins it starts inherit its standard error, and Wine may log a process of its own first (the
    64-bit side of a 32-bit start): the launcher's thread is the one that makes the first watched call."""
    lines = log.splitlines()
    launcher_thread = next((m.group(1) for m in map(_CALL.match, lines) if m), None)
    calls = []
    for line in lines:
        call = _CALL.match(line)
        if call and call.group(1) == launcher_thread:
            calls.append(Call(call.group(1), call.group(3), _parse_arguments(call.group(4))))
            continue
        returned = _RETURN.match(line)
        if returned and returned.group(1) == launcher_thread:
            for earlier in reversed(calls):
                if earlier.function == returned.group(3) and earlier.result is None:
                    earlier.result = int(returned.group(4), 16)
                    break
    return calls


# --- What a test expects to see -----------------------------------------------------------------------

@dataclass
class Box:
    """A MessageBoxW call. With `open_end` the text only begins with `text` (a system message follows);
    `visible` characters of it must be shown in the log, however long the rest."""
    text: str
    caption: str
    style: int
    open_end: bool = False
    visible: int = 0
    function: str = field(default="MessageBoxW", init=False)


@dataclass
class Named:
    function: str


START = Named("ShellExecuteExW")
DIALOG = Named("GetOpenFileNameW")


@dataclass
class Run:
    exit_code: int
    calls: List[Call]
    record: Optional[dict]
    log_path: Path

    def describe(self):
        shown = []
        for call in self.calls:
            arguments = ",".join(repr(a.text) + ("..." if a.cut else "") if a.text is not None else hex(a.value)
                                 for a in call.arguments)
            shown.append("  %s(%s) -> %s" % (call.function, arguments, call.result))
        return "exit code %d; relay log %s; calls:\n%s\nrecord: %s" % (
            self.exit_code, self.log_path, "\n".join(shown) or "  (none)", self.record)


# --- The Wine prefix ----------------------------------------------------------------------------------

def base_environment():
    environment = dict(os.environ)
    environment.pop("QUORVANE_RECORD", None)
    environment.pop("WINEDEBUG", None)
    return environment


def wine_run():
    """wine-run with this run's prefix; a 64-bit build's prefix runs natively on every machine."""
    return [CONFIG.wine_run, *(["--64-bit"] if CONFIG.registry_view == 64 else []), str(CONFIG.prefix)]


def wine(*arguments, cwd=None, environment=None, stderr=subprocess.DEVNULL):
    return subprocess.run([*wine_run(), *map(str, arguments)], cwd=cwd,
                          env=environment or base_environment(), stdin=subprocess.DEVNULL,
                          stdout=subprocess.DEVNULL, stderr=stderr, timeout=RUN_TIMEOUT).returncode


def _reg_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


NO_VALUE = object()  # the key exists, the value does not
_registry_state = None
_relay_filter_set = False


def import_registry(sections):
    """Imports (key, {value: text} or None to delete the key) pairs in one regedit run; the first run also
    sets the relay log's filter (every Wine start under emulation costs seconds)."""
    global _relay_filter_set
    if not _relay_filter_set:
        sections = [(WINE_DEBUG_KEY, {"RelayInclude": RELAY_INCLUDE, "RelayFromExclude": RELAY_FROM_EXCLUDE}),
                    *sections]
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key, values in sections:
        if values is None:
            lines += ["[-" + key + "]", ""]
        else:
            lines += ["[" + key + "]"] + [_reg_string(n) + "=" + _reg_string(v) for n, v in values.items()] + [""]
    with tempfile.NamedTemporaryFile("w", suffix=".reg", dir=CONFIG.work, delete=False, encoding="utf-16",
                                     newline="") as file:
        file.write("\r\n".join(lines) + "\r\n")
    try:
        if wine("regedit", "/S", windows_path(file.name)) != 0:
            raise RuntimeError("regedit could not import " + file.name)
        _relay_filter_set = True
    finally:
        os.unlink(file.name)


def set_registry(game_directory=None, steam_exe=None, view=None):
    """The game's "Install Dir" (in the launcher's registry view, or in `view`) and Steam's "SteamExe"
    entries as given; None removes the key. The game's key is removed from the other view."""
    global _registry_state
    view = view or CONFIG.registry_view
    state = (game_directory, steam_exe, view)
    if state == _registry_state:
        return
    game = None if game_directory is None else {"Install Dir": windows_path(game_directory)}
    steam = None if steam_exe is None else {} if steam_exe is NO_VALUE else {"SteamExe": windows_path(steam_exe)}
    # Deleting first, so that a key set from scratch carries no value from an earlier case.
    import_registry([(GAME_KEYS[32], None), (GAME_KEYS[64], None), (STEAM_KEY, None), (GAME_KEYS[view], game),
                     (STEAM_KEY, steam)])
    _registry_state = state


def setUpModule():
    CONFIG.work.mkdir(parents=True, exist_ok=True)


# --- Test bases ---------------------------------------------------------------------------------------

class LauncherTestCase(unittest.TestCase):
    """Gives each class a game folder with a stand-in RA3.exe, a Steam folder with a stand-in steam.exe,
    and each run a fresh mod folder."""

    @classmethod
    def setUpClass(cls):
        cls.root = CONFIG.work / cls.__name__
        shutil.rmtree(cls.root, ignore_errors=True)
        cls.root.mkdir(parents=True)
        cls.game_directory = cls.root / "Red Alert 3 红警"
        cls.game_directory.mkdir()
        cls.game_exe = cls.game_directory / "RA3.exe"
        shutil.copyfile(CONFIG.record_launch, cls.game_exe)
        steam_directory = cls.root / "Steam"
        steam_directory.mkdir()
        cls.steam_exe = steam_directory / "steam.exe"
        shutil.copyfile(CONFIG.record_launch, cls.steam_exe)
        cls.runs = 0

    def make_mod_folder(self, folder_name="mod", mod=None):
        """A fresh folder holding an empty <mod>.SkuDef (none when `mod` is None)."""
        type(self).runs += 1
        case = self.root / ("run-%02d" % self.runs)
        folder = case / folder_name
        folder.mkdir(parents=True)
        if mod is not None:
            (folder / (mod + ".SkuDef")).touch()
        return folder

    def launch(self, folder, launcher_name, arguments=(), program_folder=None, environment=()):
        """Runs the launcher, copied into `folder` (or `program_folder`) as `launcher_name`, with `folder` as
        its current directory and `environment` added to it. Waits for the stand-in's record when the
        launcher reports a start."""
        if not _relay_filter_set:
            import_registry([])
        program = (program_folder or folder) / launcher_name
        shutil.copyfile(CONFIG.launcher, program)
        record_path = folder.parent / "record.json"
        log_path = folder.parent / "relay.log"
        environment = {**base_environment(), **dict(environment), "WINEDEBUG": "+relay",
                       "QUORVANE_RECORD": windows_path(record_path)}
        # Written line by line to a file in /tmp, then kept beside the run in one write: under emulation the
        # run's folder is the host's, where each write costs a round trip out of the VM.
        with tempfile.TemporaryFile() as log:
            try:
                exit_code = wine(program if program_folder else launcher_name, *arguments, cwd=folder,
                                 environment=environment, stderr=log)
            finally:  # also when the run did not end in time
                log.seek(0)
                log_path.write_bytes(log.read())
        calls = parse_relay_log(log_path.read_bytes().decode("utf-8", "replace"))
        run = Run(exit_code, calls, None, log_path)
        if any(c.function == "ShellExecuteExW" and c.result for c in calls):
            deadline = time.monotonic() + RECORD_TIMEOUT
            while not record_path.exists() and time.monotonic() < deadline:
                time.sleep(0.05)
        if record_path.exists():
            run.record = json.loads(record_path.read_text(encoding="ascii"))
        return run

    @contextlib.contextmanager
    def game_running(self, kind, name, locked=False):
        """Holds the named mutex, as a running game does, for the duration of the block; `locked`, out of
        other processes' reach, as a game run as administrator holds it."""
        ready = Path(tempfile.mkdtemp(prefix="mutex-", dir=self.root)) / "ready"
        holder = subprocess.Popen([*wine_run(), str(CONFIG.hold_mutex), kind, name,
                                   windows_path(ready)] + (["locked"] if locked else []),
                                  env=base_environment(), stdin=subprocess.DEVNULL,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            deadline = time.monotonic() + RUN_TIMEOUT
            while not ready.exists():
                if holder.poll() is not None or time.monotonic() > deadline:
                    self.fail("hold_mutex did not take %s (exit code %s)" % (name, holder.poll()))
                time.sleep(0.05)
            yield
        finally:
            ready.unlink(missing_ok=True)
            holder.wait(timeout=RUN_TIMEOUT)

    # The launcher's own calls, from first to last: CoInitializeEx(NULL, 6), the expected ones, and one
    # CoUninitialize after the successful CoInitializeEx.
    def assertCalls(self, run, expected):
        context = run.describe()
        names = [c.function for c in run.calls]
        self.assertEqual(names, ["CoInitializeEx"] + [e.function for e in expected] + ["CoUninitialize"], context)
        initialize = run.calls[0]
        self.assertEqual([a.value for a in initialize.arguments], [0, 6], context)
        self.assertEqual(initialize.result, 0, context)
        for call, expectation in zip(run.calls[1:], expected):
            if isinstance(expectation, Box):
                self.assertBox(call, expectation, context)

    def assertBox(self, call, box, context):
        owner, text, caption, style = call.arguments
        self.assertEqual(owner.value, 0, context)
        self.assertEqual((caption.text, caption.cut), (box.caption, False), context)
        self.assertEqual(style.value, box.style, context)
        shown = text.text
        self.assertGreaterEqual(len(shown), box.visible, "the log shows too little of the text\n" + context)
        if text.cut or box.open_end:
            common = min(len(shown), len(box.text))
            self.assertEqual(shown[:common], box.text[:common], context)
            if not text.cut:
                self.assertGreaterEqual(len(shown), len(box.text), context)
        else:
            self.assertEqual(shown, box.text, context)

    def assertOutcome(self, run, exit_code, expected):
        self.assertEqual(run.exit_code, exit_code, run.describe())
        self.assertCalls(run, expected)
        if START not in expected or exit_code != 0:
            self.assertIsNone(run.record, "something was started\n" + run.describe())
        else:
            self.assertIsNotNone(run.record, "the stand-in recorded no start\n" + run.describe())

    def assertGameStarted(self, run, folder, mod, arguments):
        """The stand-in RA3.exe got the quoted game path, the mod's SkuDef and `arguments`, in the game's
        folder, shown normally."""
        game = windows_path(self.game_exe)
        skudef = windows_path(folder / (mod + ".SkuDef"))
        self.assertEqual(run.record["arguments"], [game, game, "-modConfig", skudef, *arguments], run.describe())
        self.assertEqual(run.record["directory"], windows_path(self.game_directory), run.describe())
        self.assertEqual(run.record["show"], SW_SHOWNORMAL, run.describe())

    def assertSteamStarted(self, run, folder, mod, arguments):
        """The stand-in steam.exe got its own path, -applaunch 17480, the mod's SkuDef and `arguments`,
        shown normally."""
        steam = windows_path(self.steam_exe)
        skudef = windows_path(folder / (mod + ".SkuDef"))
        self.assertEqual(run.record["arguments"],
                         [steam, steam, "-applaunch", "17480", "-modConfig", skudef, *arguments], run.describe())
        self.assertEqual(run.record["show"], SW_SHOWNORMAL, run.describe())

    def parameters(self, run, program):
        """The parameters the launcher passed: Wine puts the program's quoted path in front of them."""
        head = '"' + windows_path(program) + '" '
        command_line = run.record["commandLine"]
        self.assertTrue(command_line.startswith(head), run.describe())
        return command_line[len(head):]


# --- The cases ----------------------------------------------------------------------------------------

class StartTest(LauncherTestCase):
    """The exact command lines of both editions."""

    def setUp(self):
        set_registry(self.game_directory, self.steam_exe)

    def test_direct_start(self):
        folder = self.make_mod_folder(mod="MyMod")
        run = self.launch(folder, "启动MyMod.exe", ["-win", "b c", ""])
        self.assertOutcome(run, 0, [START])
        game = windows_path(self.game_exe)
        self.assertEqual(self.parameters(run, self.game_exe),
                         '"' + game + '"  -modConfig "' + windows_path(folder) + '\\MyMod.SkuDef"  -win "b c" ""')
        self.assertGameStarted(run, folder, "MyMod", ["-win", "b c", ""])

    def test_steam_start(self):
        folder = self.make_mod_folder(mod="MyMod")
        run = self.launch(folder, "启动MyMod(Steam版).exe", ["-win", "b c", ""])
        self.assertOutcome(run, 0, [START])
        self.assertEqual(self.parameters(run, self.steam_exe),
                         windows_path(self.steam_exe) + ' -applaunch 17480  -modConfig "' + windows_path(folder)
                         + '\\MyMod.SkuDef"  -win "b c" ""')
        self.assertSteamStarted(run, folder, "MyMod", ["-win", "b c", ""])
        # No working directory is given: Steam starts in the launcher's.
        self.assertEqual(run.record["directory"], windows_path(folder), run.describe())

    def test_without_arguments_the_parameters_end_after_the_skudef(self):
        folder = self.make_mod_folder(mod="MyMod")
        run = self.launch(folder, "启动MyMod.exe")
        self.assertOutcome(run, 0, [START])
        self.assertEqual(self.parameters(run, self.game_exe),
                         '"' + windows_path(self.game_exe) + '"  -modConfig "' + windows_path(folder)
                         + '\\MyMod.SkuDef" ')


class NamesTest(LauncherTestCase):
    """The mod name and the edition come from the launcher's own file name."""

    CASES = [
        # launcher file name, mod, Steam edition, mod folder
        ("启动MyMod.exe", "MyMod", False, "mod"),
        ("启动MyMod(Steam版).exe", "MyMod", True, "mod"),
        ("启动我的 模组.exe", "我的 模组", False, "红警 Mods"),
        ("启动我的 模组(Steam版).exe", "我的 模组", True, "红警 Mods"),
        ("启动MyMod(STEAM版).EXE", "MyMod", True, "mod"),
        ("启动MyMod.EXE", "MyMod", False, "mod"),
        ("MyMod(steam版).Exe", "MyMod", True, "mod"),
        ("MyMod.exe", "MyMod", False, "mod"),
    ]

    def test_launcher_names(self):
        set_registry(self.game_directory, self.steam_exe)
        for launcher_name, mod, steam, folder_name in self.CASES:
            with self.subTest(launcher=launcher_name):
                folder = self.make_mod_folder(folder_name, mod)
                run = self.launch(folder, launcher_name, ["-x"])
                self.assertOutcome(run, 0, [START])
                if steam:
                    self.assertSteamStarted(run, folder, mod, ["-x"])
                else:
                    self.assertGameStarted(run, folder, mod, ["-x"])


class ArgumentsTest(LauncherTestCase):
    """Arguments after the launcher's name reach the game as they were given."""

    CASES = [
        ["b c", "  lead and trail  ", "tab\there"],
        ['say "hi"', '"', 'a\\"b', '\\\\"', '"quoted"'],
        ["C:\\dir\\", "x y\\", "x y\\\\", "\\", "a\\b c\\\\d"],
        ["", "x", ""],
        ["中文", "红警 3", "Ünïcödé ÿ"],
        ["-ui", "/switch", "a=b", "%PATH%", "^&|<>", "'single'"],
    ]

    def setUp(self):
        set_registry(self.game_directory, self.steam_exe)

    def test_wine_itself_passes_the_arguments_on(self):
        # Without this the cases below could blame the launcher for Wine's handling of them.
        everything = [argument for case in self.CASES for argument in case]
        record_path = self.root / "wine-check.json"
        environment = base_environment()
        environment["QUORVANE_RECORD"] = windows_path(record_path)
        self.assertEqual(wine(CONFIG.record_launch, *everything, environment=environment), 0)
        self.assertEqual(json.loads(record_path.read_text(encoding="ascii"))["arguments"][1:], everything)

    def test_arguments_reach_the_game(self):
        for arguments in self.CASES:
            with self.subTest(arguments=arguments):
                folder = self.make_mod_folder(mod="MyMod")
                run = self.launch(folder, "启动MyMod.exe", arguments)
                self.assertOutcome(run, 0, [START])
                self.assertGameStarted(run, folder, "MyMod", arguments)

    def test_arguments_reach_steam(self):
        everything = [argument for case in self.CASES for argument in case]
        folder = self.make_mod_folder(mod="MyMod")
        run = self.launch(folder, "启动MyMod(Steam版).exe", everything)
        self.assertOutcome(run, 0, [START])
        self.assertSteamStarted(run, folder, "MyMod", everything)


class NoticesTest(LauncherTestCase):
    """The boxes a player sees before or instead of a start."""

    def test_game_running(self):
        set_registry(self.game_directory, self.steam_exe)
        for kind, mutex, launcher_name, *locked in [("A", LAUNCHER_MUTEX, "启动MyMod.exe"),
                                                    ("W", GAME_MUTEX, "启动MyMod.exe"),
                                                    ("A", LAUNCHER_MUTEX, "启动MyMod(Steam版).exe"),
                                                    ("W", GAME_MUTEX, "启动MyMod(Steam版).exe"),
                                                    # The game runs as administrator.
                                                    ("A", LAUNCHER_MUTEX, "启动MyMod.exe", True)]:
            with self.subTest(mutex=mutex, launcher=launcher_name, locked=bool(locked)):
                folder = self.make_mod_folder(mod="MyMod")
                with self.game_running(kind, mutex, *locked):
                    run = self.launch(folder, launcher_name, ["-x"])
                self.assertOutcome(run, 0, [Box(game_running_text("MyMod"), "MyMod", MB_ICONINFORMATION), START])
                if "Steam" in launcher_name:
                    self.assertSteamStarted(run, folder, "MyMod", ["-x"])
                else:
                    self.assertGameStarted(run, folder, "MyMod", ["-x"])

    def test_skudef_missing(self):
        set_registry(self.game_directory, self.steam_exe)
        for launcher_name, mod, running in [("启动MyMod.exe", "MyMod", None),
                                            ("启动我的 模组(Steam版).exe", "我的 模组", None),
                                            ("启动MyMod.exe", "MyMod", ("A", LAUNCHER_MUTEX)),
                                            ("启动MyMod(Steam版).exe", "MyMod", ("W", GAME_MUTEX))]:
            with self.subTest(launcher=launcher_name, running=running):
                folder = self.make_mod_folder()
                # Neither another mod's SkuDef, nor a file whose name only begins with the mod's, nor a
                # folder of the SkuDef's name will do.
                (folder / "Other.SkuDef").touch()
                (folder / (mod + ".SkuDef.txt")).touch()
                (folder / (mod + ".SkuDef")).mkdir()
                with self.game_running(*running) if running else contextlib.nullcontext():
                    run = self.launch(folder, launcher_name)
                self.assertOutcome(run, 1, [Box(skudef_missing_text(mod), mod, MB_ICONWARNING)])

    def test_game_not_found_and_the_dialog_cancelled(self):
        empty = self.root / "no game"
        empty.mkdir()
        folder_game = self.root / "game is a folder"
        (folder_game / "RA3.exe").mkdir(parents=True)
        # A 32-bit launcher does not see a key written in the 64-bit view, as on 64-bit Windows.
        other_view = 96 - CONFIG.registry_view
        for description, game_directory, view in [("no registry key", None, None),
                                                  ("no RA3.exe in Install Dir", empty, None),
                                                  ("RA3.exe is a folder", folder_game, None),
                                                  ("key only in the other view", self.game_directory, other_view)]:
            with self.subTest(description):
                set_registry(game_directory, self.steam_exe, view)
                folder = self.make_mod_folder(mod="MyMod")
                run = self.launch(folder, "启动MyMod.exe", ["-x"])
                self.assertOutcome(run, 1, [Box(GAME_NOT_FOUND_TEXT, "MyMod", MB_OK), DIALOG])


class FailuresTest(LauncherTestCase):
    """Failures end in the generic error box captioned with the mod's name."""

    def assertErrorBox(self, run, mod, detail, shown_detail, before=()):
        """The generic box ending in `detail`; the log may cut the text within the system's message, but
        not before `shown_detail`."""
        box = Box(error_text(mod, detail), mod, MB_ICONERROR, open_end=True,
                  visible=len(error_text(mod, shown_detail)))
        self.assertOutcome(run, 1, [*before, box])

    def test_location_fails(self):
        steam = "Failed to retrieve steam.exe path: "
        game = "Failed to retrieve RA3Path."
        for description, registry, launcher_name, environment, before, detail, shown_detail in [
                ("no Steam key", (self.game_directory, None), "启动M(Steam版).exe", {}, [],
                 steam + "RegOpenKeyExW failed: ", steam),
                ("no SteamExe value", (self.game_directory, NO_VALUE), "启动M(Steam版).exe", {}, [], steam, steam),
                # No file dialog can be shown: a failure, not a cancel. The log cuts the text before the
                # dialog's part ("SelectFile Error: GetOpenFileNameW failed, CommDlg Error Code 2").
                ("game not registered, comdlg32 not loadable", (None, self.steam_exe), "启动M.exe",
                 {"WINEDLLOVERRIDES": "comdlg32=d"}, [Box(GAME_NOT_FOUND_TEXT, "M", MB_OK)],
                 game + "\r\nRegistry Error: RegOpenKeyExW failed: ", game)]:
            with self.subTest(description):
                set_registry(*registry)
                folder = self.make_mod_folder(mod="M")
                run = self.launch(folder, launcher_name, environment=environment)
                self.assertErrorBox(run, "M", detail, shown_detail, before)

    def test_start_fails(self):
        broken_game = self.root / "broken game"
        broken_game.mkdir()
        (broken_game / "RA3.exe").write_bytes(b"")  # a file, but no program
        for description, registry, launcher_name in [
                ("RA3.exe is no program", (broken_game, self.steam_exe), "启动MyMod.exe"),
                ("SteamExe names a missing file", (self.game_directory, self.root / "Steam" / "gone.exe"),
                 "启动MyMod(Steam版).exe")]:
            with self.subTest(description):
                set_registry(*registry)
                folder = self.make_mod_folder(mod="MyMod")
                run = self.launch(folder, launcher_name)
                self.assertErrorBox(run, "MyMod", "ShellExecuteExW failed: ", "ShellExecuteExW failed: ", [START])
                self.assertEqual(run.calls[1].result, 0, run.describe())


STARTS, SKUDEF_BOX, EITHER = "starts the game", "shows the SkuDef box", "either"
WINE_DESKTOP = b"C:\\windows\\system32\\explorer.exe\0/desktop\0"


def nested_folders(base, length):
    """A relative path of nested folders that makes the Windows path `base` `length` characters long."""
    parts, remaining = [], length - len(base)
    while remaining > 0:
        size = min(100, remaining - 1)
        if remaining - size - 1 == 1:
            size -= 1  # leaves room for a last folder of one character
        parts.append("d" * size)
        remaining -= size + 1
    return "/".join(parts)


def unix_path(path):
    """The Unix path of a Windows path on the prefix's C: or Z: drive."""
    drive, _, rest = path.partition("\\")
    root = {"C:": CONFIG.prefix / "drive_c", "Z:": Path("/")}[drive.upper()]
    return root.joinpath(*filter(None, rest.split("\\")))


class HostileTest(LauncherTestCase):
    """Awkward mod names, mod folders, SkuDef files and arguments. Each launch either starts the game with
    the SkuDef path built from the current directory as Windows reports it and the arguments exactly as
    given, or shows the SkuDef box; it never crashes, hangs or passes a wrong argument, and leaves nothing
    running."""

    def setUp(self):
        set_registry(self.game_directory, self.steam_exe)

    def assertSoundLaunch(self, folder, launcher_name, mod, expected, arguments=(), directory=None,
                          program_folder=None):
        """Launches and checks the outcome; `directory` is the current directory the launcher should see,
        the folder's own path by default. EITHER accepts a start or the SkuDef box, each checked in full."""
        try:
            run = self.launch(folder, launcher_name, arguments, program_folder)
        except subprocess.TimeoutExpired:
            self.fail("%s did not end within %d s" % (launcher_name, RUN_TIMEOUT))
        if expected == EITHER:
            expected = STARTS if any(c.function == START.function for c in run.calls) else SKUDEF_BOX
        if expected == SKUDEF_BOX:
            self.assertOutcome(run, 1, [Box(skudef_missing_text(mod), mod, MB_ICONWARNING)])
        else:
            self.assertOutcome(run, 0, [START])
            skudef = (directory or windows_path(folder)) + "\\" + mod + ".SkuDef"
            steam, game = windows_path(self.steam_exe), windows_path(self.game_exe)
            head = [steam, steam, "-applaunch", "17480"] if "(Steam版)" in launcher_name else [game, game]
            self.assertEqual(run.record["arguments"], [*head, "-modConfig", skudef, *arguments], run.describe())
        self.assertNothingLeft(run)

    def assertNothingLeft(self, run):
        """No process of this run lives on. Everything the launcher starts inherits its environment, which
        names this run's record file. A named mutex lasts only while some process holds a handle to it, so
        none is left either (and one still held would show as the game-running notice in the next case).
        Wine's desktop process, which Wine starts for the launcher's windows and which ends by itself about
        a second after the last of them, is Wine's own."""
        marker = b"\0QUORVANE_RECORD=" + windows_path(run.log_path.with_name("record.json")).encode() + b"\0"
        deadline = time.monotonic() + 5.0 * CONFIG.time_scale
        while True:
            left = []
            for process in Path("/proc").glob("[0-9]*"):
                with contextlib.suppress(OSError):
                    if (marker in b"\0" + (process / "environ").read_bytes()
                            and not (process / "cmdline").read_bytes().startswith(WINE_DESKTOP)):
                        left.append(process.name)
            if not left:
                return
            if time.monotonic() > deadline:
                self.fail("processes left running: %s\n%s" % (", ".join(left), run.describe()))
            time.sleep(0.05)

    def reported_directory(self, folder):
        """The current directory Windows reports to a program started in `folder`, as the launcher is."""
        record = folder.parent / "directory.json"
        environment = base_environment()
        environment["QUORVANE_RECORD"] = windows_path(record)
        self.assertEqual(wine(CONFIG.record_launch, cwd=folder, environment=environment), 0)
        return json.loads(record.read_text(encoding="ascii"))["directory"]

    NAMES = [
        # mod name, whether <mod>.SkuDef is there, outcome
        ("%", True, STARTS),
        ("a^b&c!d", True, STARTS),
        (";,=", True, STARTS),
        ("%PATH%", True, STARTS),
        (" My Mod ", True, STARTS),
        (" My Mod ", False, SKUDEF_BOX),
        ("🚀Mod", True, STARTS),
        ("𠀀", False, SKUDEF_BOX),
        ("", True, STARTS),  # 启动.exe looks for ".SkuDef", a file Wine shows as hidden
        ("", False, SKUDEF_BOX),
        # Windows takes these for devices in any folder, whatever their extension: NUL.SkuDef is the NUL
        # device. Wine finds such a "file" whether or not one of that name is in the folder.
        ("CON", True, EITHER),
        ("NUL", False, EITHER),
        ("COM1", False, EITHER),
        ("LPT1.txt", True, EITHER),
        ("AUX Mod", False, SKUDEF_BOX),  # no device: the name goes on after AUX
    ]

    def test_mod_names(self):
        for mod, present, expected in self.NAMES:
            with self.subTest(mod=mod, present=present):
                folder = self.make_mod_folder(mod=mod if present else None)
                self.assertSoundLaunch(folder, "启动" + mod + ".exe", mod, expected, ["-x"])

    def test_skudef_files(self):
        def linked(target):
            return lambda folder: (folder / "MyMod.SkuDef").symlink_to(target)

        def file(name="MyMod.SkuDef", mode=None, hidden=False):
            def make(folder):
                path = folder / name
                path.touch()
                if mode is not None:
                    path.chmod(mode)
                if hidden:
                    self.assertEqual(wine("attrib", "+h", windows_path(path)), 0)
                    # Wine keeps the attribute in an extended attribute of the file.
                    self.assertTrue(int(os.getxattr(path, "user.DOSATTRIB").rstrip(b"\0"), 16) & 0x2)
            return make

        (self.root / "real.SkuDef").touch()
        for description, mod, make, expected in [
                ("link to a file", "MyMod", linked(self.root / "real.SkuDef"), STARTS),
                ("relative link to a file", "MyMod", linked("../../real.SkuDef"), STARTS),
                ("dangling link", "MyMod", linked("gone.SkuDef"), SKUDEF_BOX),
                ("link to a folder", "MyMod", linked(".."), SKUDEF_BOX),
                ("link to itself", "MyMod", linked("MyMod.SkuDef"), SKUDEF_BOX),
                ("read-only", "MyMod", file(mode=0o444), STARTS),
                ("hidden", "MyMod", file(hidden=True), STARTS),
                # Found whatever the case; the argument carries the name the launcher built.
                ("other letter case on disk", "MyMod", file("mymod.SKUDEF"), STARTS),
                ("other letter case in the launcher's name", "MYMOD", file(), STARTS)]:
            with self.subTest(description):
                folder = self.make_mod_folder()
                make(folder)
                self.assertSoundLaunch(folder, "启动" + mod + ".exe", mod, expected, ["-x"])

    ARGUMENTS = ["%PATH%", "!PATH!", "%", "^", "&", "!", ";", ",", "=", "a^b&c|d<e>f", "a=b;c,d",
                 'x" -modConfig "evil.SkuDef', '" -modConfig "evil.SkuDef"', "-modConfig", "evil.SkuDef",
                 'x\\" -modConfig \\"evil.SkuDef', " My Mod ", "🚀", "𠀀", "NUL", ""]

    def test_arguments(self):
        record_path = self.root / "wine-check.json"
        environment = base_environment()
        environment["QUORVANE_RECORD"] = windows_path(record_path)
        self.assertEqual(wine(CONFIG.record_launch, *self.ARGUMENTS, environment=environment), 0)
        self.assertEqual(json.loads(record_path.read_text(encoding="ascii"))["arguments"][1:], self.ARGUMENTS,
                         "Wine itself does not pass the arguments on")
        for launcher_name in ["启动MyMod.exe", "启动MyMod(Steam版).exe"]:
            with self.subTest(launcher=launcher_name):
                folder = self.make_mod_folder(mod="MyMod")
                self.assertSoundLaunch(folder, launcher_name, "MyMod", STARTS, self.ARGUMENTS)

    def test_long_mod_folders(self):
        # Wine keeps a current directory of at most 258 characters (MAX_PATH less a closing backslash and
        # the terminating null). From a deeper folder it still starts the program, but in C:\windows; the
        # launcher then looks for the SkuDef there, not beside itself. The launcher itself stays in a short
        # folder: no program can be started from a path beyond MAX_PATH.
        mod = "HostileLongPath"
        program_folder = self.root / "launchers"
        program_folder.mkdir(exist_ok=True)
        for length, in_reported_directory in [(258, False), (259, False), (300, False), (300, True)]:
            with self.subTest(length=length, in_reported_directory=in_reported_directory):
                base = windows_path(self.root / ("run-%02d" % (self.runs + 1)))
                folder = self.make_mod_folder(nested_folders(base, length), mod)
                self.assertEqual(len(windows_path(folder)), length)
                directory = self.reported_directory(folder)
                if length <= 258:
                    self.assertEqual(directory, windows_path(folder))
                elsewhere = unix_path(directory) / (mod + ".SkuDef")
                try:
                    if in_reported_directory:
                        elsewhere.touch()
                    expected = STARTS if elsewhere.is_file() else SKUDEF_BOX
                    self.assertSoundLaunch(folder, "启动" + mod + ".exe", mod, expected, ["-x"], directory,
                                           program_folder)
                finally:
                    if in_reported_directory:
                        elsewhere.unlink(missing_ok=True)

# --- What a player sees and clicks ----------------------------------------------------------------------

def start_display():
    """Starts an X server of this run's own (Xvfb on a free display number, no window manager) and returns
    its display name. It ends with this process on every path: at exit, and when this process is killed
    (the kernel then signals it)."""
    read_end, write_end = os.pipe()

    def end_with_parent():
        ctypes.CDLL(None).prctl(1, signal.SIGTERM)  # PR_SET_PDEATHSIG

    server = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten",
                               "tcp"], pass_fds=[write_end], preexec_fn=end_with_parent,
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    atexit.register(lambda: server.poll() is not None or (server.terminate(), server.wait(10)))
    with os.fdopen(read_end) as announced:
        number = announced.readline().strip()
    if not number:
        raise RuntimeError("Xvfb did not start (exit code %s)" % server.wait(10))
    return ":" + number


def without_ime_calls(calls):
    """The calls without those of Wine's IME support (imm32), which on a display enters the launcher's COM
    apartment on its thread, CoInitializeEx(NULL, COINIT_APARTMENTTHREADED), and later leaves it again. It
    looks these functions up at run time, which the relay log's filter by calling module does not see."""
    kept, entered = [], 0
    for call in calls:
        if call.function == "CoInitializeEx" and [a.value for a in call.arguments] == [0, 2]:
            entered += 1
        elif call.function == "CoUninitialize" and entered:
            entered -= 1
        else:
            kept.append(call)
    return kept


def end_processes_of(case):
    """Kills every process of the launch in `case`: they carry its record file's path in their environment."""
    marker = b"\0QUORVANE_RECORD=" + windows_path(case / "record.json").encode() + b"\0"
    for process in Path("/proc").glob("[0-9]*"):
        with contextlib.suppress(OSError):
            if marker in b"\0" + (process / "environ").read_bytes():
                os.kill(int(process.name), signal.SIGKILL)


class StartsWith(str):
    """A text that what the player reads must begin with."""


FILE_DIALOG = {"window": "dialog", "caption": "选择红警3路径", "filters": ["红色警戒3 (RA3.exe)"], "selected": 0}
NOT_FOUND_NOTICE = {"window": "box", "caption": "MyMod", "text": GAME_NOT_FOUND_TEXT, "icon": "none", "buttons": [1],
                    "owner": None}
# The dialog's own box, owned by it; its words are the system's.
DIALOG_COMPLAINT = {"window": "box", "buttons": [1], "owner": "选择红警3路径"}
STEAM_MISSING = "Failed to retrieve steam.exe path: RegOpenKeyExW failed: "


class UiTest(LauncherTestCase):
    """The real boxes and file dialog on a Simplified-Chinese desktop (the X display that main() starts when
    given the player helper), with the game not registered. The player helper, in the same prefix, reads each
    window through Win32 and clicks it; the relay log and the stand-in game show what the launcher did."""

    def play(self, folder, launcher_name, steps):
        """Launches while the player helper takes `steps`; returns the run and what the player read. A window
        that nobody answers (the player gave up, or the launcher showed more than the steps expect) would
        keep the launcher waiting: the run's processes are then ended, so that the case fails soon and the
        next one starts on an empty desktop."""
        player = subprocess.Popen([*wine_run(), str(CONFIG.player), *steps],
                                  env={**base_environment(), "QUORVANE_TIME_SCALE": str(CONFIG.time_scale)},
                                  stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL)
        watcher = threading.Thread(target=lambda: player.wait() == 0 or end_processes_of(folder.parent))
        watcher.start()
        try:
            run = self.launch(folder, launcher_name, ["-x"])
        except subprocess.TimeoutExpired:
            end_processes_of(folder.parent)  # it waits for a click that the player did not make
            raise
        finally:
            watcher.join()
        with player.stdout:
            reads = [json.loads(line) for line in player.stdout.read().decode("ascii").splitlines()]
        run.calls = without_ime_calls(run.calls)
        return run, reads

    def test_player_sees_and_clicks(self):
        set_registry(None, None)
        missing = self.game_directory / "RA3 (copy).exe"
        cases = [
            # description, launcher, SkuDef there, the player's steps, what the player reads, exit code,
            # the launcher's own calls
            ("RA3.exe picked", "启动MyMod.exe", True, ["box", "pick", "{game}"], [NOT_FOUND_NOTICE, FILE_DIALOG], 0,
             [Box(GAME_NOT_FOUND_TEXT, "MyMod", MB_OK), DIALOG, START]),
            ("dialog cancelled", "启动MyMod.exe", True, ["box", "cancel"], [NOT_FOUND_NOTICE, FILE_DIALOG], 1,
             [Box(GAME_NOT_FOUND_TEXT, "MyMod", MB_OK), DIALOG]),
            # The dialog refuses a file that is not there in a box of its own, and stays open.
            ("missing file typed", "启动MyMod.exe", True, ["box", "pick", "{missing}", "box", "cancel"],
             [NOT_FOUND_NOTICE, FILE_DIALOG, DIALOG_COMPLAINT, FILE_DIALOG], 1,
             [Box(GAME_NOT_FOUND_TEXT, "MyMod", MB_OK), DIALOG]),
            ("SkuDef missing", "启动MyMod.exe", False, ["box"],
             [{"window": "box", "caption": "MyMod", "text": skudef_missing_text("MyMod"), "icon": "warning",
               "buttons": [1], "owner": None}], 1, [Box(skudef_missing_text("MyMod"), "MyMod", MB_ICONWARNING)]),
            ("Steam not registered", "启动MyMod(Steam版).exe", True, ["box"],
             [{"window": "box", "caption": "MyMod", "text": StartsWith(error_text("MyMod", STEAM_MISSING)),
               "icon": "error", "buttons": [1], "owner": None}], 1,
             [Box(error_text("MyMod", STEAM_MISSING), "MyMod", MB_ICONERROR, open_end=True)]),
            # No row for the dialog's own failure: Wine's dialog builds the path in a MAX_PATH buffer, so it
            # never needs more than the launcher's 512 units; a longer path typed in overruns that buffer
            # and ends the launcher's process inside Wine.
        ]
        for description, launcher_name, skudef, steps, expected_reads, exit_code, calls in cases:
            with self.subTest(description):
                folder = self.make_mod_folder(mod="MyMod" if skudef else None)
                run, reads = self.play(folder, launcher_name, [step.format(game=windows_path(self.game_exe),
                                                                           missing=windows_path(missing))
                                                               for step in steps])
                context = "player read %s\n%s" % (reads, run.describe())
                self.assertEqual(len(reads), len(expected_reads), context)
                for read, expected in zip(reads, expected_reads):
                    for key, value in expected.items():
                        if isinstance(value, StartsWith):
                            self.assertTrue(read[key].startswith(value), context)
                        else:
                            self.assertEqual(read[key], value, context)
                self.assertOutcome(run, exit_code, calls)
                if START in calls:
                    game = windows_path(self.game_exe)
                    self.assertEqual(self.parameters(run, self.game_exe),
                                     '"' + game + '"  -modConfig "' + windows_path(folder) + '\\MyMod.SkuDef"  -x')
                    self.assertGameStarted(run, folder, "MyMod", ["-x"])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--launcher", type=Path, required=True)
    parser.add_argument("--record-launch", type=Path, required=True)
    parser.add_argument("--hold-mutex", type=Path, required=True)
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--support-url", required=True)
    parser.add_argument("--registry-view", type=int, choices=(32, 64), required=True)
    parser.add_argument("--prefix", type=Path, required=True)
    parser.add_argument("--work", type=Path, required=True)
    parser.add_argument("--player", type=Path, help="the player helper, for UiTest")
    parser.add_argument("--time-scale", type=int, default=1)
    options, rest = parser.parse_known_args()
    global RECORD_TIMEOUT, RUN_TIMEOUT
    RECORD_TIMEOUT *= options.time_scale
    RUN_TIMEOUT *= options.time_scale
    for name, value in vars(options).items():
        setattr(CONFIG, name, value.absolute() if isinstance(value, Path) else value)
    if CONFIG.player:
        # Before the first Wine program: the prefix's Wine desktop draws on the display it first saw.
        os.environ.update(DISPLAY=start_display(), QUORVANE_KEEP_DISPLAY="1")
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)


if __name__ == "__main__":
    main()
