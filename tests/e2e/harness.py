#!/usr/bin/env python3
"""Shared machinery of the end-to-end tests: one Xvfb display and one Wine prefix per test run.

    python3 harness.py setup      start Xvfb, create and prepare a fresh prefix, write session.json
    python3 harness.py teardown   stop this session's wineserver and Xvfb, nothing else
    python3 harness.py env        print the session's environment as shell assignments

Everything lives in $OMBRIX_E2E_STATE (inside the build tree); the programs under test come from
the Windows build tree $OMBRIX_WIN_BUILD_DIR. Every wait here is bounded in time.
"""

import atexit
import codecs
import functools
import json
import os
import pathlib
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from typing import Dict, List, NamedTuple, Optional

SESSION_FILE = "session.json"
# Large enough for the main window at 192 dpi (680 x 200 at 422, 436).
SCREEN = "1280x1024x24"
PREFIX_TIMEOUT = 240
SESSION_HOURS = 12  # the longest a session's helpers live without a teardown
# The font that carries Simplified Chinese on this machine (fonts-wqy-microhei).
CJK_FONT_FILE = "wqy-microhei.ttc"
CJK_FONT_FACE = "WenQuanYi Micro Hei"
# Dialog and label faces the programs may ask for; each gets the CJK font as fallback.
LINKED_FACES = ["Tahoma", "MS Shell Dlg", "MS Shell Dlg 2", "Microsoft Sans Serif", "Segoe UI",
                "SimSun", "宋体", "Arial", "Arial Black", "MS Sans Serif", "Courier New",
                "Times New Roman"]
# Chinese faces that do not exist here are drawn with the CJK font outright.
SUBSTITUTED_FACES = ["SimSun", "宋体", "NSimSun", "新宋体", "SimHei", "黑体", "Microsoft YaHei",
                     "微软雅黑"]
# Mono and Gecko would ask to be installed; winemenubuilder would write file associations and
# menu entries into the user's home.
DLL_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"

PROGRAM_FOLDER_NAME = "Ombrix 程序 目录"
# An x86_64 tree (built where the kernel runs no 32-bit programs) runs under wine64 in a 64-bit
# prefix; the `wine` front end would always pick the 32-bit loader while it is installed.
WINE64_LOADER = "/usr/lib/wine/wine64"
SKIP = 77  # exit code that CTest reports as "skipped" (SKIP_RETURN_CODE)


class HarnessError(Exception):
    pass


class AutomateError(HarnessError):
    def __init__(self, args, code, stderr, lines):
        super().__init__(f"automate {' '.join(args)} failed with {code}: {stderr.strip()}")
        self.code = code
        self.stderr = stderr
        self.lines = lines


class Result(NamedTuple):
    code: int
    stdout: str
    stderr: str


class RegValue(NamedTuple):
    """A registry value as `reg export` writes it: type number and data (str for plain string
    values, int for DWORD values, bytes for everything written as hex). Wine's export drops the
    last character of a string stored without its terminating zero; Session.reg_raw shows the
    stored bytes themselves."""
    type: int
    data: object


REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ = 1, 2, 3, 4, 7


# --- locations -------------------------------------------------------------------------------

def _env_path(name: str) -> pathlib.Path:
    value = os.environ.get(name)
    if not value:
        raise HarnessError(f"${name} is not set")
    return pathlib.Path(value).resolve()


def state_dir() -> pathlib.Path:
    path = _env_path("OMBRIX_E2E_STATE")
    path.mkdir(parents=True, exist_ok=True)
    return path


def win_build_dir() -> pathlib.Path:
    return _env_path("OMBRIX_WIN_BUILD_DIR")


@functools.lru_cache(maxsize=None)
def tree_is_64bit() -> bool:
    """Whether the Windows tree under test holds x86_64 programs (machine field of automate.exe)."""
    try:
        with open(tool("tools/automate.exe"), "rb") as exe:
            header = exe.read(4096)
    except (OSError, HarnessError):
        return False
    pe = int.from_bytes(header[0x3C:0x40], "little")
    return header[pe + 4:pe + 6] == b"\x64\x86"


def wine_command() -> List[str]:
    return [WINE64_LOADER] if tree_is_64bit() else ["wine"]


def tool(relative: str) -> pathlib.Path:
    """A program of the Windows build tree, e.g. tool('tools/automate.exe')."""
    return win_build_dir() / relative


def require_programs(*relatives: str) -> None:
    """Ends the test as skipped when a program under test has not been built yet."""
    missing = [r for r in relatives if not tool(r).is_file()]
    if missing:
        print(f"skipped: not built yet: {', '.join(missing)}", file=sys.stderr)
        sys.exit(SKIP)


def to_windows_path(path) -> str:
    """Wine's drive Z: is the Linux root."""
    return "Z:" + str(pathlib.Path(path).resolve()).replace("/", "\\")


