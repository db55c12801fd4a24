#!/usr/bin/env python3
"""Benchmarks of Update.exe and Brevik.exe under Wine, each beside a reference measured in the
same run on the same machine: download throughput and peak working set against a plain WinINet
reader (and native curl), file size and imports against a minimal window program, start-up
against minimal programs. Prints one line per figure; exits 0 when every measurement ran,
whether or not its target was met.

Run through bench/run, which builds what this needs and sets:
    OMBRIX_WIN_BUILD_DIR   the project's Windows tree (Update.exe built with the bench's URL)
    OMBRIX_BENCH_TREE      bench/'s own Windows tree (probe, plain reader, minimal programs)
    OMBRIX_E2E_STATE       where the Xvfb display and the Wine prefix of this run live
    OMBRIX_BENCH_OUT       where the bodies, the server and the results go
    OMBRIX_BENCH_SHIP_DIR  the shipped form's tree, whose sizes are measured (default: the
                           project's Windows tree)
    OMBRIX_BENCH_SHIP_TREE bench/'s tree of the same form, for the minimal window's size
                           (default: OMBRIX_BENCH_TREE)
    OMBRIX_BENCH_ONLY      a comma-separated subset of footprint,startup,download,quiet,delta
                           (default all)
    OMBRIX_BENCH_BASELINE_DIR  a tree of an earlier commit (bench/run builds it from
                           OMBRIX_BENCH_BASELINE): its programs' start-up is measured beside
                           this build's
"""

import contextlib
import json
import os
import pathlib
import shutil
import signal
import subprocess
import sys
import time
import urllib.parse
from typing import List, Optional

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import build_info  # noqa: E402
import design  # noqa: E402
import harness  # noqa: E402

from bodies import is_windows_program, make_body, with_body  # noqa: E402
from footprint import foreign_imports, pe_facts, system_dlls  # noqa: E402
from nginx_server import Nginx  # noqa: E402
import figures  # noqa: E402
from figures import KIB, MIB  # noqa: E402

SIZES = [("64 MiB", 64 * MIB), ("256 MiB", 256 * MIB)]
SMALL_SIZE = ("1 MiB", 1 * MIB)
# The product of the quiet runs: a real product is tens of MB.
QUIET_SIZE = SIZES[0]
DOWNLOAD_RUNS = int(os.environ.get("OMBRIX_BENCH_DOWNLOAD_RUNS", "5"))
STARTUP_RUNS = 5
# Two builds of the same program differ by little: more runs, so that the medians hold still.
BASELINE_RUNS = 11

# The main window as the sources define it; the status line is Label3.
CAPTION = design.FORM1.caption
MAIN_SIZE = design.FORM1.size_arg()
STATUS_ID = design.FORM1_CONTROLS["Label3"]
DONE_TEXT = "文件已经下载完成！"
NEWEST_TEXT = "当前已是最新版本，无需升级！"
EXIT_NEWEST = 4
QUESTION_START = "程序已经升级完成，现在是否运行"
MINIMAL_CAPTION = "Ombrix bench minimal window"
WINDOWED_CAPTION = "Ombrix bench windowed reader"

THROUGHPUT_MIN = 0.8
FIXED_COST_MAX = 1.5
ANSWER_MAX_MS = 20
MEMORY_MAX = 1.5
MEMORY_GROWTH = 1 * MIB
UPDATE_LIMIT = 450 * KIB
# Besides its resources; some 30 KiB of it are zstd's decoder of the update deltas.
UPDATE_CODE_LIMIT = 290 * KIB
BREVIK_LIMIT = 150 * KIB
STARTUP_MAX = 1.5
# The statement with its request and response, eight delta lines included.
QUIET_WIRE_MAX = 2 * KIB
# The quiet run's box comes within a few hundred ms: looked for often enough to time it.
QUIET_BOX_LOOK_MS = 2
# An update by delta, in bytes on the wire, of the whole program's.
DELTA_REBUILD_MAX = 0.08
DELTA_REAL_MAX = 0.02
# Against the baseline build "not slower", within what two medians of the same program differ by.
BASELINE_MAX = 1.05


