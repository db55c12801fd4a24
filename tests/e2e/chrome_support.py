"""Support for the tests of Update.exe's window and chrome: screenshots read as pixels, the skin
pictures they are compared with, real mouse input through xdotool, and one update run against
the local server from a fresh program folder."""

import os
import pathlib
import shutil
import subprocess
import time
from typing import List, Optional, Tuple

import build_info
import harness
from http_server import TestServer

CAPTION = "Tarnell升级程序"
WINDOW = ("--caption", CAPTION, "--size", "340x100")
ORIGIN = (211, 218)
SIZE = (340, 100)

# Control IDs and designed places (x, y, width, height) within the window.
PICTURE1, PROGRESS_BAR1, LABEL3, LABEL4, IMAGE1, CLOSE1 = 1005, 1006, 1015, 1010, 1009, 1014
COMMAND2, TEXT1, TEXT2, LABEL1, LABEL2, LABEL5, LABEL7 = 1002, 1004, 1003, 1017, 1016, 1008, 1007
CLOSENOR, CLOSEDOWN, CLOSEMOVE = 1011, 1012, 1013
PLACES = {
    PICTURE1: (0, 0, 345, 113),
    IMAGE1: (8, 8, 16, 16),
    LABEL4: (32, 8, 137, 17),
    CLOSE1: (312, 8, 24, 20),
    PROGRESS_BAR1: (16, 48, 305, 17),
    LABEL3: (16, 72, 305, 17),
}

DOWNLOADING = "正在下载所需文件，请耐心等待 ......"
# Every status text that the transfer states put up before the body arrives.
STATE_TEXTS = ["正在连接服务器", "成功连接到服务器", "正在与服务器连接", "已与服务器连接成功",
               "正在向服务器发送请求", "发送请求已成功", DOWNLOADING]
CONFIRM_EXIT = "Ombrix正在升级中，你确定要退出升级程序？"
CONFIRM_TITLE = "提示"
DOWNLOAD_NAME = "ombrix"

# A body that keeps arriving for about half a minute, so the window stays while it is handled.
SLOW_DRIP = {"mode": "drip", "drip_bytes": 512, "drip_interval": 0.05}
# A body of which the first part arrives and the rest never does; the part is more than the
# updater buffers, so some of it reaches the disk.
STALLED = {"mode": "stall", "sent": 160 * 1024}

Pixel = Tuple[int, int, int]


# --- pictures --------------------------------------------------------------------------------

class Image:
    """RGB (or RGBA) pixels of a picture file, read through ImageMagick's PAM output."""

    def __init__(self, width: int, height: int, channels: int, data: bytes):
        self.width, self.height, self.channels, self.data = width, height, channels, data

    @classmethod
    def load(cls, path) -> "Image":
        result = subprocess.run(["convert", str(path), "-depth", "8", "pam:-"],
                                stdin=subprocess.DEVNULL, capture_output=True, timeout=30)
        if result.returncode != 0:
            raise harness.HarnessError(f"cannot read {path}: {result.stderr.decode()}")
        header, _, data = result.stdout.partition(b"ENDHDR\n")
        fields = dict(line.split(" ", 1) for line in header.decode().splitlines()[1:])
        return cls(int(fields["WIDTH"]), int(fields["HEIGHT"]), int(fields["DEPTH"]), data)

    def pixel(self, x: int, y: int) -> Pixel:
        at = (y * self.width + x) * self.channels
        return tuple(self.data[at:at + 3])

    def alpha(self, x: int, y: int) -> int:
        return self.data[(y * self.width + x) * self.channels + 3] if self.channels == 4 else 255

    def crop(self, x: int, y: int, width: int, height: int) -> "Image":
        rows = []
        for row in range(y, y + height):
            start = (row * self.width + x) * self.channels
            rows.append(self.data[start:start + width * self.channels])
        return Image(width, height, self.channels, b"".join(rows))

    def pixels(self) -> List[Pixel]:
        return [self.pixel(x, y) for y in range(self.height) for x in range(self.width)]


def skin(name: str) -> Image:
    """One of the updater's skin pictures from the source tree."""
    return Image.load(pathlib.Path(os.environ["OMBRIX_SOURCE_DIR"]) / "resources" / "skin" / name)


def close(a: Pixel, b: Pixel, tolerance: int = 2) -> bool:
    return all(abs(p - q) <= tolerance for p, q in zip(a, b))


def luminance(p: Pixel) -> float:
    return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]


def mean_luminance(image: Image) -> float:
    values = [luminance(p) for p in image.pixels()]
    return sum(values) / len(values)


def differences(actual: Image, expected: Image, tolerance: int = 2, limit: int = 5):
    """The first few pixels, (x, y, actual, expected), where two equal-sized pictures differ."""
    found = []
    for y in range(expected.height):
        for x in range(expected.width):
            if not close(actual.pixel(x, y), expected.pixel(x, y), tolerance):
                found.append((x, y, actual.pixel(x, y), expected.pixel(x, y)))
                if len(found) >= limit:
                    return found
    return found


# --- mouse and keyboard ----------------------------------------------------------------------

