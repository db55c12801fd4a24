"""Where the tests' things are and how commands run: the programs of the Windows build tree,
the Wine loader that runs them, Windows and Linux paths, and runs and waits that are bounded in
time."""

import functools
import os
import pathlib
import subprocess
import sys
import tempfile
import time
from typing import List, NamedTuple, Optional

# An x86_64 tree (built where the kernel runs no 32-bit programs) runs under wine64 in a 64-bit
# prefix; the `wine` front end would always pick the 32-bit loader while it is installed.
WINE64_LOADER = "/usr/lib/wine/wine64"
SKIP = 77  # exit code that CTest reports as "skipped" (SKIP_RETURN_CODE)


class HarnessError(Exception):
    pass


class Result(NamedTuple):
    code: int
    stdout: str
    stderr: str


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


def prefix_is_64bit() -> bool:
    """Whether the prefix is a 64-bit Windows: as the tree's programs by default;
    OMBRIX_E2E_WINEARCH=win64 runs a 32-bit tree on one (WoW64)."""
    arch = os.environ.get("OMBRIX_E2E_WINEARCH")
    return arch == "win64" if arch else tree_is_64bit()


def wine_command() -> List[str]:
    return [WINE64_LOADER] if prefix_is_64bit() else ["wine"]


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

def run_to_files(cmd, env, timeout, cwd=None, tmp_dir=None) -> Result:
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


def spawn_detached(cmd, env, log_path, **kwargs) -> subprocess.Popen:
    """A long-lived helper (Xvfb, wineserver) in its own session, writing to a log file."""
    with open(log_path, "ab") as log:
        return subprocess.Popen(cmd, env=env, stdin=subprocess.DEVNULL, stdout=log, stderr=log,
                                start_new_session=True, **kwargs)


def pid_alive(pid: int) -> bool:
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


def cmdline(pid: int) -> List[str]:
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
