"""Turns the JSON results of image_bench and frame_bench into one table.

With --windows LINUX WINDOWS it compares instead image_bench's results from
the Linux build (LINUX) with those from the Windows build under Wine
(WINDOWS), pixel for pixel at 1024 x 1024.

The drift and loading benchmarks run several times; the table takes the best
run of each, the one least disturbed by whatever else the machine was doing,
in CPU time (the work is single-threaded). frame_bench does the like itself:
it reports the best of many batches of frames, timed on the wall clock.
"""

import json
import sys


def load(paths):
    runs, context = {}, {}
    for path in paths:
        with open(path) as f:
            data = json.load(f)
        context.update(data["context"])
        for run in data["benchmarks"]:
            if run.get("run_type") == "iteration" and not run.get("error_occurred"):
                # "BM_Drift/256/min_time:0.200/repeats:5" -> "BM_Drift/256"
                name = "/".join(run["run_name"].split("/")[:2])
                runs.setdefault(name, []).append(run)
    return runs, context


def best(runs, name, key, better=min):
    if name not in runs:
        sys.exit(f"table.py: no results for {name}")
    return better(run[key] for run in runs[name])


def cpu_model():
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    return "unknown CPU"


def windows_table(linux_path, windows_path):
    linux, _ = load([linux_path])
    windows, _ = load([windows_path])
    print(f"{cpu_model()}; the Windows build under Wine\n")
    print("| at 1024², ns per pixel | Linux | Windows | Windows ÷ Linux | target | met |")
    print("|---|---|---|---|---|---|")
    for what, name, target in (
        ("drift", "BM_Drift/1024", 1.5),
        ("drift without AVX2", "BM_DriftPortable/1024", 1.5),
        ("one rand() call a pixel", "BM_StraightforwardDrift/1024", None),
        ("memory copy of the picture", "BM_CopyPicture/1024", None),
    ):
        on_linux = best(linux, name, "per_pixel") * 1e9
        on_windows = best(windows, name, "per_pixel") * 1e9
        ratio = on_windows / on_linux
        met = "" if target is None else ("yes" if ratio <= target else "**no**")
        print(
            f"| {what} | {on_linux:.2f} | {on_windows:.2f} | {ratio:.2f} | "
            f"{'' if target is None else f'≤ {target}'} | {met} |"
        )


def main():
    if sys.argv[1] == "--windows":
        windows_table(sys.argv[2], sys.argv[3])
        return
    runs, context = load(sys.argv[1:])
    rows = []
    # The drift as the program runs it, then its portable loop alone, which
    # processors without AVX2 run.
    for what, name, side in (
        ("drift", "BM_Drift", 256),
        ("drift", "BM_Drift", 1024),
        ("drift without AVX2", "BM_DriftPortable", 1024),
    ):
        # per_pixel is seconds per pixel of CPU time.
        fast = best(runs, f"{name}/{side}", "per_pixel") * 1e9
        plain = best(runs, f"BM_StraightforwardDrift/{side}", "per_pixel") * 1e9
        target = "≥ 8× faster" + (", ≤ 1.5 ns" if side == 1024 else "")
        met = plain / fast >= 8 and (side != 1024 or fast <= 1.5)
        rows.append(
            (
                f"{what} {side}², ns per pixel",
                f"{fast:.2f}",
                f"{plain:.2f} straightforward loop",
                f"{plain / fast:.1f}× faster",
                target,
                met,
            )
        )
    load_ms = best(runs, "BM_LoadBitmap/1024", "cpu_time") / 1e3
    fread_ms = best(runs, "BM_FreadWholeFile/1024", "cpu_time") / 1e3
    rows.append(
        (
            "load 1024², ms",
            f"{load_ms:.2f}",
            f"{fread_ms:.2f} one fread of the file",
            f"{load_ms / fread_ms:.1f}× as long",
            "≤ 3×",
            load_ms / fread_ms <= 3,
        )
    )
    # frame_bench has kept the best batch of frames of each kind.
    for what, counter, side, floor_share in (
        ("frames", "fps_with_drift", 256, 0.9),
        ("frames", "fps_with_drift", 1024, 0.8),
        ("frames without AVX2", "fps_portable_drift", 1024, 0.8),
    ):
        drift_fps = best(runs, f"BM_Frames/{side}", counter, max)
        floor_fps = best(runs, f"BM_Frames/{side}", "fps_without_drift", max)
        share = drift_fps / floor_fps
        rows.append(
            (
                f"{what} {side}², per second",
                f"{drift_fps:.0f}",
                f"{floor_fps:.0f} without the drift",
                f"{share:.2f} of it",
                f"≥ {floor_share}",
                share >= floor_share,
            )
        )

    print(
        f"{cpu_model()}, {context['num_cpus']} cores, "
        f"{context.get('gl_renderer', 'unknown GL')}\n"
    )
    header = ("what", "orvalis", "baseline", "ratio", "target", "met")
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for row in rows:
        print("| " + " | ".join(row[:-1]) + " | " + ("yes" if row[-1] else "**no**") + " |")


main()
