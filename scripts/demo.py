#!/usr/bin/env python3
"""A demo update run: a local update server offers a new product, the old product is running,
Update.exe (built with the loopback update URL) downloads and installs it under Wine and Xvfb,
the relaunch question is answered Yes, and the outcome is printed with screenshots.

Run through scripts/demo.sh, which builds first."""

import filecmp
import os
import pathlib
import shutil
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import harness  # noqa: E402

PORT = 47631
CAPTION = "Tarnell升级程序"


def main() -> int:
    out = pathlib.Path(os.environ["OMBRIX_DEMO_OUT"])
    out.mkdir(parents=True, exist_ok=True)
    session = harness.setup()
    try:
        return run(session, out)
    finally:
        harness.teardown()


def step(text: str) -> None:
    print(f"== {text}", flush=True)


def run(session: harness.Session, out: pathlib.Path) -> int:
    folder = session.program_folder()
    shutil.copy(harness.tool("apps/Update.exe"), folder / "Update.exe")
    shutil.copy(harness.tool("tools/product-old/Ombrix.exe"), folder / "Ombrix.exe")
    new_product = harness.tool("tools/product-new/Ombrix.exe")
    step(f"program folder: {harness.to_windows_path(folder)}")

    # A slow drip, so that the download can be watched for a few seconds.
    server_log = out / "server.log"
    server = subprocess.Popen(
        [sys.executable, str(ROOT / "tests/e2e/http_server.py"), "--port", str(PORT), "--file",
         str(new_product), "--mode", "drip", "--drip-bytes", "16384", "--drip-interval", "0.25",
         "--lifetime", "120", "--log", str(server_log)],
        stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
    try:
        harness.wait_until(lambda: server_log.exists() and "listening" in server_log.read_text(),
                           10, "the update server")
        step(f"update server on 127.0.0.1:{PORT} offers the new product "
             f"({new_product.stat().st_size} bytes)")

        session.start(folder / "Ombrix.exe")
        harness.wait_until(lambda: (folder / "product.log").exists(), 15, "the old product")
        old_pid = session.processes("Ombrix.exe")[0]["pid"]
        step(f"old product running, process {old_pid}")

        update = session.start(folder / "Update.exe")
        session.automate("wait-window", "--caption", CAPTION, "--size", "340x100",
                         "--timeout", "15000")
        step("Update.exe started; its window shows:")
        shot_taken = False
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            status = session.automate_one("text", "--caption", CAPTION, "--size", "340x100",
                                          "--id", "1015")["text"]
            bar = session.automate_one("progress", "--caption", CAPTION, "--size", "340x100",
                                       "--id", "1006")
            print(f"   status {status!r:44} progress {bar['pos']}/{bar['max']}", flush=True)
            if not shot_taken and bar["pos"] > bar["max"] // 3:
                session.screenshot(out / "update-downloading.png")
                shot_taken = True
            if status == "文件已经下载完成！":
                break
            time.sleep(0.5)

        box = session.automate_one("msgbox", "--timeout", "20000")
        step(f"question {box['caption']!r}: {box['text']!r}")
        session.screenshot(out / "update-question.png")
        session.automate("click", "--button", "yes", "--timeout", "5000")
        step("answered Yes")
        code = harness.wait_popen(update, 30)
    finally:
        server.terminate()
        server.wait(10)

    time.sleep(1)
    names = {p["pid"]: p for p in session.processes("Ombrix.exe")}
    log_lines = (folder / "product.log").read_text(encoding="utf-8").splitlines()
    replaced = filecmp.cmp(folder / "Ombrix.exe", new_product, shallow=False)
    step("outcome")
    print(f"   Update.exe exit code:            {code} (0 = update installed)")
    print(f"   old product {old_pid} terminated:      {old_pid not in names}")
    print(f"   Ombrix.exe is the new product:   {replaced}")
    print(f"   download file removed:           {not (folder / 'ombrix').exists()}")
    print(f"   product starts logged:")
    for line in log_lines:
        print(f"      {line}")
    started_new = any(line.startswith("new\t") for line in log_lines)
    session.screenshot(out / "update-finished.png")
    for name in ("update-downloading.png", "update-question.png", "update-finished.png"):
        print(f"   screenshot: {out / name}")
    for pid in names:
        session.terminate(pid)
    ok = code == 0 and old_pid not in names and replaced and started_new
    step("demo " + ("succeeded" if ok else "FAILED"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
