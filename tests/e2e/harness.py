#!/usr/bin/env python3
"""Shared machinery of the end-to-end tests: one Xvfb display and one Wine prefix per test run.

    python3 harness.py setup      start Xvfb, create and prepare a fresh prefix, write session.json
                                  (--keep-prefix: use the prefix a former setup made)
    python3 harness.py teardown   stop this session's wineserver and Xvfb, nothing else
    python3 harness.py env        print the session's environment as shell assignments

Everything lives in $OMBRIX_E2E_STATE (inside the build tree); the programs under test come from
the Windows build tree $OMBRIX_WIN_BUILD_DIR. Every wait here is bounded in time.

This module is the session: the prefix's environment, program starts, the automation tool, the
registry, the screen. Beside it: wine_run.py (locations, bounded runs and waits), reg_files.py
(the .reg codec) and display_prefix.py (Xvfb, the prefix, its server); what the tests use from
those is reachable here too.
"""

import atexit
import codecs
import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import time
from typing import Dict, List, Optional

import display_prefix
from display_prefix import DLL_OVERRIDES
# What the tests use from the codec and the runner, reachable through this module too.
from reg_files import (REG_BINARY, REG_DWORD, REG_EXPAND_SZ, REG_MULTI_SZ, REG_SZ,  # noqa: F401
                       RegValue, parse_reg_export, reg_file_text, reg_multi_sz, same_key)
from wine_run import (SKIP, WINE64_LOADER, HarnessError, Result, pid_alive,  # noqa: F401
                      prefix_is_64bit, require_programs, run_to_files, state_dir,
                      to_linux_path, to_windows_path, tool, tree_is_64bit, wait_popen,
                      wait_until, win_build_dir, wine_command)

SESSION_FILE = "session.json"
PROGRAM_FOLDER_NAME = "Ombrix 程序 目录"


class AutomateError(HarnessError):
    def __init__(self, args, code, stderr, lines):
        super().__init__(f"automate {' '.join(args)} failed with {code}: {stderr.strip()}")
        self.code = code
        self.stderr = stderr
        self.lines = lines


# --- the session -----------------------------------------------------------------------------