class BenchError(Exception):
    pass


def note(text: str) -> None:
    """Progress goes to stderr; stdout carries only the figures."""
    print(f"bench: {text}", file=sys.stderr, flush=True)


def quoted(path) -> str:
    return f'"{harness.to_windows_path(path)}"'


class Bench:
    def __init__(self, session: harness.Session, out: pathlib.Path, tree: pathlib.Path,
                 ship: pathlib.Path, ship_tree: pathlib.Path):
        self.s = session
        self.out = out
        self.tree = tree
        self.ship = ship
        self.ship_tree = ship_tree
        self.url = build_info.update_url()
        self.signed = pathlib.Path(os.environ["OMBRIX_BENCH_SIGNED_DIR"])
        self.port = build_info.update_port()
        self.docroot = out / "www"
        self.served = self.docroot / urllib.parse.urlsplit(self.url).path.lstrip("/")
        self.scratch = out / "scratch"
        self.lines = []
        self.server = None
        self.results = {}
        self.only = {part.strip() for part in
                     os.environ.get("OMBRIX_BENCH_ONLY",
                                    "footprint,startup,download,quiet,delta").split(",")}

    # --- plumbing ------------------------------------------------------------------------

    def bench_tool(self, name: str) -> pathlib.Path:
        return self.tree / name

    def probe(self, *args, timeout: float = 300) -> dict:
        args = [str(a) for a in args]
        result = self.s.wine([self.bench_tool("probe.exe"), *args, "--timeout",
                              int(timeout * 1000)], timeout=timeout + 30)
        if result.code != 0:
            raise BenchError(f"probe {args[0]} failed ({result.code}): {result.stderr.strip()}")
        return json.loads(result.stdout.strip().splitlines()[-1])

    def folder(self, **programs: pathlib.Path) -> pathlib.Path:
        """A fresh program folder (blanks and Chinese characters in its path) with copies."""
        folder = self.s.program_folder()
        for name, source in programs.items():
            shutil.copy(source, folder / name)
        return folder

    def serve(self, body: pathlib.Path) -> None:
        """The update URL answers with `body` from now on (nginx opens the file per request)."""
        self.served.parent.mkdir(parents=True, exist_ok=True)
        self.served.unlink(missing_ok=True)
        self.served.symlink_to(body)

    def emit(self, line: str) -> None:
        self.lines.append(line)
        print(line, flush=True)

    @staticmethod
    def settle() -> None:
        """Writes of the previous run reach the disk before the next one is timed."""
        os.sync()

    # --- one measured run of each kind ---------------------------------------------------

    def curl_once(self, size: int) -> float:
        target = self.scratch / "curl.out"
        self.settle()
        started = time.perf_counter()
        result = subprocess.run(["curl", "-sS", "--fail", "-o", str(target), self.url],
                                capture_output=True, text=True, timeout=300)
        seconds = time.perf_counter() - started
        if result.returncode != 0 or target.stat().st_size != size:
            raise BenchError(f"curl failed ({result.returncode}): {result.stderr.strip()}")
        target.unlink()
        return seconds

    def reader_once(self, size: int) -> dict:
        target = self.scratch / "reader.out"
        self.settle()
        run = self.probe("run", "--cmdline",
                         f"{quoted(self.bench_tool('plain_reader.exe'))} {self.url} "
                         f"{quoted(target)}")
        if run["exit_code"] != 0 or target.stat().st_size != size:
            raise BenchError(f"the plain reader failed: {run}")
        target.unlink()
        return {"seconds": run["us_to_end"] / 1e6, "peak": run["peak_working_set"]}

    def windowed_reader_once(self, size: int) -> float:
        """Seconds to the windowed reader's final text."""
        target = self.scratch / "windowed.out"
        self.settle()
        run = self.probe("download", "--cmdline",
                         f"{quoted(self.bench_tool('windowed_reader.exe'))} {self.url} "
                         f"{quoted(target)} {STATUS_ID} {DONE_TEXT}",
                         "--caption", WINDOWED_CAPTION, "--id", STATUS_ID, "--text", DONE_TEXT)
        if (run["exit_code"] != 0 or run["us_to_text"] is None
                or target.stat().st_size != size):
            raise BenchError(f"the windowed reader failed: {run}")
        target.unlink()
        return run["us_to_text"] / 1e6

    def update_once(self, size: int) -> dict:
        folder = self.folder(**{"Update.exe": harness.tool("apps/Update.exe"),
                                "Ombrix.exe": harness.tool("tools/product-old/Ombrix.exe")})
        self.settle()
        run = self.probe("download", "--cmdline", quoted(folder / "Update.exe"), "--cwd",
                         harness.to_windows_path(folder), "--caption", CAPTION, "--size",
                         MAIN_SIZE, "--id", STATUS_ID, "--text", DONE_TEXT, "--answer", "no")
        installed = folder / "Ombrix.exe"
        if (run["exit_code"] != 0 or run["us_to_text"] is None
                or not (run.get("box_text") or "").startswith(QUESTION_START)
                or installed.stat().st_size != size):
            raise BenchError(f"the update run did not go through: {run}")
        shutil.rmtree(folder)
        window = run["us_to_window"]
        return {"seconds": run["us_to_text"] / 1e6, "window_seconds": window and window / 1e6,
                "peak": run["peak_working_set"], "peak_at_text": run["peak_working_set_at_text"],
                "first_answer": (run.get("us_first_answer") or 0) / 1e6,
                "slowest_answer": (run.get("us_slowest_answer") or 0) / 1e6,
                "end_answer": (run.get("us_end_answer") or 0) / 1e6,
                "whole_run_seconds": run["us_to_end"] / 1e6}

    def boxed_once(self, folder: pathlib.Path, answer: str, box: str, code: int) -> dict:
        """One run timed to its box (`box`, or a text starting so), answered `answer`: seconds
        to the box, and the requests it made as the server logged them."""
        before = len(self.server.requests())
        self.settle()
        run = self.probe("download", "--cmdline", quoted(folder / "Update.exe"), "--cwd",
                         harness.to_windows_path(folder), "--caption", CAPTION, "--size",
                         MAIN_SIZE, "--id", STATUS_ID, "--text", DONE_TEXT, "--answer", answer,
                         "--box-every", QUIET_BOX_LOOK_MS)
        if (run["exit_code"] != code or not (run.get("box_text") or "").startswith(box)
                or run["us_to_box"] is None):
            raise BenchError(f"the run did not end at {box!r} with exit code {code}: {run}")
        time.sleep(0.2)  # nginx logs a request once it is over
        return {"seconds": run["us_to_box"] / 1e6, "requests": self.server.requests()[before:],
                "peak": run["peak_working_set"]}

    def publish(self, program: pathlib.Path, previous: Optional[pathlib.Path] = None) -> None:
        """The update URL serves `program` and its signed statement, as the vendor's tool makes
        them (with a delta from `previous`, if given), from now on."""
        release = self.scratch / "release"
        shutil.rmtree(release, ignore_errors=True)
        args = [sys.executable, str(ROOT / "scripts/release.py"),
                str(self.signed / "test-keys" / "current.pem"), str(program), str(release)]
        if previous:
            args += ["--previous", str(previous)]
        subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
        self.serve(program)
        statement = self.served.with_name(self.served.name + ".release")
        statement.unlink(missing_ok=True)
        shutil.copy(release / "ombrix.release", statement)
        deltas = self.served.with_name(self.served.name + ".delta")
        shutil.rmtree(deltas, ignore_errors=True)
        if (release / "ombrix.delta").is_dir():
            shutil.copytree(release / "ombrix.delta", deltas)

    def release_runs(self, old: pathlib.Path, new: pathlib.Path, by_delta: bool,
                     runs: int) -> List[dict]:
        """Updates of `old` to `new` by a signed build, timed to the relaunch question: by delta
        or (no delta published) by the whole program."""
        self.publish(new, previous=old if by_delta else None)
        results = []
        for _ in range(runs):
            folder = self.folder(**{"Update.exe": self.signed / "apps" / "Update.exe",
                                    "Ombrix.exe": old})
            results.append(self.boxed_once(folder, "no", QUESTION_START, 0))
            if (folder / "Ombrix.exe").read_bytes() != new.read_bytes():
                raise BenchError(f"the update of {old.name} did not install {new}")
            shutil.rmtree(folder)
        asked = {r["request"].split(" ")[1].split("/")[-1].split(".")[-1] for run in results
                 for r in run["requests"]}
        if by_delta and "ombrix" in asked or not by_delta and "ombrix" not in asked:
            raise BenchError(f"the runs asked for {sorted(asked)}")
        return results

    def deltas(self) -> None:
        """An update by delta beside the whole program of the same release, bytes on the wire
        and time to the relaunch question: (a) the test product rebuilt with one function
        changed, (b) a real pair, two published versions of a signed PE from Debian's archive
        (EFI binaries, which no updater installs: each is the body of a test product). Then the
        peak memory of the apply, on a 64 MiB product, against its bound."""
        pe_pair = subprocess.run([sys.executable, str(HERE / "debian_pe_pair.py"), "--dir",
                                  str(self.out / "debian-pe")], capture_output=True, text=True,
                                 check=True).stdout.split()
        real = dict(zip(pe_pair[0::2], pe_pair[1::2]))
        bodies = self.out / "bodies"
        pairs = [
            ("(a) the test product rebuilt with one function changed",
             self.bench_tool("rebuilt-1/Ombrix.exe"), self.bench_tool("rebuilt-2/Ombrix.exe"),
             DELTA_REBUILD_MAX),
            ("(b) grubx64.efi.signed of two Debian releases, as the body of the test product",
             with_body(harness.tool("tools/product-old/Ombrix.exe"), pathlib.Path(real["old"]),
                       bodies / "real-old.exe"),
             with_body(harness.tool("tools/product-new/Ombrix.exe"), pathlib.Path(real["new"]),
                       bodies / "real-new.exe"),
             DELTA_REAL_MAX),
        ]
        for label, old, new, goal in pairs:
            note(f"delta, {label}")
            runs = {"whole": self.release_runs(old, new, False, DOWNLOAD_RUNS),
                    "delta": self.release_runs(old, new, True, DOWNLOAD_RUNS)}
            self.results[f"delta {label}"] = runs
            wire = {k: figures.median([sum(r["request_length"] + r["bytes_sent"]
                                           for r in run["requests"]) for run in v])
                    for k, v in runs.items()}
            seconds = {k: figures.median([run["seconds"] for run in v]) for k, v in runs.items()}
            self.emit(figures.delta_line(label, new.stat().st_size, wire["delta"], wire["whole"],
                                         seconds["delta"], seconds["whole"], goal))
        label, size = QUIET_SIZE
        old = make_body(harness.tool("tools/product-old/Ombrix.exe"), size,
                        bodies / f"ombrix-old-{size // MIB}MiB.exe")
        new = make_body(harness.tool("tools/product-new/Ombrix.exe"), size,
                        bodies / f"ombrix-{size // MIB}MiB.exe")
        note(f"delta, the memory of the apply on a {label} product")
        whole = self.release_runs(old, new, False, 1)[0]["peak"]
        delta = self.release_runs(old, new, True, 1)[0]["peak"]
        self.emit(figures.delta_memory_line(label, delta, whole,
                                            old.stat().st_size + new.stat().st_size + 16 * MIB))



    def window_once(self, name: str, exe: pathlib.Path, folder: pathlib.Path,
                    caption: str) -> float:
        """Seconds to the visible window; the peak working set by then is kept under `name`."""
        run = self.probe("window", "--cmdline", quoted(exe), "--cwd",
                         harness.to_windows_path(folder), "--caption", caption, timeout=60)
        peaks = self.results.setdefault("memory at window", {})
        peaks[name] = max(peaks.get(name, 0), run["peak_working_set"])
        return run["us_to_window"] / 1e6

    def whole_run_once(self, exe: pathlib.Path, folder: pathlib.Path) -> float:
        run = self.probe("run", "--cmdline", quoted(exe), "--cwd",
                         harness.to_windows_path(folder), timeout=60)
        if run["exit_code"] != 0:
            raise BenchError(f"{exe.name} ended with {run['exit_code']}")
        return run["us_to_end"] / 1e6

    # --- the four figures ----------------------------------------------------------------

    def download_runs(self, size: int, with_curl: bool, with_window: bool = False) -> dict:
        """DOWNLOAD_RUNS runs of each program, interleaved, of one body size."""
        product = harness.tool("tools/product-new/Ombrix.exe")
        body = make_body(product, size, self.out / "bodies" / f"ombrix-{size // MIB}MiB.exe")
        if not is_windows_program(body):
            raise BenchError(f"{body} is not a Windows program")
        self.serve(body)
        runs = {"curl": [], "reader": [], "windowed": [], "update": []}
        for number in range(DOWNLOAD_RUNS):
            note(f"download {size // MIB} MiB, run {number + 1} of {DOWNLOAD_RUNS}")
            if with_curl:
                runs["curl"].append(self.curl_once(size))
            runs["reader"].append(self.reader_once(size))
            if with_window:
                runs["windowed"].append(self.windowed_reader_once(size))
            runs["update"].append(self.update_once(size))
        return runs

    def downloads(self) -> None:
        def seconds(runs, who):
            return figures.median([r["seconds"] for r in runs[who]])

        # A body of 1 MiB shows what every download costs besides its bytes: start-up,
        # request, file creation, the end. What goes beyond it is the streaming rate.
        fixed_label, fixed_size = SMALL_SIZE
        fixed = self.download_runs(fixed_size, with_curl=False, with_window=True)
        self.results[f"download {fixed_label}"] = fixed
        fixed_update, fixed_reader = seconds(fixed, "update"), seconds(fixed, "reader")
        self.emit(figures.fixed_cost_line(fixed_label, fixed_update, fixed_reader,
                                          FIXED_COST_MAX))
        # The reader shows no window. The same download in a minimal window with a progress bar,
        # ending on the same text, is what any such program pays under Wine: the ratio's floor.
        self.emit(figures.fixed_cost_floor_line(fixed_label, fixed_update,
                                                figures.median(fixed["windowed"]), fixed_reader))
        peaks = {}
        for label, size in SIZES:
            runs = self.download_runs(size, with_curl=True)
            self.results[f"download {label}"] = runs
            curl_s = figures.median(runs["curl"])
            reader_s, update_s = seconds(runs, "reader"), seconds(runs, "update")
            self.emit(figures.download_line(
                label, figures.throughput(size, update_s), update_s,
                figures.throughput(size, reader_s), figures.throughput(size, curl_s),
                THROUGHPUT_MIN))
            self.emit(figures.answer_line(
                label, max(r["slowest_answer"] for r in runs["update"]), ANSWER_MAX_MS,
                max(r["first_answer"] for r in runs["update"]),
                max(r["end_answer"] for r in runs["update"])))
            self.emit(figures.reference_line(label, figures.throughput(size, reader_s),
                                             figures.throughput(size, curl_s)))
            streamed = size - fixed_size
            self.emit(figures.streaming_line(
                label, figures.throughput(streamed, update_s - fixed_update),
                figures.throughput(streamed, reader_s - fixed_reader)))
            # The peak is a worst case: the highest of the runs, for both programs.
            peaks[label] = (max(r["peak"] for r in runs["update"]),
                            max(r["peak"] for r in runs["reader"]))
        for label, _ in SIZES:
            update_peak, reader_peak = peaks[label]
            self.emit(figures.memory_line(label, update_peak, reader_peak, MEMORY_MAX))
        (small, _), (large, _) = SIZES
        self.emit(figures.memory_growth_line(small, peaks[small][0], large, peaks[large][0],
                                             MEMORY_GROWTH))
        # What any window costs under Wine, beside the reader, which shows none.
        at_window = self.results.get("memory at window")
        if not at_window:
            return  # the start-up runs, which read these peaks, were left out
        reader_peak = min(reader for _, reader in peaks.values())
        self.emit(figures.memory_baseline_line("the minimal window program",
                                               at_window["minimal window"],
                                               "the plain reader's peak", reader_peak))
        self.emit(figures.memory_baseline_line("Update.exe", at_window["Update.exe"],
                                               "the minimal window program",
                                               at_window["minimal window"]))

    def quiet(self) -> None:
        """A quiet run of a signed build beside a full run of the same release: in a fresh
        folder with the old product the full run reads the statement, downloads the whole
        program and installs it (timed to the relaunch question); the quiet run that follows in
        the same folder reads the statement, which names the installed bytes, and ends."""
        label, size = QUIET_SIZE
        body = make_body(harness.tool("tools/product-new/Ombrix.exe"), size,
                         self.out / "bodies" / f"ombrix-{size // MIB}MiB.exe")
        self.publish(body)
        runs = {"full": [], "quiet": []}
        for number in range(DOWNLOAD_RUNS):
            note(f"quiet run, {label} product, run {number + 1} of {DOWNLOAD_RUNS}")
            folder = self.folder(**{"Update.exe": self.signed / "apps" / "Update.exe",
                                    "Ombrix.exe": harness.tool("tools/product-old/Ombrix.exe")})
            runs["full"].append(self.boxed_once(folder, "no", QUESTION_START, 0))
            runs["quiet"].append(self.boxed_once(folder, "ok", NEWEST_TEXT, EXIT_NEWEST))
            shutil.rmtree(folder)
        self.results[f"quiet run {label}"] = runs

        def wire(run):  # both ways, headers and body
            return sum(r["request_length"] + r["bytes_sent"] for r in run["requests"])

        # The worst quiet run against the median full run.
        quiet_bytes = max(wire(run) for run in runs["quiet"])
        quiet_body = max(sum(r["body_bytes_sent"] for r in run["requests"]
                             if not r["request"].split(" ")[1].endswith(".release"))
                         for run in runs["quiet"])
        self.emit(figures.quiet_run_line(
            label, figures.median([r["seconds"] for r in runs["quiet"]]),
            figures.median([r["seconds"] for r in runs["full"]]), quiet_bytes, quiet_body,
            figures.median([wire(run) for run in runs["full"]]), QUIET_WIRE_MAX))

    def footprint(self) -> None:
        # The shipped form's files, which need not be the ones Wine runs here.
        system = system_dlls(self.s.prefix)
        minimal = pe_facts(self.ship_tree / "minimal_window.exe")
        reference = "the minimal window program"
        for name, path, limit, code_limit in [
                ("Update.exe", self.ship / "apps/Update.exe", UPDATE_LIMIT, UPDATE_CODE_LIMIT),
                ("Brevik.exe", self.ship / "apps/Brevik.exe", BREVIK_LIMIT, None)]:
            facts = pe_facts(path)
            self.results[f"size {name}"] = facts._asdict()
            self.emit(figures.size_line(name, facts.size, facts.stripped, facts.imports,
                                        foreign_imports(facts.imports, system), reference,
                                        minimal.size, limit, facts.code_and_data, code_limit))
        self.results["size minimal window"] = minimal._asdict()
        self.emit(figures.size_line("minimal window program", minimal.size, minimal.stripped,
                                    minimal.imports, foreign_imports(minimal.imports, system),
                                    reference, minimal.size, None))

    def startup(self) -> None:
        # Update asks for the plain product while it starts: a short, ordinary download.
        self.serve(harness.tool("tools/product-new/Ombrix.exe"))
        update_folder = self.folder(**{"Update.exe": harness.tool("apps/Update.exe")})
        brevik_folder = self.folder(**{"Brevik.exe": harness.tool("apps/Brevik.exe")})
        minimal_window = self.bench_tool("minimal_window.exe")
        minimal_registry = self.bench_tool("minimal_registry.exe")
        pairs = [
            ("Update.exe to its window", "the minimal window program",
             lambda: self.window_once("Update.exe", update_folder / "Update.exe",
                                      update_folder, CAPTION),
             lambda: self.window_once("minimal window", minimal_window, self.scratch,
                                      MINIMAL_CAPTION)),
            ("Brevik.exe whole run", "the minimal registry writer",
             lambda: self.whole_run_once(brevik_folder / "Brevik.exe", brevik_folder),
             lambda: self.whole_run_once(minimal_registry, self.scratch)),
        ]
        maximum = {label: STARTUP_MAX for label, *_ in pairs}
        runs = {label: STARTUP_RUNS for label, *_ in pairs}
        baseline = os.environ.get("OMBRIX_BENCH_BASELINE_DIR")
        if baseline:
            tree = pathlib.Path(baseline) / "apps"
            old_update = self.folder(**{"Update.exe": tree / "Update.exe"})
            old_brevik = self.folder(**{"Brevik.exe": tree / "Brevik.exe"})
            against = "the baseline build"
            pairs += [
                (f"Update.exe to its window, against {against}", against, pairs[0][2],
                 lambda: self.window_once("baseline Update.exe", old_update / "Update.exe",
                                          old_update, CAPTION)),
                (f"Brevik.exe whole run, against {against}", against, pairs[1][2],
                 lambda: self.whole_run_once(old_brevik / "Brevik.exe", old_brevik)),
            ]
            maximum.update({label: BASELINE_MAX for label, *_ in pairs[2:]})
            runs.update({label: BASELINE_RUNS for label, *_ in pairs[2:]})
        for label, reference, measure, measure_reference in pairs:
            note(f"start-up {label}")
            # One untimed run each first: the first start of a program in a prefix loads
            # its DLLs from a cold cache.
            measure()
            measure_reference()
            times, reference_times = [], []
            for _ in range(runs[label]):
                times.append(measure())
                reference_times.append(measure_reference())
            self.results[f"start-up {label}"] = {"program": times, "reference": reference_times}
            self.emit(figures.startup_line(label, figures.median(times), runs[label], reference,
                                           figures.median(reference_times), maximum[label]))

    def run(self) -> None:
        self.scratch.mkdir(parents=True, exist_ok=True)
        self.server = Nginx(self.out / "nginx", self.port, self.docroot)
        self.server.start()
        try:
            note(f"nginx serves {self.url}")
            for name, measure in [("footprint", self.footprint), ("startup", self.startup),
                                  ("download", self.downloads), ("quiet", self.quiet),
                                  ("delta", self.deltas)]:
                if name in self.only:
                    measure()
        finally:
            self.server.stop()
        (self.out / "results.json").write_text(json.dumps(self.results, indent=2))
        (self.out / "figures.txt").write_text("\n".join(self.lines) + "\n")


def main() -> int:
    # A terminated bench still stops its server and its session on the way out.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    out = pathlib.Path(os.environ["OMBRIX_BENCH_OUT"])
    tree = pathlib.Path(os.environ["OMBRIX_BENCH_TREE"])
    ship = pathlib.Path(os.environ.get("OMBRIX_BENCH_SHIP_DIR") or harness.win_build_dir())
    ship_tree = pathlib.Path(os.environ.get("OMBRIX_BENCH_SHIP_TREE") or tree)
    out.mkdir(parents=True, exist_ok=True)
    started = time.monotonic()
    # The session's own messages are progress too.
    with contextlib.redirect_stdout(sys.stderr):
        session = harness.setup()
    try:
        Bench(session, out, tree, ship, ship_tree).run()
    except (BenchError, harness.HarnessError, OSError, subprocess.SubprocessError) as error:
        print(f"bench: a measurement failed: {error}", file=sys.stderr)
        return 1
    finally:
        with contextlib.redirect_stdout(sys.stderr):
            harness.teardown()
    note(f"done in {time.monotonic() - started:.0f} s; figures in {out / 'figures.txt'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
