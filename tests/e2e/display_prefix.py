"""The display and the Wine prefix the tests run in: Xvfb, the prefix and its settings, the
persistent wineserver and the program that keeps the desktop open. The functions take the
session (harness.Session) they act for."""

import os
import pathlib
import select
import signal
import sys
import time
from typing import Dict

from reg_files import reg_multi_sz, reg_string
from wine_run import (HarnessError, cmdline, pid_alive, run_to_files, spawn_detached, tool,
                      wait_until, wine_command)

# Large enough for the main window at 192 dpi (680 x 200 at 422, 436).
SCREEN = "1280x1024x24"
# The emulated test machine needs longer (OMBRIX_E2E_PREFIX_TIMEOUT).
PREFIX_TIMEOUT = int(os.environ.get("OMBRIX_E2E_PREFIX_TIMEOUT", "240"))
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
# menu entries into the user's home. Wine starts its crash debugger for a crashed program whatever
# error mode its starter set, and the program ends only when the debugger has written its
# backtrace (about 10 s in the emulated machine): without one it ends at once with the
# exception's status, as on Windows when the starter asked for no error box.
DLL_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe,winedbg.exe=d"


# --- X display -------------------------------------------------------------------------------

def start_xvfb(state: pathlib.Path):
    """Xvfb picks a free display itself and writes its number to the pipe (-displayfd)."""
    read_end, write_end = os.pipe()
    try:
        proc = spawn_detached(["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN,
                               "-nolisten", "tcp"], None, state / "xvfb.log",
                              pass_fds=(write_end,))
    finally:
        os.close(write_end)
    try:
        number = b""
        # Generous: its first start in the emulated test machine takes many seconds.
        deadline = time.monotonic() + 60
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


def stop_xvfb(pid: int) -> None:
    """Only our own Xvfb: the pid must still belong to an Xvfb process."""
    if pid_alive(pid) and cmdline(pid)[:1] and os.path.basename(cmdline(pid)[0]) == "Xvfb":
        os.kill(pid, signal.SIGTERM)
        try:
            wait_until(lambda: not pid_alive(pid), 10, "Xvfb to end")
        except HarnessError:
            os.kill(pid, signal.SIGKILL)


# --- the prefix and its server ---------------------------------------------------------------

def prefix_settings() -> Dict[str, Dict[str, str]]:
    link = reg_multi_sz(f"{CJK_FONT_FILE},{CJK_FONT_FACE}")
    nt = r"HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion"
    return {
        r"HKEY_CURRENT_USER\Software\Wine\WineDbg": {"ShowCrashDialog": "dword:00000000"},
        # Without a window manager Wine then draws title bars itself, so screenshots show them.
        r"HKEY_CURRENT_USER\Software\Wine\X11 Driver": {"Managed": reg_string("N")},
        r"HKEY_CURRENT_USER\Software\Wine\DllOverrides": {
            "winemenubuilder.exe": reg_string(""), "winedbg.exe": reg_string(""),
            "mscoree": reg_string(""),
            "mshtml": reg_string("")},
        nt + r"\FontLink\SystemLink": {face: link for face in LINKED_FACES},
        nt + r"\FontSubstitutes": {face: reg_string(CJK_FONT_FACE) for face in SUBSTITUTED_FACES},
    }


def create_prefix(session) -> None:
    """A prefix with the settings above (made fresh unless one is there), its server started
    and its desktop kept."""
    made = (session.prefix / "system.reg").is_file()
    session.prefix.mkdir(exist_ok=made)
    # A persistent wineserver keeps the Wine system processes alive between the tests' runs,
    # so that each later start of a program takes a fraction of a second.
    spawn_detached(["wineserver", "-p"], session.env(), session.state / "wineserver.log")
    if not made:
        result = run_to_files([*wine_command(), "wineboot", "-i"], session.env(),
                              PREFIX_TIMEOUT, tmp_dir=session.tmp)
        if result.code != 0:
            raise HarnessError(f"wineboot -i failed ({result.code}): {result.stderr}")
    session.reg_import(prefix_settings())
    keep_desktop(session)


def keep_desktop(session) -> None:
    """Wine closes the desktop a moment after the last program with windows has ended, and a
    program started in that moment waits seconds (up to ten measured) for a new one. One idle
    program attached to the desktop for the whole session (wineserver -k ends it) avoids that."""
    automate = tool("tools/automate.exe") if os.environ.get("OMBRIX_WIN_BUILD_DIR") else None
    if automate is None or not automate.is_file():
        print("e2e session: automate.exe not built; programs may start slowly", file=sys.stderr)
        return
    spawn_detached([*wine_command(), str(automate), "idle", "--timeout",
                    str(SESSION_HOURS * 3600000)],
                   session.env(), session.state / "desktop-keeper.log")


def restart_wine(session) -> None:
    """Ends every program of the prefix and the Wine server, then starts the server and the
    desktop keeper again."""
    run_to_files(["wineserver", "-k"], session.env(), 30, tmp_dir=session.tmp)
    run_to_files(["wineserver", "-w"], session.env(), 30, tmp_dir=session.tmp)
    spawn_detached(["wineserver", "-p"], session.env(), session.state / "wineserver.log")
    keep_desktop(session)


def stop_wine(session) -> None:
    """Ends the prefix's server and every program in it."""
    if session.prefix.exists():
        try:
            run_to_files(["wineserver", "-k"], session.env(), 30, tmp_dir=session.tmp)
        except HarnessError as error:
            print(f"wineserver -k: {error}", file=sys.stderr)