def to_linux_path(windows_path: str, prefix: Optional[pathlib.Path] = None) -> pathlib.Path:
    drive, rest = windows_path[:2].upper(), windows_path[2:].replace("\\", "/")
    if drive == "Z:":
        return pathlib.Path(rest or "/")
    if drive == "C:" and prefix is not None:
        return prefix / "drive_c" / rest.lstrip("/")
    raise HarnessError(f"no Linux path for {windows_path}")


# --- processes -------------------------------------------------------------------------------

def _run_to_files(cmd, env, timeout, cwd=None, tmp_dir=None) -> Result:
    """Runs a command with its output in files, never pipes: wineserver and the Wine system
    processes that a command may start inherit its output handles and outlive it, and a pipe
    would then never reach its end."""
    with tempfile.TemporaryFile(dir=tmp_dir) as out, tempfile.TemporaryFile(dir=tmp_dir) as err:
        proc = subprocess.Popen(cmd, env=env, cwd=cwd, stdin=subprocess.DEVNULL, stdout=out,
                                stderr=err)
        try:
            code = proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait(timeout=10)
            raise HarnessError(f"{cmd[:3]} did not end within {timeout} s")
        out.seek(0)
        err.seek(0)
        return Result(code, out.read().decode("utf-8", "replace"),
                      err.read().decode("utf-8", "replace"))


def _spawn_detached(cmd, env, log_path, **kwargs) -> subprocess.Popen:
    """A long-lived helper (Xvfb, wineserver) in its own session, writing to a log file."""
    with open(log_path, "ab") as log:
        return subprocess.Popen(cmd, env=env, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                start_new_session=True, **kwargs)


def _pid_alive(pid: int) -> bool:
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    # A child that ended but was not yet reaped is gone for our purposes.
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().split(")")[-1].split()[0] != "Z"
    except OSError:
        return False


def _cmdline(pid: int) -> List[str]:
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return [a.decode("utf-8", "replace") for a in f.read().split(b"\0") if a]
    except OSError:
        return []


def wait_popen(proc: subprocess.Popen, timeout: float) -> int:
    """Waits for a process started with Session.start; its exit code, or HarnessError."""
    try:
        return proc.wait(timeout=timeout)
    except subprocess.TimeoutExpired:
        raise HarnessError(f"process {proc.args[:3]} still runs after {timeout} s")


