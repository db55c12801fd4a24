#!/usr/bin/env python3
"""The emulated test machine (QEMU, full-system, TCG) in which the shipped i686 programs run
their end-to-end scenarios: this kernel runs no 32-bit code, the machine's kernel does.

    vm.py image   builds the machine's disk unless a cached one fits its recipe
    vm.py run     boots it with the programs on a second disk; one result per scenario

The disk (Debian 12 with Wine and its prefixes ready, about 3 GB used of a sparse 6 GB) is
cached per user, in $OMBRIX_I686_CACHE if set, else in ${XDG_CACHE_HOME:-~/.cache}/ombrix/
i686-machine, so that it outlives build trees and clones; in a folder named by a digest of its
recipe, so that a changed recipe makes a new one. Programs come from
$OMBRIX_SHIP_BUILD_DIR (the i686 tree, test tools included). Where something cannot be had, the
command fails and says why. A 64-bit build of the new product comes from $OMBRIX_X64_BUILD_DIR;
the release of the i686 products that the signed updater installs by delta is made here with
scripts/release.py and the throwaway keys of $OMBRIX_WIN_SIGNED_BUILD_DIR/test-keys.
"""

import hashlib
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import time
from typing import List

from prefixes import PREFIXES

HERE = pathlib.Path(__file__).resolve().parent
SOURCE = HERE.parents[1]
# What the disk is made from: a change to it makes a new disk. (The prefixes in it are made by
# the e2e harness, whose settings are applied again at every boot.)
RECIPE = [HERE / "guest-root.sh", HERE / "prefixes.py"]
PREPARE_TIMEOUT = 2100
RUN_TIMEOUT = int(os.environ.get("OMBRIX_I686_TIMEOUT", "1440"))
# One virtual CPU is enough for the scenarios and leaves the host's other core free; making the
# prefixes (once per disk) takes two.
CPUS = os.environ.get("OMBRIX_I686_CPUS", "1")
PREPARE_CPUS = "2"
# The source files the harness reads beside the e2e scripts (the windows' design).
SOURCE_FILES = ["tests/e2e", "tests/i686", "scripts/setup.sh", "updater/Controls.h",
                "resources/update_forms.h", "tools/sample_window/main.cpp"]
TREE_FILES = ["CMakeCache.txt", "update-url.txt", "apps/Update.exe", "apps/Brevik.exe",
              "tools/automate.exe",
              "tools/product-old/Ombrix.exe", "tools/product-new/Ombrix.exe",
              "tools/product-crash/Ombrix.exe", "tools/not-programs/library.dll",
              "variants/signed/apps/Update.exe", "variants/signed/update-url.txt"]
# The 64-bit product that the 32-bit updater installs and replaces on 64-bit Windows.
PRODUCT_X64 = ("tools/product-new/Ombrix.exe", "tools/product-x64/Ombrix.exe")


class Unavailable(Exception):
    """The machine cannot be had here; the message says why."""


def recipe_key() -> str:
    digest = hashlib.sha256()
    for path in RECIPE:
        digest.update(path.name.encode() + b"\0" + path.read_bytes())
    return digest.hexdigest()[:16]


def base_dir() -> pathlib.Path:
    value = os.environ.get("OMBRIX_I686_CACHE")
    if value:
        return pathlib.Path(value).resolve()
    cache = os.environ.get("XDG_CACHE_HOME") or os.path.join(os.path.expanduser("~"), ".cache")
    return pathlib.Path(cache).resolve() / "ombrix" / "i686-machine"


def image_dir() -> pathlib.Path:
    return base_dir() / f"guest-{recipe_key()}"


def command(name: str) -> str:
    """A command's path, sbin included (a user's PATH may leave it out)."""
    return shutil.which(name, path=os.environ.get("PATH", "") + ":/usr/sbin:/sbin") or name


def require_commands(*names: str) -> None:
    missing = [n for n in names if command(n) == n]
    if missing:
        raise Unavailable(f"missing commands: {' '.join(missing)} (scripts/setup.sh installs "
                          "qemu-system-x86, debootstrap and e2fsprogs)")


