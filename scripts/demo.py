#!/usr/bin/env python3
"""A demo of the real flow: the vendor publishes the new product with scripts/release.py (the
program and its signed release statement) on a local nginx; the old product is running; an
Update.exe built with the vendor's (throwaway) release keys and the loopback update URL checks the
statement, downloads and installs the product under Wine and Xvfb, and the relaunch question is
answered Yes; the old product's bytes have a delta in the statement, so the update downloads that
instead of the program. A second run then finds the statement naming the installed bytes and ends
at once.
The outcome is printed with screenshots.

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
sys.path.insert(0, str(ROOT / "bench"))
import harness  # noqa: E402
from nginx_server import Nginx  # noqa: E402

PORT = int(os.environ.get("OMBRIX_DEMO_PORT", "47631"))
SIGNED = pathlib.Path(os.environ["OMBRIX_DEMO_SIGNED_DIR"])
UPDATE_PATH = "soft/updates/ombrix/ombrix"
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


def publish(out: pathlib.Path, new_product: pathlib.Path, old_product: pathlib.Path,
            docroot: pathlib.Path) -> None:
    """What the vendor does: the release made and signed by the tool, with a delta from the
    release before it, uploaded in the order it prints."""
    release = out / "release"
    shutil.rmtree(release, ignore_errors=True)
    key = SIGNED / "test-keys" / "current.pem"
    result = subprocess.run([sys.executable, str(ROOT / "scripts/release.py"), str(key),
                             str(new_product), str(release), "--previous", str(old_product)],
                            capture_output=True, text=True, check=True)
    for line in result.stdout.splitlines():
        print(f"   {line}")
    served = docroot / UPDATE_PATH
    served.parent.mkdir(parents=True, exist_ok=True)
    shutil.copytree(release / "ombrix.delta", served.parent / "ombrix.delta")
    for name in ("ombrix", "ombrix.release"):  # the program, then the statement last
        shutil.copy(release / name, served.parent / name)
    print("   the statement:")
    for line in (release / "ombrix.release").read_text().splitlines():
        print(f"      {line}")


def run(session: harness.Session, out: pathlib.Path) -> int:
    folder = session.program_folder()
    shutil.copy(SIGNED / "apps/Update.exe", folder / "Update.exe")
    shutil.copy(harness.tool("tools/product-old/Ombrix.exe"), folder / "Ombrix.exe")
    new_product = harness.tool("tools/product-new/Ombrix.exe")
    step(f"program folder: {harness.to_windows_path(folder)}")
    step(f"Update.exe built with the release keys of {SIGNED / 'test-keys/release-keys.pem'} "
         "(made for this tree by tests/e2e/make_release_keys.sh)")

    step("the vendor publishes the new product with scripts/release.py:")
    root = out / "nginx"
    shutil.rmtree(root, ignore_errors=True)
    publish(out, new_product, harness.tool("tools/product-old/Ombrix.exe"), root / "www")
    # Slow enough that the download can be watched for a few seconds.
    server = Nginx(root, PORT, root / "www", rate="1k")
    server.start()
    try:
        step(f"update server (nginx) on 127.0.0.1:{PORT} offers the new product "
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
        time.sleep(1)
        asked = server.requests()
        quiet = quiet_run(session, folder, server)
    finally:
        server.stop()

    names = {p["pid"]: p for p in session.processes("Ombrix.exe")}
    log_lines = (folder / "product.log").read_text(encoding="utf-8").splitlines()
    replaced = filecmp.cmp(folder / "Ombrix.exe", new_product, shallow=False)
    step("outcome")
    print(f"   Update.exe exit code:            {code} (0 = update installed)")
    print(f"   old product {old_pid} terminated:      {old_pid not in names}")
    print(f"   Ombrix.exe is the new product:   {replaced}")
    print(f"   download file removed:           {not (folder / 'ombrix').exists()}")
    print("   what the update asked for:       " + ", ".join(
        f"{r['request'].split(' ')[1]} ({r['body_bytes_sent']} bytes)" for r in asked))
    print(f"   the next run:                    {quiet['box']!r}, exit code {quiet['code']} "
          f"(4 = the newest is installed)")
    print(f"   what it asked for:               {', '.join(quiet['paths'])} "
          f"({quiet['bytes']} bytes on the wire, both ways)")
    print(f"   product starts logged:")
    for line in log_lines:
        print(f"      {line}")
    started_new = any(line.startswith("new\t") for line in log_lines)
    session.screenshot(out / "update-finished.png")
    for name in ("update-downloading.png", "update-question.png", "update-finished.png"):
        print(f"   screenshot: {out / name}")
    for pid in names:
        session.terminate(pid)
    by_delta = [r["request"].split(" ")[1].split("/")[-2] for r in asked] == [
        "ombrix", "ombrix.delta"]
    ok = (code == 0 and old_pid not in names and replaced and started_new and by_delta
          and quiet["code"] == 4 and quiet["paths"] == [f"/{UPDATE_PATH}.release"])
    step("demo " + ("succeeded" if ok else "FAILED"))
    return 0 if ok else 1


def quiet_run(session: harness.Session, folder: pathlib.Path, server: Nginx) -> dict:
    """A second run with the new product installed: the statement alone ends it."""
    step("Update.exe again, with the new product installed")
    before = len(server.requests())
    update = session.start(folder / "Update.exe")
    box = session.automate_one("msgbox", "--timeout", "20000")
    step(f"box {box['caption']!r}: {box['text']!r}")
    session.automate("click", "--button", "ok", "--timeout", "5000")
    code = harness.wait_popen(update, 30)
    time.sleep(0.5)  # nginx logs a request once it is over
    requests = server.requests()[before:]
    return {"box": box["text"], "code": code,
            "paths": [r["request"].split(" ")[1] for r in requests],
            "bytes": sum(r["request_length"] + r["bytes_sent"] for r in requests)}


if __name__ == "__main__":
    sys.exit(main())