def wait_until(predicate, timeout: float, what: str, interval: float = 0.1):
    """Polls until predicate() returns something true; that value, or HarnessError."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise HarnessError(f"timed out after {timeout} s waiting for {what}")
        time.sleep(interval)


# --- X display -------------------------------------------------------------------------------

def _start_xvfb(state: pathlib.Path):
    """Xvfb picks a free display itself and writes its number to the pipe (-displayfd)."""
    read_end, write_end = os.pipe()
    try:
        proc = _spawn_detached(["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN,
                                "-nolisten", "tcp"], None, state / "xvfb.log",
                               pass_fds=(write_end,))
    finally:
        os.close(write_end)
    try:
        number = b""
        deadline = time.monotonic() + 20
        while not number.endswith(b"\n"):
            remaining = deadline - time.monotonic()
            ready, _, _ = select.select([read_end], [], [], max(remaining, 0))
            chunk = os.read(read_end, 16) if ready else b""
            if not chunk:
                proc.kill()
                raise HarnessError(f"Xvfb gave no display number; see {state / 'xvfb.log'}")
            number += chunk
    finally:
        os.close(read_end)
    return ":" + number.decode().strip(), proc.pid


# --- registry files --------------------------------------------------------------------------

def _reg_string(text: str) -> str:
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def _reg_hex(type_number: int, data: bytes) -> str:
    return f"hex({type_number:x}):" + ",".join(f"{b:02x}" for b in data)


def reg_multi_sz(*items: str) -> str:
    return _reg_hex(REG_MULTI_SZ, ("\0".join(items) + "\0\0").encode("utf-16-le"))


def reg_file_text(keys: Dict[str, Dict[str, str]]) -> str:
    """A .reg file; values are given already rendered (see _reg_string, reg_multi_sz)."""
    lines = ["Windows Registry Editor Version 5.00", ""]
    for key, values in keys.items():
        lines.append(f"[{key}]")
        for name, rendered in values.items():
            lines.append(("@" if name == "" else _reg_string(name)) + "=" + rendered)
        lines.append("")
    return "\r\n".join(lines) + "\r\n"


def _prefix_settings() -> Dict[str, Dict[str, str]]:
    link = reg_multi_sz(f"{CJK_FONT_FILE},{CJK_FONT_FACE}")
    nt = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion"
    return {
        r"HKEY_CURRENT_USER\Software\Wine\WineDbg": {"ShowCrashDialog": "dword:00000000"},
        # Without a window manager Wine then draws title bars itself, so screenshots show them.
        r"HKEY_CURRENT_USER\Software\Wine\X11 Driver": {"Managed": _reg_string("N")},
        r"HKEY_CURRENT_USER\Software\Wine\DllOverrides": {
            "winemenubuilder.exe": _reg_string(""), "mscoree": _reg_string(""),
            "mshtml": _reg_string("")},
        nt + r"\FontLink\SystemLink": {face: link for face in LINKED_FACES},
        nt + r"\FontSubstitutes": {face: _reg_string(CJK_FONT_FACE) for face in SUBSTITUTED_FACES},
    }


def parse_reg_export(text: str) -> Dict[str, Dict[str, RegValue]]:
    """Parses `reg export` output: {key path: {value name ('' = default): RegValue}}."""
    keys: Dict[str, Dict[str, RegValue]] = {}
    current = None
    logical = []
    for raw in text.splitlines():
        # A value written as hex continues on the next line after a trailing backslash (a
        # string value always ends in its closing quote).
        if logical and logical[-1].endswith("\\"):
            logical[-1] = logical[-1][:-1] + raw.strip()
        else:
            logical.append(raw)
    for line in logical:
        if line.startswith("[") and line.rstrip().endswith("]"):
            current = keys.setdefault(line.strip()[1:-1], {})
            continue
        if current is None or not line or line.startswith(("Windows Registry", ";")):
            continue
        name, rest = _split_value_name(line)
        current[name] = _parse_value_data(rest)
    return keys


def _read_quoted(text: str, start: int):
    """The string that starts at text[start] == '"', unescaped, and the index after it."""
    out, i = [], start + 1
    while text[i] != '"':
        if text[i] == "\\":
            i += 1
        out.append(text[i])
        i += 1
    return "".join(out), i + 1


def _split_value_name(line: str):
    if line.startswith("@="):
        return "", line[2:]
    name, end = _read_quoted(line, 0)
    if line[end] != "=":
        raise HarnessError(f"unexpected registry line: {line}")
    return name, line[end + 1:]


def _parse_value_data(rest: str) -> RegValue:
    if rest.startswith('"'):
        return RegValue(REG_SZ, _read_quoted(rest, 0)[0])
    if rest.startswith("dword:"):
        return RegValue(REG_DWORD, int(rest[6:], 16))
    if rest.startswith("hex:"):
        return RegValue(REG_BINARY, _hex_bytes(rest[4:]))
    if rest.startswith("hex("):
        close = rest.index(")")
        return RegValue(int(rest[4:close], 16), _hex_bytes(rest[close + 2:]))
    raise HarnessError(f"unexpected registry data: {rest}")


def _hex_bytes(text: str) -> bytes:
    return bytes(int(b, 16) for b in text.replace(" ", "").split(",") if b)


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
            "WINEARCH": "win64" if tree_is_64bit() else "win32",
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
        if tree_is_64bit():
            env["WINELOADER"] = WINE64_LOADER
        if extra:
            env.update(extra)
        return env

    def wine(self, args, timeout: float = 60, cwd=None) -> Result:
        """wine ARGS...: its exit code (the program's) and output."""
        return _run_to_files(wine_command() + [str(a) for a in args], self.env(), timeout, cwd,
                             self.tmp)

    def run_exe(self, exe, args=(), timeout: float = 60, cwd=None) -> Result:
        return self.wine([exe, *args], timeout=timeout, cwd=cwd)

    def start(self, exe, args=(), cwd=None) -> subprocess.Popen:
        """Starts a program in the background. Its output goes to a file in tmp/, whose path
        the returned Popen carries as `output_path`."""
        log = tempfile.NamedTemporaryFile(dir=self.tmp, prefix=pathlib.Path(str(exe)).stem + "-",
                                          suffix=".log", delete=False)
        with log:
            proc = subprocess.Popen([*wine_command(), str(exe), *[str(a) for a in args]], env=self.env(),
                                    cwd=cwd, stdin=subprocess.DEVNULL, stdout=log, stderr=log)
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
            if _same_key(path, key):
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
        """Ends every program of the prefix and the Wine server, then starts the server and the
        desktop keeper again: what Wine reads once per server, the display resolution among it,
        then takes effect."""
        _run_to_files(["wineserver", "-k"], self.env(), 30, tmp_dir=self.tmp)
        _run_to_files(["wineserver", "-w"], self.env(), 30, tmp_dir=self.tmp)
        _spawn_detached(["wineserver", "-p"], self.env(), self.state / "wineserver.log")
        _keep_desktop(self)

    # the screen

    def screenshot(self, path) -> pathlib.Path:
        path = pathlib.Path(path)
        result = _run_to_files(["import", "-display", self.display, "-window", "root", str(path)],
                               None, 30)
        if result.code != 0:
            raise HarnessError(f"screenshot failed: {result.stderr}")
        return path

    def pixel(self, image, x: int, y: int):
        """(red, green, blue) of one pixel of a screenshot."""
        result = _run_to_files(["convert", str(image), "-crop", f"1x1+{x}+{y}", "-depth", "8",
                                "-format", "%[fx:int(255*r)],%[fx:int(255*g)],%[fx:int(255*b)]",
                                "info:"], None, 30)
        if result.code != 0:
            raise HarnessError(f"pixel read failed: {result.stderr}")
        return tuple(int(v) for v in result.stdout.strip().split(","))


def _same_key(a: str, b: str) -> bool:
    roots = {"HKCR": "HKEY_CLASSES_ROOT", "HKCU": "HKEY_CURRENT_USER",
             "HKLM": "HKEY_LOCAL_MACHINE", "HKU": "HKEY_USERS"}

    def norm(key):
        head, _, tail = key.strip("\\").partition("\\")
        return (roots.get(head.upper(), head.upper()) + "\\" + tail).rstrip("\\").lower()
    return norm(a) == norm(b)


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


def setup() -> Session:
    state = state_dir()
    if _load_info():
        teardown()
    for name in ("prefix", "home", "folders", "tmp"):
        _remove_inside(state, name)
    display, xvfb_pid = _start_xvfb(state)
    info = {"state": str(state), "display": display, "xvfb_pid": xvfb_pid,
            "prefix": str(state / "prefix"), "home": str(state / "home")}
    session = Session(info)
    session.home.mkdir(parents=True, exist_ok=True)
    # Written now so that teardown finds Xvfb even when the prefix fails.
    _session_path().write_text(json.dumps(info, indent=2))
    started = time.monotonic()
    session.prefix.mkdir()
    # A persistent wineserver keeps the Wine system processes alive between the tests' runs,
    # so that each later start of a program takes a fraction of a second.
    _spawn_detached(["wineserver", "-p"], session.env(), state / "wineserver.log")
    result = _run_to_files([*wine_command(), "wineboot", "-i"], session.env(), PREFIX_TIMEOUT, tmp_dir=session.tmp)
    if result.code != 0:
        raise HarnessError(f"wineboot -i failed ({result.code}): {result.stderr}")
    session.reg_import(_prefix_settings())
    _keep_desktop(session)
    print(f"e2e session: display {display}, prefix {session.prefix} "
          f"(ready in {time.monotonic() - started:.1f} s)")
    return session


def _keep_desktop(session: Session) -> None:
    """Wine closes the desktop a moment after the last program with windows has ended, and a
    program started in that moment waits seconds (up to ten measured) for a new one. One idle
    program attached to the desktop for the whole session (wineserver -k ends it) avoids that."""
    automate = tool("tools/automate.exe") if os.environ.get("OMBRIX_WIN_BUILD_DIR") else None
    if automate is None or not automate.is_file():
        print("e2e session: automate.exe not built; programs may start slowly", file=sys.stderr)
        return
    _spawn_detached([*wine_command(), str(automate), "idle", "--timeout", str(SESSION_HOURS * 3600000)],
                    session.env(), session.state / "desktop-keeper.log")


def teardown() -> None:
    info = _load_info()
    if not info:
        print("e2e session: nothing to tear down")
        return
    session = Session(info)
    if session.prefix.exists():
        try:
            _run_to_files(["wineserver", "-k"], session.env(), 30, tmp_dir=session.tmp)
        except HarnessError as error:
            print(f"wineserver -k: {error}", file=sys.stderr)
    pid = session.xvfb_pid
    # Only our own Xvfb: the pid must still belong to an Xvfb process.
    if _pid_alive(pid) and _cmdline(pid)[:1] and os.path.basename(_cmdline(pid)[0]) == "Xvfb":
        os.kill(pid, signal.SIGTERM)
        try:
            wait_until(lambda: not _pid_alive(pid), 10, "Xvfb to end")
        except HarnessError:
            os.kill(pid, signal.SIGKILL)
    _session_path().unlink(missing_ok=True)
    print(f"e2e session: stopped display {session.display}")


_current: Optional[Session] = None


def session() -> Session:
    """The session that setup prepared. A test script started by hand, without CTest's setup
    step, gets a session of its own that ends with the script."""
    global _current
    if _current is None:
        info = _load_info()
        if info and _pid_alive(info["xvfb_pid"]) and pathlib.Path(info["prefix"]).is_dir():
            _current = Session(info)
        else:
            _current = setup()
            atexit.register(teardown)
    return _current


def main(argv: List[str]) -> int:
    command = argv[1] if len(argv) > 1 else ""
    try:
        if command == "setup":
            setup()
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
