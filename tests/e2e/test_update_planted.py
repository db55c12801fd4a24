#!/usr/bin/env python3
"""Update.exe end to end, against what others leave in its way: libraries planted in the
program folder under the names of system libraries (set native-first, so that Wine searches
as Windows does) are never loaded during a whole update, signed product and all; a process
holding the mutex name that older updaters used does not keep an update from running."""

# ctest-timeout: 150

import pathlib
import shutil
import tempfile
import unittest

import harness
import signing
from display_prefix import DLL_OVERRIDES
from http_server import TestServer
from update_run import (DOWNLOAD_COMPLETE, DOWNLOAD_NAME, EXIT_INSTALLED, PRODUCT_NAME,
                        RELAUNCH_QUESTION, UpdateTestCase, held_by)

PLANTED = "tools/planted/planted.dll"
# Libraries that Windows would look for beside the program first. Not `version`: Wine's own
# advapi32 loads it by name before any code of the program runs (on Windows advapi32 is a
# KnownDLL and does not).
PLANTED_NAMES = ["msimg32", "uxtheme", "dwmapi", "wininet", "winhttp", "crypt32", "wintrust",
                 "bcrypt", "cryptbase", "cryptsp", "cryptnet", "secur32", "iphlpapi", "dnsapi",
                 "userenv", "profapi", "winmm", "propsys", "windowscodecs", "urlmon", "netapi32",
                 "mpr", "sspicli"]
OLD_MUTEX = r"Global\Ombrix.Update.Instance"


class Planted(UpdateTestCase):
    def update_and_answer_no(self, folder, body, env=None):
        with TestServer(body, port=self.port, log_dir=self.s.tmp, lifetime=60):
            run = self.start_update(folder, env=env)
            run.wait_window()
            run.wait_status(DOWNLOAD_COMPLETE)
            self.assertEqual(run.box()["text"], RELAUNCH_QUESTION)
            run.answer("no")
            self.assertEqual(run.exit_code(), EXIT_INSTALLED)
        self.assertEqual((folder / PRODUCT_NAME).read_bytes(), body.read_bytes())
        self.assertFalse((folder / DOWNLOAD_NAME).exists())
        self.assert_download_folder_empty(folder)

    def test_libraries_planted_beside_the_updater_are_never_loaded(self):
        harness.require_programs(PLANTED)
        signing.require_tools()
        work = tempfile.mkdtemp(prefix="planted-", dir=self.s.tmp)
        self.addCleanup(shutil.rmtree, work, ignore_errors=True)
        # Signed products: the signatures are checked, revocation included, with the system's
        # cryptographic libraries, which load more libraries by name.
        certificate = signing.CertificateMaker(work).self_signed(
            "publisher", "/CN=Ombrix Planted Test", "code")
        folder = self.program_folder()
        signing.sign(harness.tool("tools/product-old/Ombrix.exe"), folder / PRODUCT_NAME,
                     certificate)
        new = signing.sign(self.new_product_file, pathlib.Path(work) / "new.exe",
                           certificate)
        for name in PLANTED_NAMES:
            shutil.copy(harness.tool(PLANTED), folder / f"{name}.dll")
        native_first = f"{DLL_OVERRIDES};{','.join(PLANTED_NAMES)}=n,b"

        self.update_and_answer_no(folder, new, env={"WINEDLLOVERRIDES": native_first})
        log = folder / "planted.log"
        self.assertEqual(log.read_text() if log.exists() else "", "", "planted libraries loaded")

    def test_the_old_mutex_name_held_by_another_process_stops_nothing(self):
        holder = self.s.start(harness.tool("tools/automate.exe"),
                              ["hold-mutex", OLD_MUTEX, "--timeout", 60000])
        held = harness.wait_until(lambda: held_by(holder), 10, "the old mutex name to be held")
        self.extra_pids.append(held["pid"])
        self.update_and_answer_no(self.program_folder(), self.new_product_file)
        self.s.terminate(held["pid"])
        harness.wait_popen(holder, 10)


if __name__ == "__main__":
    unittest.main(verbosity=2)