def tree(variable: str) -> pathlib.Path:
    value = os.environ.get(variable)
    if not value:
        raise Unavailable(f"${variable} is not set")
    return pathlib.Path(value).resolve()


def make_payload(work: pathlib.Path) -> pathlib.Path:
    """The second disk: the test code, the i686 programs and tools."""
    files = work / "payload"
    for relative in SOURCE_FILES:
        copy(SOURCE / relative, files / "src" / relative)
    root = tree("OMBRIX_SHIP_BUILD_DIR")
    wanted = [(root / relative, relative) for relative in TREE_FILES]
    wanted.append((tree("OMBRIX_X64_BUILD_DIR") / PRODUCT_X64[0], PRODUCT_X64[1]))
    for source, relative in wanted:
        if not source.is_file():
            raise Unavailable(f"not built: {source}")
        copy(source, files / "win" / relative)
    make_release(root, files / "release")
    image = work / "payload.img"
    check([command("mkfs.ext4"), "-q", "-F", "-d", str(files), str(image), "256M"],
          "making the payload disk")
    return image


def make_release(root: pathlib.Path, out: pathlib.Path) -> None:
    """The new i686 product as the vendor publishes it, with a delta from the old one."""
    key = tree("OMBRIX_WIN_SIGNED_BUILD_DIR") / "test-keys" / "current.pem"
    if not key.is_file():
        raise Unavailable(f"no release key: {key}")
    check([sys.executable, str(SOURCE / "scripts" / "release.py"), str(key),
           str(root / "tools/product-new/Ombrix.exe"), str(out),
           "--previous", str(root / "tools/product-old/Ombrix.exe")], "making the release")


def copy(source: pathlib.Path, target: pathlib.Path) -> None:
    target.parent.mkdir(parents=True, exist_ok=True)
    if source.is_dir():
        shutil.copytree(source, target, ignore=shutil.ignore_patterns("__pycache__"))
    else:
        shutil.copy(source, target)


def sudo() -> List[str]:
    return [] if os.geteuid() == 0 else ["sudo"]


def check(cmd: List[str], what: str) -> None:
    result = subprocess.run(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)
    if result.returncode != 0:
        raise Unavailable(f"{what} failed: {result.stdout.decode(errors='replace')[-2000:]}")


def boot(disk: pathlib.Path, payload: pathlib.Path, mode: str, timeout: float, keep: bool,
         cpus: str = CPUS) -> List[str]:
    """Boots the machine until it powers off; its console lines. keep=False throws the disk's
    changes away with the machine."""
    folder = disk.parent
    console = payload.parent / f"console-{mode}.log"
    cmd = ["qemu-system-x86_64", "-machine", "q35", "-accel", "tcg,thread=multi",
           # QEMU 7.2's SMAP emulation makes every Wine process die on Wine's iret.
           "-cpu", "max,-smap", "-m", "3072", "-smp", cpus, "-display", "none", "-no-reboot",
           "-nic", "none", "-monitor", "none", "-serial", f"file:{console}",
           "-kernel", str(folder / "vmlinuz"), "-initrd", str(folder / "initrd.img"),
           "-drive", f"file={disk},if=virtio,format=raw" + ("" if keep else ",snapshot=on"),
           "-drive", f"file={payload},if=virtio,format=raw,readonly=on",
           "-append", "console=ttyS0 root=/dev/vda rw quiet loglevel=3 "
                      f"init=/sbin/ombrix-init ombrix={mode}"]
    started = time.monotonic()
    proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL)
    shown = 0
    try:
        while True:
            ended = proc.poll() is not None
            text = console.read_text(errors="replace") if console.exists() else ""
            lines = text.splitlines()
            for line in lines[shown:len(lines) if ended else max(len(lines) - 1, shown)]:
                print(f"guest| {line}", flush=True)
                shown += 1
            if ended:
                break
            if time.monotonic() - started > timeout:
                raise Unavailable(f"the machine ran longer than {timeout:.0f} s; stopped")
            time.sleep(1)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    print(f"vm: {mode} boot took {time.monotonic() - started:.0f} s", flush=True)
    if proc.returncode != 0:
        raise Unavailable(f"qemu-system-x86_64 exited with {proc.returncode}")
    return lines


