"""Numbers to printed figures: one line per figure, each with its ratio to the reference it is
measured against and, where there is one, the target and whether it was met."""

import statistics
from typing import Optional, Sequence

MB = 1000 * 1000  # throughput in MB/s, as network tools count
KIB = 1024
MIB = 1024 * 1024


def median(values: Sequence[float]) -> float:
    return statistics.median(values)


def throughput(size: int, seconds: float) -> float:
    """MB/s."""
    return size / seconds / MB


def ratio(value: float, reference: float) -> float:
    return value / reference if reference else float("inf")


def verdict(met: bool) -> str:
    return "met" if met else "MISSED"


def target_note(text: str, met: Optional[bool]) -> str:
    return "" if met is None else f" [target {text}: {verdict(met)}]"


def download_line(label: str, update_mbs: float, update_s: float, reader_mbs: float,
                  curl_mbs: float, minimum: float) -> str:
    r = ratio(update_mbs, reader_mbs)
    return (f"download {label}: Update.exe {update_mbs:.1f} MB/s ({update_s:.2f} s), "
            f"ratio {r:.2f} of the plain reader ({reader_mbs:.1f} MB/s), "
            f"ratio {ratio(update_mbs, curl_mbs):.2f} of curl -o ({curl_mbs:.1f} MB/s)"
            + target_note(f">= {minimum:g} of the plain reader", r >= minimum))


def reference_line(label: str, reader_mbs: float, curl_mbs: float) -> str:
    return (f"download {label}: plain reader {reader_mbs:.1f} MB/s, "
            f"ratio {ratio(reader_mbs, curl_mbs):.2f} of curl -o ({curl_mbs:.1f} MB/s)")


def fixed_cost_line(label: str, update_s: float, reader_s: float,
                    maximum: Optional[float] = None) -> str:
    r = ratio(update_s, reader_s)
    return (f"download fixed cost ({label} body): Update.exe {update_s * 1000:.0f} ms, "
            f"ratio {r:.2f} of the plain reader ({reader_s * 1000:.0f} ms)"
            + ("" if maximum is None else
               target_note(f"<= {maximum:g} x the plain reader", r <= maximum)))


def fixed_cost_floor_line(label: str, update_s: float, windowed_s: float,
                          reader_s: float) -> str:
    return (f"download fixed cost ({label} body) floor: the windowed reader (the plain reader's "
            f"download in a minimal window with a progress bar) shows the final text in "
            f"{windowed_s * 1000:.0f} ms, ratio {ratio(windowed_s, reader_s):.2f} of the plain reader "
            f"({reader_s * 1000:.0f} ms); Update.exe takes {ratio(update_s, windowed_s):.2f} "
            f"of it")


def answer_line(label: str, slowest_s: float, maximum_ms: float,
                first_s: Optional[float] = None, end_s: Optional[float] = None) -> str:
    """The window's slowest answer to a message during the download, worst of the runs; apart
    from it the first message, which comes while the window is being shown, and the one that
    was answered only after the final text, behind the checks that follow the download."""
    ms = slowest_s * 1000
    apart = []
    if first_s is not None:
        apart.append(f"the first, while it was shown: {first_s * 1000:.1f} ms")
    if end_s is not None:
        apart.append(f"after the final text, during the checks: {end_s * 1000:.1f} ms")
    extra = f" ({'; '.join(apart)})" if apart else ""
    return (f"download {label}: the window answered every message within {ms:.1f} ms{extra}"
            + target_note(f"<= {maximum_ms:g} ms", ms <= maximum_ms))


def streaming_line(label: str, update_mbs: float, reader_mbs: float) -> str:
    return (f"download {label} beyond the fixed cost: Update.exe {update_mbs:.1f} MB/s, "
            f"ratio {ratio(update_mbs, reader_mbs):.2f} of the plain reader "
            f"({reader_mbs:.1f} MB/s)")


def memory_line(label: str, update_peak: int, reader_peak: int, maximum: float) -> str:
    r = ratio(update_peak, reader_peak)
    return (f"memory {label}: Update.exe peak working set {update_peak / MIB:.1f} MiB, "
            f"ratio {r:.2f} of the plain reader ({reader_peak / MIB:.1f} MiB)"
            + target_note(f"<= {maximum:g} x the plain reader", r <= maximum))


def memory_baseline_line(name: str, peak: int, reference_name: str, reference_peak: int) -> str:
    return (f"memory at window: {name} {peak / MIB:.1f} MiB, "
            f"ratio {ratio(peak, reference_peak):.2f} of {reference_name} "
            f"({reference_peak / MIB:.1f} MiB)")