class Session:
    """The running display and prefix, as setup left them in session.json."""

    def __init__(self, info: dict):
        self.state = pathlib.Path(info["state"])
        self.display = info["display"]
        self.xvfb_pid = info["xvfb_pid"]
        self.prefix = pathlib.Path(info["prefix"])
        self.home = pathlib.Path(info["home"])
        self.tmp = self.state / "tmp"
        self.tmp.mkdir(exist_ok=True)

    # environment and plain runs

    def env(self, extra: Optional[dict] = None) -> dict:
        env = dict(os.environ)
        env.update({
            "WINEPREFIX": str(self.prefix),
            "WINEARCH": "win64" if prefix_is_64bit() else "win32",
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": DLL_OVERRIDES,
            "DISPLAY": self.display,
            # Wine links the prefix's user folders into $HOME; keep them in the state folder.
            "HOME": str(self.home),
            "XDG_CACHE_HOME": str(self.home / ".cache"),
            "XDG_CONFIG_HOME": str(self.home / ".config"),
            "XDG_DATA_HOME": str(self.home / ".local" / "share"),
            # Command-line arguments reach Windows programs as UTF-8 decoded text. The demo asks
            # for a Chinese locale (OMBRIX_E2E_LANG), so the system's boxes look as users see them.
            "LANG": os.environ.get("OMBRIX_E2E_LANG", "C.UTF-8"),
            "LC_ALL": os.environ.get("OMBRIX_E2E_LANG", "C.UTF-8"),
        })
        env.pop("WINESERVER", None)
        if prefix_is_64bit():
            env["WINELOADER"] = WINE64_LOADER
        if extra:
            env.update(extra)
        return env

    def wine(self, args, timeout: float = 60, cwd=None) -> Result:
        """wine ARGS...: its exit code (the program's) and output."""
        return run_to_files(wine_command() + [str(a) for a in args], self.env(), timeout, cwd,
                             self.tmp)

    def run_exe(self, exe, args=(), timeout: float = 60, cwd=None) -> Result:
        return self.wine([exe, *args], timeout=timeout, cwd=cwd)

    def start(self, exe, args=(), cwd=None, env: Optional[dict] = None) -> subprocess.Popen:
        """Starts a program in the background (with `env` added to the session's environment).
        Its output goes to a file in tmp/, whose path the returned Popen carries as
        `output_path`."""
        log = tempfile.NamedTemporaryFile(dir=self.tmp, prefix=pathlib.Path(str(exe)).stem + "-",
                                          suffix=".log", delete=False)
        with log:
            proc = subprocess.Popen([*wine_command(), str(exe), *[str(a) for a in args]],
                                    env=self.env(env), cwd=cwd, stdin=subprocess.DEVNULL,
                                    stdout=log, stderr=log)
        proc.output_path = pathlib.Path(log.name)
        return proc

    # the automation tool

    def automate(self, *args, timeout: float = 60, check: bool = True) -> List[dict]:
        """Runs automate.exe; its answer lines as dicts. Raises AutomateError unless check is
        False (then the lines of a failed run are returned as far as there are any)."""
        args = [str(a) for a in args]
        result = self.wine([tool("tools/automate.exe"), *args], timeout=timeout)
        lines = [json.loads(line) for line in result.stdout.splitlines() if line.strip()]
        if check and result.code != 0:
            raise AutomateError(args, result.code, result.stderr, lines)
        return lines

    def automate_one(self, *args, timeout: float = 60) -> dict:
        lines = self.automate(*args, timeout=timeout)
        if len(lines) != 1:
            raise HarnessError(f"automate {args[0]}: expected one answer line, got {lines}")
        return lines[0]

    def processes(self, name: Optional[str] = None) -> List[dict]:
        return self.automate("processes", *(["--name", name] if name else []))

    def terminate(self, pid: int, code: int = 1) -> None:
        """Terminates a Windows process and waits until it has gone."""
        self.automate("kill", "--pid", pid, "--code", code)

    def wait_process_gone(self, pid: int, timeout: float = 10) -> None:
        wait_until(lambda: all(p["pid"] != pid for p in self.processes()), timeout,
                   f"process {pid} to end")

    def kill_all(self, exe_name: str) -> List[int]:
        return self.automate_one("kill", "--name", exe_name)["killed"]

    # files

    def program_folder(self, label: str = PROGRAM_FOLDER_NAME) -> pathlib.Path:
        """A fresh folder whose path has blanks and Chinese characters."""
        parent = self.state / "folders"
        parent.mkdir(exist_ok=True)
        return pathlib.Path(tempfile.mkdtemp(prefix=label + " ", dir=parent))

    def to_linux(self, windows_path: str) -> pathlib.Path:
        return to_linux_path(windows_path, self.prefix)

    # registry

    def reg_export(self, key: str) -> Optional[Dict[str, Dict[str, RegValue]]]:
        """The key and its subkeys as `reg export` writes them, or None when the key is
        absent. Data is compared through the export: `reg query` garbles non-ASCII text."""
        handle, path = tempfile.mkstemp(dir=self.tmp, suffix=".reg")
        os.close(handle)
        try:
            result = self.wine(["reg", "export", key, to_windows_path(path), "/y"])
            if result.code != 0:
                return None
            with open(path, "rb") as f:
                data = f.read()
        finally:
            os.unlink(path)
        encoding = "utf-16" if data[:2] in (codecs.BOM_UTF16_LE, codecs.BOM_UTF16_BE) else "utf-8"
        return parse_reg_export(data.decode(encoding))

    def reg_value(self, key: str, name: str = "") -> Optional[RegValue]:
        """One value of one key ('' = the default value), or None when either is absent."""
        exported = self.reg_export(key) or {}
        for path, values in exported.items():
            if same_key(path, key):
                return values.get(name)
        return None

    def reg_raw(self, key: str, name: str = "") -> Optional[dict]:
        """A value byte for byte ({"type", "size", "hex", ...}), or None when it is absent.
        Unlike an export it tells whether a string ends in a zero."""
        value = self.automate_one("reg-value", "--key", key, "--name", name)
        return value if value["exists"] else None

    def reg_set_raw(self, key: str, name: str, type_number: int, data: bytes) -> None:
        """Stores exactly `data`; reg add and reg import would append a terminating zero."""
        self.automate("reg-set", "--key", key, "--name", name, "--type", type_number,
                      "--hex", data.hex())

    def reg_import(self, keys: Dict[str, Dict[str, str]]) -> None:
        """Writes keys and values given as reg_file_text takes them."""
        handle, path = tempfile.mkstemp(dir=self.tmp, suffix=".reg")
        with os.fdopen(handle, "wb") as f:
            f.write(codecs.BOM_UTF16_LE + reg_file_text(keys).encode("utf-16-le"))
        try:
            result = self.wine(["reg", "import", to_windows_path(path)])
            if result.code != 0:
                raise HarnessError(f"reg import failed: {result.stderr}")
        finally:
            os.unlink(path)

    def reg_set(self, key: str, name: str, type_name: str, data: str) -> None:
        """reg add KEY /v NAME /t TYPE /d DATA (name '' = the default value)."""
        target = ["/ve"] if name == "" else ["/v", name]
        result = self.wine(["reg", "add", key, *target, "/t", type_name, "/d", data, "/f"])
        if result.code != 0:
            raise HarnessError(f"reg add {key} failed: {result.stderr}")

    def reg_delete(self, key: str, name: Optional[str] = None) -> None:
        """Deletes a value (or, without a name, the whole key); absent is fine."""
        target = [] if name is None else (["/ve"] if name == "" else ["/v", name])
        self.wine(["reg", "delete", key, *target, "/f"])

    def restart_wine(self) -> None:
        """Ends every program of the prefix and the Wine server, then starts them again: what
        Wine reads once per server, the display resolution among it, then takes effect."""
        display_prefix.restart_wine(self)

    # the screen

    def screenshot(self, path) -> pathlib.Path:
        path = pathlib.Path(path)
        result = run_to_files(["import", "-display", self.display, "-window", "root", str(path)],
                               None, 30)
        if result.code != 0:
            raise HarnessError(f"screenshot failed: {result.stderr}")
        return path

    def pixel(self, image, x: int, y: int):
        """(red, green, blue) of one pixel of a screenshot."""
        result = run_to_files(["convert", str(image), "-crop", f"1x1+{x}+{y}", "-depth", "8",
                                "-format", "%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]",
                                "info:"], None, 30)
        if result.code != 0:
            raise HarnessError(f"pixel read failed: {result.stderr}")
        return tuple(int(v) for v in result.stdout.strip().split(","))