def build_image() -> pathlib.Path:
    target = image_dir()
    if (target / "guest.img").is_file():
        print(f"vm: cached machine {target}")
        return target
    require_commands("qemu-system-x86_64", "debootstrap", "mkfs.ext4")
    started = time.monotonic()
    base = base_dir()
    base.mkdir(parents=True, exist_ok=True)
    work = pathlib.Path(tempfile.mkdtemp(prefix="building-", dir=base))
    try:
        check(["bash", str(HERE / "guest-root.sh"), str(work)], "guest-root.sh")
        lines = boot(work / "guest.img", make_payload(work), "prepare", PREPARE_TIMEOUT,
                     keep=True, cpus=PREPARE_CPUS)
        missing = [arch for arch in PREFIXES if f"OMBRIX-PREPARED {arch}" not in lines]
        if missing:
            raise Unavailable(f"the machine's Wine prefixes were not made: {' '.join(missing)}")
        for name in ("guest.img", "vmlinuz", "initrd.img"):
            (work / name).replace(work / f"keep-{name}")
        # Older recipes' disks are of no more use; this one's, another run may have made
        # meanwhile (the cache is the user's, shared by checkouts).
        for old in base.glob("guest-*"):
            if old != target:
                shutil.rmtree(old, ignore_errors=True)
        if not (target / "guest.img").is_file():
            target.mkdir(exist_ok=True)
            for name in ("vmlinuz", "initrd.img", "guest.img"):  # the disk says it is ready
                (work / f"keep-{name}").replace(target / name)
    finally:
        subprocess.run([*sudo(), "rm", "-rf", "--one-file-system", str(work)])
    print(f"vm: machine built in {time.monotonic() - started:.0f} s: {target}")
    return target


def results(lines: List[str]) -> int:
    """0 when the machine reported every planned scenario as ok; the failures said."""
    probe = [line.split()[1] for line in lines if line.startswith("OMBRIX-I386-PROBE ")]
    plan = [int(line.split()[1]) for line in lines if line.startswith("OMBRIX-PLAN ")]
    reported = [line.split()[1:] for line in lines
                if re.match(r"OMBRIX-RESULT \S+ \S+ \S+$", line)]
    print(f"vm: the set-up's i386 probe exited with {probe[0] if probe else 'nothing'} in the "
          "machine (42: it runs 32-bit programs)")
    failed = [f"{arch} {name}: {outcome}" for arch, name, outcome in reported if outcome != "ok"]
    if probe != ["42"]:
        failed.append(f"the i386 probe exited with {probe}, not 42")
    if not plan or len(reported) != plan[0]:
        failed.append(f"{len(reported)} results of {plan[0] if plan else '?'} planned")
    for line in failed:
        print(f"vm: FAILED {line}")
    print(f"vm: {len(reported) - len(failed)} of {plan[0] if plan else '?'} scenarios ok")
    return 1 if failed else 0


def run() -> int:
    require_commands("qemu-system-x86_64", "mkfs.ext4")
    folder = image_dir()
    if not (folder / "guest.img").is_file():
        raise Unavailable(f"no machine in {folder}: `vm.py image` (CTest's i686_image) makes it")
    work = pathlib.Path(tempfile.mkdtemp(prefix="run-", dir=base_dir()))
    try:
        return results(boot(folder / "guest.img", make_payload(work), "run", RUN_TIMEOUT,
                            keep=False))
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main(argv: List[str]) -> int:
    command = argv[1] if len(argv) > 1 else ""
    try:
        if command == "image":
            build_image()
            return 0
        if command == "run":
            return run()
    except Unavailable as reason:
        print(f"vm: FAILED: {reason}", file=sys.stderr)
        return 1
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