def memory_growth_line(small_label: str, small: int, large_label: str, large: int,
                       allowed: int) -> str:
    difference = large - small
    return (f"memory growth: Update.exe peak {large_label} - {small_label} = "
            f"{difference / MIB:+.2f} MiB, "
            f"ratio {ratio(large, small):.3f} of the {small_label} peak"
            + target_note(f"within {allowed / MIB:g} MiB", abs(difference) <= allowed))


def size_line(name: str, size: int, stripped: bool, imports: Sequence[str],
              foreign: Sequence[str], reference_name: str, reference_size: int,
              limit: Optional[int], code_and_data: Optional[int] = None,
              code_limit: Optional[int] = None) -> str:
    dlls = ", ".join(imports) if imports else "none"
    origin = "all system DLLs" if not foreign else "NOT system DLLs: " + ", ".join(foreign)
    code = "" if code_and_data is None else f", {code_and_data / KIB:.0f} KiB not resources"
    note = ""
    if limit is not None:
        target = f"<= {limit // KIB} KiB"
        met = size <= limit and not foreign
        if code_limit is not None and code_and_data is not None:
            target += f", <= {code_limit // KIB} KiB not resources"
            met = met and code_and_data <= code_limit
        note = target_note(target + ", system DLLs only", met)
    return (f"size {name}: {size / KIB:.0f} KiB ({size} bytes{code}, "
            f"{'stripped' if stripped else 'NOT stripped'}), "
            f"ratio {ratio(size, reference_size):.1f} of {reference_name} "
            f"({reference_size / KIB:.0f} KiB); imports {dlls} ({origin})" + note)


def startup_line(label: str, seconds: float, runs: int, reference_name: str,
                 reference_seconds: float, maximum: float) -> str:
    r = ratio(seconds, reference_seconds)
    return (f"start-up {label}: median {seconds * 1000:.0f} ms of {runs}, "
            f"ratio {r:.2f} of {reference_name} ({reference_seconds * 1000:.0f} ms)"
            + target_note(f"<= {maximum:g} x {reference_name}", r <= maximum))


def quiet_run_line(label: str, quiet_s: float, full_s: float, quiet_bytes: int, quiet_body: int,
                   full_bytes: int, headers_max: int) -> str:
    """A signed build's run that finds nothing new against a full run of the same release: time
    to the box and bytes on the wire both ways."""
    met = quiet_body == 0 and quiet_bytes <= headers_max
    return (f"quiet run ({label} product, signed build, nothing new): Update.exe "
            f"{quiet_s * 1000:.0f} ms to the box, ratio {ratio(quiet_s, full_s):.3f} of a full "
            f"run of the same release to its relaunch question ({full_s * 1000:.0f} ms); "
            f"{quiet_bytes} bytes on the wire (program body {quiet_body}), ratio "
            f"{ratio(quiet_bytes, full_bytes):.6f} of the full run ({full_bytes} bytes)"
            + target_note(f"no program body, <= {headers_max} bytes in all", met))


def delta_line(label: str, size: int, delta_bytes: int, whole_bytes: int, delta_s: float,
               whole_s: float, goal: float) -> str:
    """An update by delta against the whole program of the same release: bytes on the wire both
    ways and time to the relaunch question."""
    share = ratio(delta_bytes, whole_bytes)
    return (f"update by delta, {label} ({size} bytes): {delta_bytes} bytes on the wire, ratio "
            f"{share:.4f} of the whole program's ({whole_bytes} bytes); {delta_s * 1000:.0f} ms to "
            f"the relaunch question, ratio {ratio(delta_s, whole_s):.3f} of the whole program's "
            f"({whole_s * 1000:.0f} ms)" + target_note(f"<= {goal:.0%} of the bytes", share <= goal))


def delta_memory_line(label: str, delta_peak: int, whole_peak: int, bound: int) -> str:
    """The peak working set of an update by delta against that of the same release taken whole:
    what applying the delta holds at once, against its bound (the installed product, the new one
    and 16 MiB)."""
    extra = delta_peak - whole_peak
    return (f"memory of applying a delta ({label} product): peak working set {delta_peak // MIB} "
            f"MiB, {extra / MIB:.1f} MiB above the whole program's update ({whole_peak // MIB} "
            f"MiB), ratio {ratio(extra, bound):.3f} of the bound ({bound / MIB:.0f} MiB: the "
            f"installed and the new product and 16 MiB)"
            + target_note(f"<= {bound / MIB:.0f} MiB", extra <= bound))
