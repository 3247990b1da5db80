#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The kivo executable as a viewer meets it, under Xvfb with no window manager.

rss_*_mb: resident memory in each phase (the opening, the programme list, a line held
without and with music, a long broadcast). first_window_ms: exec to the first window's
MapNotify on the root window, median of alternated runs, beside first_window_peer_ms
for a peer player on a one-line script (n/a without it). live_drift_percent: how much
longer the demo's first programme takes live than in a recording (virtual time), from
the dialogue lines' trace times. stream_cpu_percent_scale1/2: CPU of the demo streamed
live to an HLS folder, as a percentage of one core, after its start-up. stream_latency_s:
the longest time from a caption's trace line to the listing of the segment that shows it.
stream_drift_ms: picture, sound and captions apart at the end of the whole demo station
played on its virtual clock (the stream's timestamps, without waiting for real time): the
larger of the picture's and sound's ends apart and the furthest cue from its caption's
trace time. Prints "name value unit" lines.
"""
import os
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
KIVO = os.path.join(BUILD, "app", "kivo")
DEMO = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "demo")
BROADCAST_SECONDS = float(os.environ.get("KIVO_BENCH_BROADCAST_SECONDS", "60"))
WINDOW_RUNS = 7
PEER = shutil.which("onscripter", path=os.environ.get("PATH", "") + ":/usr/games")
PEER_FONT = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf"
TIMEOUT = 60


def report(name, value, unit):
    print(f"{name} {value} {unit}", flush=True)


def rss_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return round(int(line.split()[1]) / 1024, 1)
    return "n/a"


class Kivo:
    """kivo with its trace in a file; events() are the trace lines without their times."""

    def __init__(self, env, args, cwd):
        self.trace = tempfile.NamedTemporaryFile(prefix="kivo-bench-", suffix=".txt")
        self.env = env
        self.proc = subprocess.Popen([KIVO, *args], cwd=cwd, env=dict(env, KIVO_TRACE="1"),
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=self.trace)
        self.start = time.monotonic()

    def lines(self):
        with open(self.trace.name, "rb") as f:
            return f.read().decode("utf-8", "replace").splitlines()

    def wait_for(self, wanted, action=None, timeout=TIMEOUT):
        while not any(wanted in line for line in self.lines()):
            if self.proc.poll() is not None or time.monotonic() - self.start > timeout:
                raise RuntimeError(f"kivo did not reach {wanted!r}")
            if action:
                action()
            time.sleep(0.1)

    def end(self):
        if self.proc.poll() is None:
            self.proc.kill()
        self.proc.wait()
        self.trace.close()


def xdo(env, *args):
    return subprocess.run(["xdotool", *args], env=env, capture_output=True, text=True, timeout=10).stdout.split()


def hold_folder(folder, music):
    """One programme whose first line waits for the viewer, with or without a tune."""
    lines = ["1,hold", "[pictureinit]", "A=,", "[pre]"]
    if music:
        shutil.copy(os.path.join(DEMO, "NEWS.MID"), os.path.join(folder, "TUNE.MID"))
        lines.append("@PLAY TUNE.MID")
    lines += ["A：hold", "[menu]", "ＥＮＤ", "[ＥＮＤ]", "A：end", "[e]"]
    with open(os.path.join(folder, "KIVO.001"), "wb") as f:
        f.write("".join(l + "\r\n" for l in lines).encode("cp932"))


def memory(env):
    run = Kivo(env, ["--demo"], DEMO)
    try:
        time.sleep(2.5)
        report("rss_opening_mb", rss_mb(run.proc.pid), "MB")
        run.wait_for("state Selecting")
        time.sleep(1.5)
        report("rss_list_mb", rss_mb(run.proc.pid), "MB")
    finally:
        run.end()
    for name, music in (("rss_hold_mb", False), ("rss_hold_music_mb", True)):
        with tempfile.TemporaryDirectory() as folder:
            hold_folder(folder, music)
            run = Kivo(env, [], folder)
            try:
                run.wait_for('list "hold"')
                time.sleep(0.5)
                form2 = xdo(env, "search", "--onlyvisible", "--name", "ミルカナランド放送局")[-1]
                # The list's first row, double-clicked (as a viewer starts a programme).
                xdo(env, "mousemove", "--window", form2, "48", "56")
                run.wait_for('caption "hold"', action=lambda: xdo(env, "click", "--repeat", "2", "--delay", "80", "1"))
                time.sleep(3)
                report(name, rss_mb(run.proc.pid), "MB")
            finally:
                run.end()
    run = Kivo(env, ["--broadcast", DEMO], DEMO)
    try:
        run.wait_for("broadcast ")
        time.sleep(BROADCAST_SECONDS)
        report("rss_broadcast_mb", rss_mb(run.proc.pid), "MB")
    finally:
        run.end()


def first_window_ms(env, display, argv, cwd):
    from Xlib import X
    root = display.screen().root
    root.change_attributes(event_mask=X.SubstructureNotifyMask)
    display.sync()
    while display.pending_events():
        display.next_event()
    start = time.monotonic()
    proc = subprocess.Popen(argv, cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)
    try:
        while time.monotonic() - start < TIMEOUT:
            if not display.pending_events():
                select.select([display.fileno()], [], [], 0.5)
            while display.pending_events():
                if display.next_event().type == X.MapNotify:
                    return (time.monotonic() - start) * 1000
        return None
    finally:
        proc.kill()
        proc.wait()
        root.change_attributes(event_mask=0)
        display.sync()


def start_up(env):
    try:
        from Xlib import display as xdisplay
    except ImportError:
        report("first_window_ms", "n/a", "ms")
        report("first_window_peer_ms", "n/a", "ms")
        return
    display = xdisplay.Display(env["DISPLAY"])
    with tempfile.TemporaryDirectory() as peer_folder:
        with open(os.path.join(peer_folder, "0.txt"), "w", encoding="cp932") as f:
            f.write("*define\ngame\n*start\nこんにちは\\\nend\n")
        peer = PEER and os.path.exists(PEER_FONT)
        if peer:
            os.symlink(PEER_FONT, os.path.join(peer_folder, "default.ttf"))
        ours, theirs = [], []
        for _ in range(WINDOW_RUNS):
            ours.append(first_window_ms(env, display, [KIVO, "--demo"], DEMO))
            if peer:
                theirs.append(first_window_ms(env, display, [PEER, "-r", peer_folder], peer_folder))
    display.close()
    for name, times in (("first_window_ms", ours), ("first_window_peer_ms", theirs)):
        good = [t for t in times if t is not None]
        report(name, round(statistics.median(good)) if good and len(good) == len(times) else "n/a", "ms")


def dialogue_times(lines, first="KIVO.001"):
    """Trace times of the dialogue lines of the first programme played."""
    times, on = [], False
    for line in lines:
        stamp, _, event = line.partition(" ")
        if event.startswith(f'broadcast "{first}"'):
            on = True
        elif event.startswith("broadcast ") and on:
            break
        elif on and event.startswith('line "') and event[6:7] not in ";@[" and "：" in event:
            times.append(float(stamp))
    return times


def live_drift(env):
    recorder = os.path.join(BUILD, "libexec", "kivo", "kivo-record")
    if not os.path.exists(recorder):
        report("live_drift_percent", "n/a", "%")
        return
    with tempfile.TemporaryDirectory() as out:
        recorded = Kivo(dict(env, QT_QPA_PLATFORM="offscreen"),
                        ["--record", os.path.join(out, "a.mkv"), "--programme", "KIVO.001", "--scale", "1", DEMO], DEMO)
        recorded.proc.wait(timeout=300)
        virtual = dialogue_times(recorded.lines())
        recorded.end()
    live = Kivo(env, ["--broadcast", "--once", DEMO], DEMO)
    try:
        live.wait_for('broadcast "KIVO.002"', timeout=300)
        real = dialogue_times(live.lines())
    finally:
        live.end()
    if len(real) != len(virtual) or len(real) < 2:
        report("live_drift_percent", "n/a", "%")
        return
    drift = ((real[-1] - real[0]) / (virtual[-1] - virtual[0]) - 1) * 100
    report("live_drift_percent", f"{drift:.2f}", "%")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def stream(env, seconds=25):
    if not os.path.exists(os.path.join(BUILD, "libexec", "kivo", "kivo-record")):
        for name, unit in (("stream_cpu_percent_scale1", "%"), ("stream_cpu_percent_scale2", "%"), ("stream_latency_s", "s")):
            report(name, "n/a", unit)
        return
    for scale in (1, 2):
        with tempfile.TemporaryDirectory() as dest:
            proc = subprocess.Popen([KIVO, "--broadcast", "--stream", dest, "--scale", str(scale), "--demo"],
                                    env=dict(env, QT_QPA_PLATFORM="offscreen", KIVO_TRACE="1"),
                                    stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
            captions = []  # (wall time the trace line came, virtual seconds)

            def read():
                for raw in proc.stderr:
                    stamp, _, event = raw.decode("utf-8", "replace").partition(" ")
                    if event.startswith('caption "') and not event.startswith('caption ""'):
                        captions.append((time.monotonic(), float(stamp) / 1000))
            threading.Thread(target=read, daemon=True).start()
            listed = {}  # segment number -> wall time it was first listed
            start = time.monotonic()
            cpu_from = None
            while time.monotonic() - start < seconds:
                if cpu_from is None and time.monotonic() - start > 5:
                    cpu_from = (time.monotonic(), cpu_seconds(proc.pid))
                try:
                    with open(os.path.join(dest, "video.m3u8")) as f:
                        for line in f:
                            if line.startswith("video"):
                                listed.setdefault(int(line[5:-4]), time.monotonic())
                except FileNotFoundError:
                    pass
                time.sleep(0.05)
            cpu = (cpu_seconds(proc.pid) - cpu_from[1]) / (time.monotonic() - cpu_from[0]) * 100
            proc.terminate()
            proc.wait()
            report(f"stream_cpu_percent_scale{scale}", f"{cpu:.1f}", "%")
            # A new folder's segments are each 2 s: segment n shows [2n, 2n + 2).
            waits = [listed[int(t // 2)] - wall for wall, t in captions if int(t // 2) in listed]
            if scale == 2:
                report("stream_latency_s", f"{max(waits):.2f}" if waits else "n/a", "s")


def drift(env):
    if not os.path.exists(os.path.join(BUILD, "libexec", "kivo", "kivo-record")):
        report("stream_drift_ms", "n/a", "ms")
        return
    with tempfile.TemporaryDirectory() as out:
        video, subs = os.path.join(out, "all.mkv"), os.path.join(out, "all.srt")
        run = subprocess.run([KIVO, "--record", video, "--subtitles", subs, "--scale", "1", DEMO],
                             env=dict(env, QT_QPA_PLATFORM="offscreen", KIVO_TRACE="1"), capture_output=True,
                             stdin=subprocess.DEVNULL, timeout=900)
        ends = {}
        probe = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "packet=codec_type,pts_time,duration_time",
                                "-of", "csv=p=0", video], capture_output=True, text=True).stdout
        for line in probe.splitlines():
            kind, pts, duration = (line.split(",") + ["0", "0"])[:3]
            if kind in ("video", "audio") and pts not in ("", "N/A"):
                ends[kind] = max(ends.get(kind, 0), float(pts) + float(duration or 0))
        captions = [float(l.split(" ", 1)[0]) / 1000 for l in run.stderr.decode("utf-8", "replace").splitlines()
                    if ' caption "' in l and not l.endswith('caption ""')]
        stamp = lambda t: sum(float(x) * 60 ** i for i, x in enumerate(reversed(t.replace(",", ".").split(":"))))  # noqa: E731
        starts = [stamp(a) for a in __import__("re").findall(r"([\d:,]+) --> ", open(subs, encoding="utf-8").read())]
    if run.returncode != 0 or len(ends) != 2 or not starts:
        report("stream_drift_ms", "n/a", "ms")
        return
    cue_error = max(min(abs(s - c) for c in captions) for s in starts)
    report("stream_drift_ms", f"{max(abs(ends['video'] - ends['audio']), cue_error) * 1000:.1f}", "ms")


def main():
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    display = ":" + xvfb.stdout.readline().decode().strip()
    env = dict(os.environ, DISPLAY=display, QT_QPA_PLATFORM="xcb", SDL_AUDIODRIVER="dummy")
    env.pop("KIVO_TRACE", None)
    try:
        for part in sys.argv[2:] or ["memory", "start_up", "live_drift", "stream", "drift"]:
            globals()[part](env)
    finally:
        xvfb.terminate()
        xvfb.wait()


if __name__ == "__main__":
    main()
