"""Driving one Update.exe run under Wine for the download and install tests: a program folder
with the updater (and the old product), the local update server on the port the build's update
URL names, the main window's controls, message boxes, and a clean-up that ends every process
the test left behind, by id."""

import contextlib
import pathlib
import shutil
import subprocess
import time
import unittest
from typing import List, NamedTuple, Optional, Tuple

import build_info
import design
import harness
from http_server import TestServer

FORM1, FORM2 = design.FORM1, design.FORM2
ORIGIN, SIZE = (FORM1.x, FORM1.y), (FORM1.width, FORM1.height)
MAIN_WINDOW = ["--caption", FORM1.caption, "--size", FORM1.size_arg()]
INSTALL_WINDOW = ["--caption", FORM2.caption, "--size", FORM2.size_arg()]
# Control IDs of the main window.
_ids = design.FORM1_CONTROLS
COMMAND2, TEXT1, TEXT2, PICTURE1, PROGRESS_BAR1 = (
    _ids[n] for n in ("Command2", "Text1", "Text2", "Picture1", "ProgressBar1"))
LABEL1, LABEL2, LABEL3, LABEL4, LABEL5, LABEL7 = (
    _ids[n] for n in ("Label1", "Label2", "Label3", "Label4", "Label5", "Label7"))
IMAGE1, CLOSENOR, CLOSEDOWN, CLOSEMOVE, CLOSE1 = (
    _ids[n] for n in ("Image1", "closenor", "closedown", "closemove", "close1"))
# Designed places (x, y, width, height) within the window.
PLACES = {
    PICTURE1: (0, 0, 345, 113),
    IMAGE1: (8, 8, 16, 16),
    LABEL4: (32, 8, 137, 17),
    CLOSE1: (312, 8, 24, 20),
    PROGRESS_BAR1: (16, 48, 305, 17),
    LABEL3: (16, 72, 305, 17),
}

NOTICE = "提示："
CONFIRM_TITLE = "提示"
CONFIRM_EXIT = "Ombrix正在升级中，你确定要退出升级程序？"
DOWNLOAD_COMPLETE = "文件已经下载完成！"
RECEIVING = "正在下载所需文件，请耐心等待 ......"
TRANSFER_ERROR = "与主机通讯时出现了错误"
RELAUNCH_QUESTION = "程序已经升级完成，现在是否运行Ombrix？"
NOT_A_PROGRAM = "下载的文件不是有效的程序文件，升级未完成！"
# The status line's texts for the transfer states before the end (1 to 10; 7 and 8 say the same).
PROGRESS_TEXTS = ["正在连接服务器", "成功连接到服务器", "正在与服务器连接", "已与服务器连接成功",
                  "正在向服务器发送请求", "发送请求已成功", RECEIVING, "正在解除与服务器的连接",
                  "文件下载完成..."]
# Those the transfer states put up before the body arrives.
STATE_TEXTS = PROGRESS_TEXTS[:7]

EXIT_INSTALLED, EXIT_FAILED, EXIT_ANOTHER_INSTANCE, EXIT_CANCELLED = 0, 1, 2, 3
DOWNLOAD_NAME = "ombrix"  # the update URL's last path segment
PRODUCT_NAME = "Ombrix.exe"
OLD_PRODUCT, NEW_PRODUCT = "tools/product-old/Ombrix.exe", "tools/product-new/Ombrix.exe"


class LogLine(NamedTuple):
    version: str
    pid: int
    program: str
    tail: str


def product_log(folder: pathlib.Path) -> List[LogLine]:
    """The fake products' start lines in product.log beside them."""
    log = folder / "product.log"
    if not log.exists():
        return []
    lines = []
    for raw in log.read_text(encoding="utf-8").splitlines():
        version, pid, program, tail = (raw.split("\t", 3) + ["", "", ""])[:4]
        lines.append(LogLine(version, int(pid), program, tail))
    return lines


def start_product_in(session: harness.Session, folder: pathlib.Path):
    """Starts the folder's product; its wine process and, once it has logged its start, its
    Windows process id."""
    proc = session.start(folder / PRODUCT_NAME)
    pid = harness.wait_until(lambda: product_log(folder), 20, "the old product to start")[0].pid
    return proc, pid


def product_running(session: harness.Session, pid: int) -> bool:
    return any(p["pid"] == pid for p in session.processes(PRODUCT_NAME))


