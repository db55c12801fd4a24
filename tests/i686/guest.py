#!/usr/bin/env python3
"""Inside the emulated test machine (started by its first process, /sbin/ombrix-init): the
shipped i686 programs' end-to-end scenarios, taken from the Wine suite, in a 64-bit prefix (a
32-bit updater on 64-bit Windows, as users run it) and one whole update in a 32-bit prefix.
A 64-bit prefix needs Wine's 64-bit loader named (WINELOADER): started through the 32-bit
`wine`, Debian 12's wineboot ends with "could not load kernel32.dll".

    guest.py prepare   makes the prefixes; the image keeps them
    guest.py run       runs the scenarios; each result is a console line for the host:
                       OMBRIX-RESULT <prefix> <scenario> ok|FAIL|ERROR|skipped

The payload disk (/payload) holds the sources' test code (src/) and the i686 tree's programs and
tools (win/), a 64-bit build of the new product (win/tools/product-x64/), and the new i686
product as scripts/release.py publishes it, with its signed statement and a delta from the old
one (release/), for the updater built with the tests' release keys (win/variants/signed/)."""

import functools
import http.server
import os
import pathlib
import shutil
import subprocess
import sys
import threading
import traceback
import unittest

from prefixes import PREFIXES, finish

PAYLOAD = pathlib.Path("/payload")
E2E = PAYLOAD / "src" / "tests" / "e2e"
# The scenarios where the 32-bit build can differ: the calling convention of every callback
# (WinINet's status callback, window and enumeration procedures, thread starts), 32-bit
# structure layouts (process entries, trust data, the product's PE header), and on 64-bit
# Windows the file-system and registry redirection and watching and ending a 64-bit product.
WHOLE_UPDATE = ("test_update_install.Install."
                "test_yes_ends_the_old_products_installs_and_starts_the_new_one_once")
SCENARIOS = {
    "win64": [
        "test_brevik.BrevikRun.test_registers_the_document_type_and_keeps_the_icon_size",
        "test_update_download.CompleteDownloads."
        "test_a_complete_body_fills_the_bar_and_hands_over_to_the_install_window",
        "test_update_install_care.InstallCare."
        "test_a_product_that_saves_is_asked_and_saves_before_it_is_replaced",
        WHOLE_UPDATE,
        "test_update_stalls.Stalls.test_a_stalled_body_is_resumed_after_a_minute",
        "test_update_install_care.InstallCare."
        "test_a_new_product_that_crashes_at_its_start_is_rolled_back_and_the_old_one_started",
        "guest.MachineCheck.test_a_64_bit_product_is_installed_and_replaced_again",
        "guest.MachineCheck.test_a_dll_is_refused",
        "guest.MachineCheck.test_a_signed_update_comes_by_delta",
    ],
    "win32": [WHOLE_UPDATE],
}


def say(line: str) -> None:
    print(line, flush=True)


def use_prefix(arch: str) -> None:
    os.environ.update({"OMBRIX_E2E_STATE": PREFIXES[arch], "OMBRIX_GUEST_PREFIX": arch,
                       "OMBRIX_E2E_WINEARCH": arch,
                       "OMBRIX_WIN_BUILD_DIR": str(PAYLOAD / "win"),
                       "OMBRIX_SOURCE_DIR": str(PAYLOAD / "src"),
                       "OMBRIX_E2E_PREFIX_TIMEOUT": "1200"})
    sys.path.insert(0, str(E2E))


def prepare() -> int:
    """The prefixes, made as the Wine suite makes its own."""
    for arch in PREFIXES:
        code = subprocess.call([sys.executable, __file__, "prepare-one", arch])
        if code != 0:
            return code
    return 0


def prepare_one(arch: str) -> int:
    use_prefix(arch)
    import harness
    finish(harness.setup(), harness.tool("tools/automate.exe"))
    harness.teardown()
    say(f"OMBRIX-PREPARED {arch}")
    return 0


class ResultLines(unittest.TextTestResult):
    """Prints one OMBRIX-RESULT line per scenario (a failed subtest fails its scenario)."""

    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.outcome = {}

    def startTest(self, test):
        super().startTest(test)
        self.outcome[test.id()] = "ok"

    def stopTest(self, test):
        super().stopTest(test)
        say(f"OMBRIX-RESULT {os.environ['OMBRIX_GUEST_PREFIX']} {test.id()} "
            f"{self.outcome[test.id()]}")

    def addFailure(self, test, err):
        super().addFailure(test, err)
        self.outcome[test.id()] = "FAIL"

    def addError(self, test, err):
        super().addError(test, err)
        self.outcome[getattr(test, "test_case", test).id()] = "ERROR"

    def addSubTest(self, test, subtest, err):
        super().addSubTest(test, subtest, err)
        if err is not None:
            self.outcome[test.id()] = "FAIL"

    def addSkip(self, test, reason):
        super().addSkip(test, reason)
        self.outcome[test.id()] = "skipped"