# --- setup and teardown ----------------------------------------------------------------------

def _session_path() -> pathlib.Path:
    return state_dir() / SESSION_FILE


def _load_info() -> Optional[dict]:
    try:
        return json.loads(_session_path().read_text())
    except (OSError, ValueError):
        return None


def _remove_inside(state: pathlib.Path, name: str) -> None:
    path = state / name
    if path.exists():
        shutil.rmtree(path)


def setup(keep_prefix: bool = False) -> Session:
    """A fresh session; with keep_prefix, the prefix a former setup made is used again (the
    emulated test machine keeps one ready in its image)."""
    state = state_dir()
    if _load_info():
        teardown()
    for name in ("folders", "tmp") if keep_prefix else ("prefix", "home", "folders", "tmp"):
        _remove_inside(state, name)
    display, xvfb_pid = display_prefix.start_xvfb(state)
    info = {"state": str(state), "display": display, "xvfb_pid": xvfb_pid,
            "prefix": str(state / "prefix"), "home": str(state / "home")}
    session = Session(info)
    session.home.mkdir(parents=True, exist_ok=True)
    # Written now so that teardown finds Xvfb even when the prefix fails.
    _session_path().write_text(json.dumps(info, indent=2))
    started = time.monotonic()
    display_prefix.create_prefix(session)
    print(f"e2e session: display {display}, prefix {session.prefix} "
          f"(ready in {time.monotonic() - started:.1f} s)")
    return session


def teardown() -> None:
    info = _load_info()
    if not info:
        print("e2e session: nothing to tear down")
        return
    session = Session(info)
    display_prefix.stop_wine(session)
    display_prefix.stop_xvfb(session.xvfb_pid)
    _session_path().unlink(missing_ok=True)
    print(f"e2e session: stopped display {session.display}")


_current: Optional[Session] = None


def session() -> Session:
    """The session that setup prepared. A test script started by hand, without CTest's setup
    step, gets a session of its own that ends with the script."""
    global _current
    if _current is None:
        info = _load_info()
        if info and pid_alive(info["xvfb_pid"]) and pathlib.Path(info["prefix"]).is_dir():
            _current = Session(info)
        else:
            _current = setup()
            atexit.register(teardown)
    return _current


def main(argv: List[str]) -> int:
    command = argv[1] if len(argv) > 1 else ""
    try:
        if command == "setup":
            setup(keep_prefix="--keep-prefix" in argv)
        elif command == "teardown":
            teardown()
        elif command == "env":
            env = session().env()
            for name in ("WINEPREFIX", "WINEARCH", "WINEDEBUG", "WINEDLLOVERRIDES", "DISPLAY",
                         "HOME", "LANG", "LC_ALL"):
                print(f"export {name}='{env[name]}'")
        else:
            print(__doc__, file=sys.stderr)
            return 2
    except HarnessError as error:
        print(f"harness: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