class UpdateRun:
    """One started Update.exe: the wine process and, once shown, its main window (whose client
    size grows with the display's resolution). Screenshots, if asked for, go to SHOTS."""

    def __init__(self, session: harness.Session, folder: pathlib.Path, size=SIZE,
                 shots: Optional[pathlib.Path] = None):
        self.s = session
        self.folder = folder
        self.size = size
        self.shots = shots
        self.window_args = ["--caption", FORM1.caption, "--size", f"{size[0]}x{size[1]}"]
        self.proc: subprocess.Popen = session.start(folder / "Update.exe")
        self.window: Optional[dict] = None
        self.pid: Optional[int] = None

    def wait_window(self, timeout_ms: int = 15000) -> dict:
        self.window = self.s.automate_one("wait-window", *self.window_args, "--visible",
                                          "--timeout", timeout_ms)
        self.pid = self.window["pid"]
        return self.window

    def main(self) -> List[str]:
        """The options that name this run's main window."""
        return ["--hwnd", self.window["hwnd"]] if self.window else self.window_args

    # what the window shows

    def text(self, control: int = LABEL3) -> str:
        return self.s.automate_one("text", *self.main(), "--id", control)["text"]

    def status(self) -> str:
        return self.text(LABEL3)

    def wait_status(self, text: str, timeout_ms: int = 15000) -> None:
        self.s.automate("wait-text", *self.main(), "--id", LABEL3, "--equals", text,
                        "--timeout", timeout_ms)

    def text2(self) -> str:
        return self.text(TEXT2)

    def progress(self) -> dict:
        return self.s.automate_one("progress", *self.main(), "--id", PROGRESS_BAR1)

    def rect(self, control: Optional[int] = None) -> dict:
        args = ("--id", control) if control else ()
        return self.s.automate_one("rect", *self.main(), *args)["rect"]

    def origin(self) -> Tuple[int, int]:
        rect = self.rect()
        return rect["left"], rect["top"]

    def screen_point(self, control: int, dx: int, dy: int) -> Tuple[int, int]:
        """A point of the screen at DX, DY within a control's designed place."""
        x, y = self.origin()
        place = PLACES[control]
        return x + place[0] + dx, y + place[1] + dy

    def children(self) -> dict:
        return {c["id"]: c for c in self.s.automate("children", *self.main())}

    def focus_id(self) -> Optional[int]:
        focus = self.s.automate_one("focus", *self.main())["focus"]
        return focus["id"] if focus else None

    def screenshot(self, name: str) -> pathlib.Path:
        """The whole screen, kept as NAME.png among the run's screenshots."""
        return self.s.screenshot(self.shots / f"{name}.png")

    # what it is told

    def keys(self, *names: str) -> None:
        self.s.automate("key", *self.main(), *names)

    def click_command2(self) -> None:
        self.s.automate("post-click", *self.main(), "--id", COMMAND2)

    def wait_progress(self, predicate, timeout: float = 15) -> dict:
        def reached():
            bar = self.progress()
            return bar if predicate(bar) else None
        return harness.wait_until(reached, timeout, "the progress bar", interval=0.05)

    def wait_for_body(self, minimum: int = 1) -> dict:
        """Waits until the chunk loop has written at least MINIMUM bytes (the bar counts bytes
        for a body of the test product's size); the progress bar then."""
        return self.wait_progress(lambda bar: bar["pos"] >= minimum, 20)

    def box(self, caption: Optional[str] = NOTICE, timeout_ms: int = 20000) -> dict:
        """The message box that is up; while the main window is on screen it must own it."""
        box = self.s.automate_one("msgbox", *(["--caption", caption] if caption else []),
                                  "--timeout", timeout_ms)
        if self.window is not None and box["owner"] != self.window["hwnd"]:
            raise AssertionError(
                f"box {box['text']!r} is owned by {box['owner']} "
                f"({box['owner_caption']!r}), not by the main window {self.window['hwnd']}")
        return box

    def answer(self, button: str) -> None:
        self.s.automate("click", "--button", button, "--timeout", 10000)

    # the process

    def running(self) -> bool:
        return self.proc.poll() is None

    def exit_code(self, timeout: float = 30) -> int:
        return harness.wait_popen(self.proc, timeout)

    def download_path(self) -> pathlib.Path:
        return self.folder / DOWNLOAD_NAME

    def end(self) -> None:
        """Ends the run if it still goes on."""
        if self.running() and self.pid is not None:
            if any(p["pid"] == self.pid for p in self.s.processes("Update.exe")):
                self.s.terminate(self.pid)
        harness.wait_popen(self.proc, 15)


