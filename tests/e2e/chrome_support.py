"""Support for the tests of Update.exe's window and chrome: screenshots read as pixels, the skin
pictures they are compared with, real mouse input through xdotool, and one update run against
the local server from a fresh program folder."""

import contextlib
import os
import pathlib
import shutil
import subprocess
import time
from typing import Iterator, List, Tuple

import build_info
import harness
from http_server import TestServer
from update_run import (NEW_PRODUCT, OLD_PRODUCT, PRODUCT_NAME, SIZE, UpdateRun, product_running,
                        start_product_in)

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

@contextlib.contextmanager
def staged_run(session: harness.Session, name: str, start_product: bool = False,
               size: Tuple[int, int] = SIZE, **server_options) -> Iterator[UpdateRun]:
    """Update.exe started from a fresh program folder that holds the old product (started first
    if START_PRODUCT), with the local update server answering as SERVER_OPTIONS say, its window
    shown; ended (if still running) on exit. Screenshots go to screenshots/NAME.

        with staged_run(session, "name", **SLOW_DRIP) as run:
            run.window, run.rect(), window_picture(run, "first") ...
    """
    folder = session.program_folder()
    shutil.copy(harness.tool("apps/Update.exe"), folder / "Update.exe")
    shutil.copy(harness.tool(OLD_PRODUCT), folder / PRODUCT_NAME)
    shots = harness.state_dir() / "screenshots" / name
    if shots.exists():
        shutil.rmtree(shots)
    shots.mkdir(parents=True)
    with contextlib.ExitStack() as stack:
        if start_product:
            product, pid = start_product_in(session, folder)
            stack.callback(harness.wait_popen, product, 15)

            def end_product():
                if product_running(session, pid):
                    session.terminate(pid)
            stack.callback(end_product)
        options = {"lifetime": 150, **server_options}
        stack.enter_context(TestServer(harness.tool(NEW_PRODUCT), port=build_info.update_port(),
                                       log_dir=session.tmp, **options))
        run = UpdateRun(session, folder, size, shots)
        stack.callback(run.end)
        run.wait_window()
        yield run


def window_picture(run: UpdateRun, name: str) -> Image:
    """The pixels of the window (its client size) where it stands now."""
    x, y = run.origin()
    return Image.load(run.screenshot(name)).crop(x, y, *run.size)
