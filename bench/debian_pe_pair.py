#!/usr/bin/env python3
"""Two published versions of one real PE, for the delta figures: a signed EFI binary that Debian's
archive holds in two versions at once (by default grub-efi-amd64-signed's grubx64.efi.signed, in
one suite and in its security or updates suite). Fetched with apt through a configuration of its
own (the machine's Debian mirror, checked against Debian's archive keyring; the machine's apt
configuration untouched) into the bench's folder, once; prints "old PATH" and "new PATH"."""

import argparse
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
from typing import List, Tuple

KEYRING = "/usr/share/keyrings/debian-archive-keyring.gpg"
PACKAGE = "grub-efi-amd64-signed"
MEMBER = "usr/lib/grub/x86_64-efi-signed/grubx64.efi.signed"


def debian_suites() -> List[Tuple[str, str]]:
    """(URI, suite) of each Debian suite the machine's apt reads, from its own index targets."""
    listing = subprocess.run(
        ["apt-get", "indextargets", "--format", "$(REPO_URI) $(RELEASE) $(ORIGIN) $(TARGET_OF)"],
        capture_output=True, text=True, check=True).stdout
    suites = set()
    for line in listing.splitlines():
        fields = line.split()
        if len(fields) == 4 and fields[2] == "Debian" and fields[3] == "deb":
            suites.add((fields[0], fields[1]))
    if not suites:
        raise SystemExit("the machine's apt reads no Debian suite (run apt-get update)")
    return sorted(suites)


def compare_versions(a: str, b: str) -> int:
    if a == b:
        return 0
    less = subprocess.run(["dpkg", "--compare-versions", a, "lt", b]).returncode == 0
    return -1 if less else 1


class PrivateApt:
    """apt with its own source list and index in `work`, for amd64 packages whatever the host."""

    def __init__(self, work: pathlib.Path):
        self.work = work
        (work / "lists" / "partial").mkdir(parents=True)
        lines = [f"deb [signed-by={KEYRING}] {uri} {suite} main\n" for uri, suite in debian_suites()]
        (work / "sources.list").write_text("".join(lines))
        self.options = []
        for option in (f"Dir::Etc::SourceList={work / 'sources.list'}",
                       "Dir::Etc::SourceParts=/dev/null", f"Dir::State::Lists={work / 'lists'}",
                       "Dir::State::status=/dev/null", "Dir::Cache::pkgcache=",
                       "Dir::Cache::srcpkgcache=", "APT::Architecture=amd64",
                       "APT::Architectures=amd64"):
            self.options += ["-o", option]

    def run(self, tool: str, *arguments: str, cwd=None) -> str:
        done = subprocess.run([tool, *self.options, *arguments], cwd=cwd, capture_output=True,
                              text=True)
        if done.returncode != 0:
            raise SystemExit(f"{tool} {' '.join(arguments)} failed:\n{done.stderr.strip()}")
        return done.stdout

    def versions(self, package: str) -> List[str]:
        """The package's versions in the index, oldest first."""
        versions = []
        for line in self.run("apt-cache", "madison", package).splitlines():
            fields = [field.strip() for field in line.split("|")]
            if len(fields) == 3 and fields[0] == package and fields[1] not in versions:
                versions.append(fields[1])
        ordered: List[str] = []
        for version in versions:  # a handful: insertion by dpkg's order
            place = len(ordered)
            while place > 0 and compare_versions(ordered[place - 1], version) > 0:
                place -= 1
            ordered.insert(place, version)
        return ordered

    def download(self, package: str, version: str) -> pathlib.Path:
        folder = self.work / "get"
        folder.mkdir(exist_ok=True)
        if os.geteuid() == 0:  # apt downloads as its own user, which must be able to write here
            try:
                shutil.chown(folder, user="_apt")
                shutil.chown(self.work, user="_apt")
            except (LookupError, PermissionError):
                pass
        self.run("apt-get", "download", f"{package}={version}", cwd=folder)
        return next(folder.glob(f"{package}_*{version.split(':')[-1]}_*.deb"))


def extract(deb: pathlib.Path, member: str, target: pathlib.Path) -> None:
    unpacked = deb.parent / (deb.name + ".d")
    subprocess.run(["dpkg-deb", "-x", str(deb), str(unpacked)], check=True)
    source = unpacked / member
    if not source.is_file():
        raise SystemExit(f"{deb.name} holds no {member}")
    partial = target.with_name(target.name + ".part")
    shutil.copyfile(source, partial)
    partial.replace(target)


def main() -> int:
    root = pathlib.Path(__file__).resolve().parents[1]
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--dir", type=pathlib.Path,
                        default=pathlib.Path(os.environ.get("OMBRIX_BENCH_DIR",
                                                            root / "build" / "bench")) / "debian-pe")
    parser.add_argument("--package", default=PACKAGE)
    parser.add_argument("--member", default=MEMBER, help="the file in the package")
    arguments = parser.parse_args()

    folder: pathlib.Path = arguments.dir
    name = pathlib.PurePosixPath(arguments.member).name
    pair_file = folder / f"{arguments.package}.pair"
    if pair_file.is_file():  # fetched before: the two files, without the network
        old, new = pair_file.read_text().split()
        if (folder / old).is_file() and (folder / new).is_file():
            print(f"old {folder / old}\nnew {folder / new}")
            return 0

    folder.mkdir(parents=True, exist_ok=True)
    with tempfile.TemporaryDirectory() as scratch:
        apt = PrivateApt(pathlib.Path(scratch))
        apt.run("apt-get", "-qq", "update")
        versions = apt.versions(arguments.package)
        if len(versions) < 2:
            raise SystemExit(f"the archive holds {len(versions)} version(s) of "
                             f"{arguments.package}, not two")
        names = []
        for version in versions[-2:]:
            target = folder / f"{name}_{version.replace(':', '_')}"
            extract(apt.download(arguments.package, version), arguments.member, target)
            names.append(target.name)
    pair_file.write_text(" ".join(names) + "\n")
    print(f"old {folder / names[0]}\nnew {folder / names[1]}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