def run_one(arch: str) -> int:
    use_prefix(arch)
    import harness
    try:
        harness.setup(keep_prefix=True)
    except Exception:  # the prefix is the scenarios' ground: each one then fails
        traceback.print_exc(file=sys.stdout)
        for name in SCENARIOS[arch]:
            say(f"OMBRIX-RESULT {arch} {name} ERROR")
        return 1
    try:
        suite = unittest.defaultTestLoader.loadTestsFromNames(SCENARIOS[arch])
        runner = unittest.TextTestRunner(stream=sys.stdout, verbosity=2,
                                         resultclass=ResultLines)
        return 0 if runner.run(suite).wasSuccessful() else 1
    finally:
        harness.teardown()


def i386_probe() -> int:
    """The set-up script's probe for 32-bit support, which this machine has: it should exit 42."""
    script = PAYLOAD / "src" / "scripts" / "setup.sh"
    return subprocess.call(["bash", "-c", f'source "{script}" && write_i386_probe /tmp/probe '
                            "&& /tmp/probe"])


def run() -> int:
    say(f"OMBRIX-I386-PROBE {i386_probe()}")
    say(f"OMBRIX-PLAN {sum(len(names) for names in SCENARIOS.values())}")
    codes = [subprocess.call([sys.executable, __file__, "run-one", arch]) for arch in SCENARIOS]
    return max(codes)


if __name__ != "__main__":
    # Imported by the loader as the scenarios' module: the e2e harness is on the path.
    import harness
    from update_run import (EXIT_INSTALLED, NEW_PRODUCT, NOT_A_PROGRAM, PRODUCT_NAME,
                            RELAUNCH_QUESTION, UpdateTestCase, product_log)

    class MachineCheck(UpdateTestCase):
        """The 32-bit build's check of the download's PE header, and on 64-bit Windows a 64-bit
        product installed, started, found running, ended and replaced."""

        def update_and_answer(self, folder, answer: str) -> int:
            with self.serve("normal"):
                run = self.start_update(folder)
                run.wait_window()
                self.assertEqual(run.box()["text"], RELAUNCH_QUESTION)
                run.answer(answer)
                return run.exit_code()

        def test_a_64_bit_product_is_installed_and_replaced_again(self):
            folder = self.program_folder()
            self.new_product_file = harness.tool("tools/product-x64/Ombrix.exe")
            self.assertEqual(self.update_and_answer(folder, "yes"), EXIT_INSTALLED)
            started = harness.wait_until(
                lambda: [line for line in product_log(folder) if line.version == "new"], 10,
                "the 64-bit product to start")
            self.assertEqual((folder / PRODUCT_NAME).read_bytes(),
                             self.new_product_file.read_bytes())
            self.new_product_file = harness.tool(NEW_PRODUCT)
            self.assertEqual(self.update_and_answer(folder, "no"), EXIT_INSTALLED)
            self.assertNotIn(started[0].pid, self.running())
            self.assertEqual((folder / PRODUCT_NAME).read_bytes(), self.new_product)

        def test_a_signed_update_comes_by_delta(self):
            """The decoder that ships: the signed updater takes the statement and the delta
            from the old product's bytes, never the program, and installs the new one."""
            folder = self.program_folder()
            signed = harness.tool("variants/signed/apps/Update.exe")
            (folder / "Update.exe").write_bytes(signed.read_bytes())
            release = PAYLOAD / "release"
            root = pathlib.Path(self.s.tmp) / "www"
            served = root / "soft/updates/ombrix"
            served.mkdir(parents=True, exist_ok=True)
            for name in ("ombrix", "ombrix.release", "ombrix.delta"):
                copy = served / name
                if (release / name).is_dir():
                    shutil.copytree(release / name, copy, dirs_exist_ok=True)
                else:
                    shutil.copy(release / name, copy)
            asked = []

            class Files(http.server.SimpleHTTPRequestHandler):
                def log_message(self, *args):
                    asked.append(self.path)

            handler = functools.partial(Files, directory=str(root))
            server = http.server.ThreadingHTTPServer(("127.0.0.1", self.port), handler)
            threading.Thread(target=server.serve_forever, daemon=True).start()
            try:
                run = self.start_update(folder)
                run.wait_window()
                self.assertEqual(run.box()["text"], RELAUNCH_QUESTION)
                run.answer("no")
                self.assertEqual(run.exit_code(), EXIT_INSTALLED)
            finally:
                server.shutdown()
                server.server_close()
            self.assertEqual((folder / PRODUCT_NAME).read_bytes(), self.new_product)
            self.assertEqual(len(asked), 2, asked)
            self.assertTrue(asked[0].endswith("/ombrix.release"), asked)
            self.assertIn("/ombrix.delta/", asked[1])

        def test_a_dll_is_refused(self):
            folder = self.program_folder()
            self.new_product_file = harness.tool("tools/not-programs/library.dll")
            with self.serve("normal"):
                run = self.start_update(folder)
                run.wait_window()
                self.assert_failed_run(run, NOT_A_PROGRAM)
            self.assert_product_untouched(folder)
            self.assertFalse(run.download_path().exists())

if __name__ == "__main__":
    command = sys.argv[1] if len(sys.argv) > 1 else ""
    if command == "prepare":
        sys.exit(prepare())
    if command == "run":
        sys.exit(run())
    if command == "prepare-one":
        sys.exit(prepare_one(sys.argv[2]))
    if command == "run-one":
        sys.exit(run_one(sys.argv[2]))
    say(f"guest.py: unknown mode {command!r}")
    sys.exit(2)