class UserInput:
    """The X pointer and keyboard of the session's display, used as a user would."""

    PARK = (1010, 755)  # a corner where no window of the tests ever lies
    LEFT, MIDDLE, RIGHT = 1, 2, 3

    def __init__(self, session: harness.Session):
        self.env = session.env()

    def _xdotool(self, *args) -> None:
        subprocess.run(["xdotool", *map(str, args)], env=self.env, check=True, timeout=10,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
        # Wine reads X events on its own schedule; give each one time to arrive.
        time.sleep(0.05)

    def move(self, x: int, y: int) -> None:
        self._xdotool("mousemove", x, y)

    def down(self, button: int = LEFT) -> None:
        self._xdotool("mousedown", button)

    def up(self, button: int = LEFT) -> None:
        self._xdotool("mouseup", button)

    def click(self, x: int, y: int, button: int = LEFT) -> None:
        self.move(x, y)
        self.down(button)
        self.up(button)

    def drag(self, start: Tuple[int, int], offset: Tuple[int, int], button: int = LEFT,
             steps: int = 5) -> None:
        self.move(*start)
        self.down(button)
        for step in range(1, steps + 1):
            self.move(start[0] + offset[0] * step // steps, start[1] + offset[1] * step // steps)
        self.up(button)

    def park(self) -> None:
        """Away from every window, with no button held (a failed test may have left one down)."""
        self.move(*self.PARK)
        for button in (self.LEFT, self.MIDDLE, self.RIGHT):
            self.up(button)

    def keys(self, *names: str) -> None:
        """Key strokes (X key names such as Tab or space) to the window that has the focus."""
        for name in names:
            self._xdotool("key", name)


# --- one update run --------------------------------------------------------------------------

class UpdateRun:
    """Update.exe started from a fresh program folder that holds the old product, with the local
    update server answering as the server options say; ended (if still running) on exit.

        with UpdateRun(session, "name", **SLOW_DRIP) as run:
            run.window, run.rect(), run.screenshot("first") ...
    """

    def __init__(self, session: harness.Session, name: str, start_product: bool = False,
                 size: Tuple[int, int] = SIZE, **server_options):
        self.s = session
        # The window's client size, which grows with the display's resolution.
        self.size = size
        self.window_args = ("--caption", CAPTION, "--size", f"{size[0]}x{size[1]}")
        self.start_product = start_product
        self.server_options = server_options
        self.shots = harness.state_dir() / "screenshots" / name
        self.proc = None
        self.server: Optional[TestServer] = None
        self.product_pid: Optional[int] = None
        self.product_proc = None

    def __enter__(self):
        self.folder = self.s.program_folder()
        shutil.copy(harness.tool("apps/Update.exe"), self.folder / "Update.exe")
        self.old_product = harness.tool("tools/product-old/Ombrix.exe")
        self.new_product = harness.tool("tools/product-new/Ombrix.exe")
        shutil.copy(self.old_product, self.folder / "Ombrix.exe")
        if self.shots.exists():
            shutil.rmtree(self.shots)
        self.shots.mkdir(parents=True)
        try:
            if self.start_product:
                self.product_proc = self.s.start(self.folder / "Ombrix.exe")
                log = self.folder / "product.log"
                line = harness.wait_until(lambda: log.exists() and log.read_text("utf-8"), 15,
                                          "the old product to start")
                self.product_pid = int(line.split("\t")[1])
            options = {"lifetime": 150, **self.server_options}
            self.server = TestServer(self.new_product, port=build_info.update_port(),
                                     log_dir=self.s.tmp, **options).__enter__()
            self.proc = self.s.start(self.folder / "Update.exe")
            self.window = self.s.automate_one("wait-window", *self.window_args, "--visible",
                                              "--timeout", 15000)
            self.pid = self.window["pid"]
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, *exc):
        try:
            if self.proc is not None and self.proc.poll() is None:
                if any(p["pid"] == self.pid for p in self.s.processes("Update.exe")):
                    self.s.terminate(self.pid)
                harness.wait_popen(self.proc, 15)
            if self.product_proc is not None:
                if self.product_pid is not None and self.product_running():
                    self.s.terminate(self.product_pid)
                harness.wait_popen(self.product_proc, 15)
        finally:
            if self.server is not None:
                self.server.stop()

    # what the window shows

    def rect(self, control: Optional[int] = None) -> dict:
        args = ("--id", control) if control else ()
        return self.s.automate_one("rect", *self.window_args, *args)["rect"]

    def origin(self) -> Tuple[int, int]:
        rect = self.rect()
        return rect["left"], rect["top"]

    def text(self, control: int = LABEL3) -> str:
        return self.s.automate_one("text", *self.window_args, "--id", control)["text"]

    def progress(self) -> dict:
        return self.s.automate_one("progress", *self.window_args, "--id", PROGRESS_BAR1)

    def children(self) -> dict:
        return {c["id"]: c for c in self.s.automate("children", *self.window_args)}

    def screenshot(self, name: str) -> Image:
        """The whole screen, kept as NAME.png among the run's screenshots."""
        return Image.load(self.s.screenshot(self.shots / f"{name}.png"))

    def window_picture(self, name: str) -> Image:
        """The pixels of the window (340 x 100 at 96 dpi) where it stands now."""
        x, y = self.origin()
        return self.screenshot(name).crop(x, y, *self.size)

    # the process

    def running(self) -> bool:
        return self.proc.poll() is None

    def wait_exit(self, timeout: float = 30) -> int:
        return harness.wait_popen(self.proc, timeout)

    def download_path(self) -> pathlib.Path:
        return self.folder / DOWNLOAD_NAME

    def product_running(self) -> bool:
        return any(p["pid"] == self.product_pid for p in self.s.processes("Ombrix.exe"))

    def wait_for_body(self, minimum: int = 1) -> dict:
        """Waits until the chunk loop has written at least MINIMUM bytes (the bar counts bytes
        for a body of the test product's size); the progress bar then."""
        def enough():
            bar = self.progress()
            return bar if bar["pos"] >= minimum else None
        return harness.wait_until(enough, 20, f"{minimum} bytes of the body")

    def screen_point(self, control: int, dx: int, dy: int) -> Tuple[int, int]:
        """A point of the screen at DX, DY within a control's designed place."""
        x, y = self.origin()
        place = PLACES[control]
        return x + place[0] + dx, y + place[1] + dy