class UpdateTestCase(unittest.TestCase):
    """Shared set-up: the session, the bodies the server offers, fresh program folders."""

    @classmethod
    def setUpClass(cls):
        harness.require_programs("apps/Update.exe", "tools/automate.exe", OLD_PRODUCT, NEW_PRODUCT)
        cls.s = harness.session()
        cls.port = build_info.update_port()
        cls.old_product = harness.tool(OLD_PRODUCT).read_bytes()
        cls.new_product_file = harness.tool(NEW_PRODUCT)
        cls.new_product = cls.new_product_file.read_bytes()

    def setUp(self):
        self.folders: List[pathlib.Path] = []
        self.extra_pids: List[int] = []
        self.runs: List[UpdateRun] = []
        self.addCleanup(self.end_leftovers)

    @contextlib.contextmanager
    def case(self, name: str):
        """A subtest that leaves nothing running for the next one, whatever its outcome."""
        with self.subTest(name):
            try:
                yield
            finally:
                self.end_leftovers()

    def program_folder(self, product: bool = True, updater: bool = True) -> pathlib.Path:
        """A fresh folder (blanks and Chinese characters in its path) with Update.exe and the
        old product."""
        folder = self.s.program_folder()
        self.folders.append(folder)
        if updater:
            shutil.copy(harness.tool("apps/Update.exe"), folder / "Update.exe")
        if product:
            shutil.copy(harness.tool(OLD_PRODUCT), folder / PRODUCT_NAME)
        return folder

    def serve(self, mode: str = "normal", **options) -> TestServer:
        """The update server on the port of the build's update URL, offering the new product."""
        return TestServer(self.new_product_file, mode=mode, port=self.port,
                          log_dir=self.s.tmp, lifetime=60, **options)

    def start_update(self, folder: pathlib.Path, alone: bool = True) -> UpdateRun:
        # A main window left over from an earlier run would be taken for this run's.
        left = self.s.automate("windows", *MAIN_WINDOW, "--visible") if alone else []
        if left:
            raise harness.HarnessError(f"an updater window is still open: {left}")
        run = UpdateRun(self.s, folder)
        self.runs.append(run)
        return run

    def start_product(self, exe: pathlib.Path, as_name: Optional[str] = None,
                      args: str = "") -> int:
        """Starts the fake product (through another spelling of its name if asked, in the mode
        `args` names) and waits for its log line; its Windows process id."""
        folder = exe.parent
        before = len(product_log(folder))
        path = harness.to_windows_path(exe)
        if as_name:
            path = path[:path.rindex("\\") + 1] + as_name
        pid = self.s.automate_one("start", "--cmdline", f'"{path}" {args}'.strip())["pid"]
        harness.wait_until(lambda: len(product_log(folder)) > before, 15, f"{exe.name} to start")
        return pid

    def processes_in(self, folder: pathlib.Path, name: Optional[str] = None) -> List[int]:
        """Ids of the processes that run an executable of this folder."""
        root = harness.to_windows_path(folder).lower() + "\\"
        return [p["pid"] for p in self.s.processes(name)
                if (p["path"] or "").lower().startswith(root)]

    def running(self) -> set:
        return {p["pid"] for p in self.s.processes()}

    def end_leftovers(self) -> None:
        """Ends what the test started and left running: programs inside its folders and the
        helpers it named, each by its id, so that the next test starts clean."""
        pids = set(self.extra_pids)
        for folder in self.folders:
            pids.update(self.processes_in(folder))
        for pid in pids & self.running():
            self.s.automate("kill", "--pid", pid, check=False)
        for run in self.runs:
            harness.wait_popen(run.proc, 10)
        self.runs.clear()

    # checks shared by the tests

    def assert_download_folder_empty(self, folder: pathlib.Path) -> None:
        self.assertTrue((folder / "download").is_dir(), "no download folder")
        self.assertEqual(list((folder / "download").iterdir()), [])

    def assert_text2(self, run: UpdateRun) -> None:
        """Text2 holds the download target: the program folder and the URL's last segment."""
        self.assertEqual(run.text2(), harness.to_windows_path(run.folder) + "\\" + DOWNLOAD_NAME)

    def assert_failed_run(self, run: UpdateRun, message: Optional[str] = None) -> dict:
        """The run stops with a message (OK, information icon, title 提示：) and exit 1; the
        box as it was."""
        box = run.box()
        if message is not None:
            self.assertEqual(box["text"], message)
        self.assertTrue(box["icon"], "no information icon")
        self.assert_text2(run)
        self.assertEqual([b["name"] for b in box["buttons"]], ["ok"])
        run.answer("ok")
        self.assertEqual(run.exit_code(), EXIT_FAILED)
        return box

    def assert_product_untouched(self, folder: pathlib.Path) -> None:
        self.assertEqual((folder / PRODUCT_NAME).read_bytes(), self.old_product,
                         "the product executable changed")


def sample(run: UpdateRun, until, timeout: float = 20) -> List[tuple]:
    """(status, position, maximum) of the main window, as fast as they can be read, until
    until(status, bar) holds."""
    seen = []
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        status = run.status()
        bar = run.progress()
        seen.append((status, bar["pos"], bar["max"]))
        if until(status, bar):
            return seen
    raise harness.HarnessError(f"the run did not get there within {timeout} s; saw {seen[-5:]}")
