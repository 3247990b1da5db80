#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Every mode of the real binary, with no display: what the user typed is honoured or
refused, signals end each mode with 128 + N, and a recording is never lost or left
unplayable (checked with FFmpeg's own tools).

Recordings run with QT_QPA_PLATFORM=xcb and no DISPLAY, as a CI job might: --record and
--check need no display whatever the environment says.
"""
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

KIVO = os.path.abspath(sys.argv[1])
DEMO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "demo")
NO_DISPLAY = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
HEADLESS = dict(NO_DISPLAY, QT_QPA_PLATFORM="xcb", SDL_AUDIODRIVER="dummy", KIVO_TRACE="1")
OFFSCREEN = dict(HEADLESS, QT_QPA_PLATFORM="offscreen")
failures = []


def fail(message):
    failures.append(message)
    print("FAIL:", message)


def scenario(lines):
    return "".join(l + "\r\n" for l in lines).encode("cp932")


def kivo(args, env=OFFSCREEN, cwd=None, timeout=60):
    return subprocess.run([KIVO, *args], env=env, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=timeout)


def probe(path):
    """Streams, duration and whether the index comes before the data, by ffprobe."""
    run = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=codec_type:format=duration", "-of",
                          "json", path], capture_output=True, text=True)
    info = json.loads(run.stdout or "{}")
    kinds = sorted(s["codec_type"] for s in info.get("streams", []))
    duration = float(info.get("format", {}).get("duration", "nan"))
    with open(path, "rb") as f:
        head = f.read(1 << 16)
    moov_first = b"moov" in head and (b"mdat" not in head or head.index(b"moov") < head.index(b"mdat"))
    return kinds, duration, moov_first


def decoded_frames(path):
    run = subprocess.run(["ffprobe", "-v", "quiet", "-count_frames", "-select_streams", "v", "-show_entries",
                          "stream=nb_read_frames", "-of", "csv=p=0", path], capture_output=True, text=True)
    return int((run.stdout.strip() or "0").split(",")[0] or 0)


def playable(path, what, at_least=1.0):
    kinds, duration, moov_first = probe(path)
    if kinds != ["audio", "subtitle", "video"]:
        fail(f"{what}: streams {kinds}")
    elif not (duration >= at_least):
        fail(f"{what}: duration {duration}")
    if path.endswith(".mp4") and not moov_first:
        fail(f"{what}: the MP4 index is not at the front")


def wait_for(proc, path, wanted, timeout=20):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        with open(path, "rb") as f:
            if wanted in f.read():
                return True
        if proc.poll() is not None:
            return False
        time.sleep(0.05)
    return False


def signals(work):
    """Each signal in each mode: status 128 + N within a second; music closed where it plays,
    the recording complete and playable."""
    slow = os.path.join(work, "slow")  # a programme that takes --check a few seconds
    os.mkdir(slow)
    with open(os.path.join(slow, "KIVO.001"), "wb") as f:
        f.write(scenario(["1,slow", "[pictureinit]", "ミカ=,", "[pre]", *["ミカ：あ"] * 1000000, "[menu]", "ＥＮＤ",
                          "[ＥＮＤ]"]))
    modes = {
        "play": ([DEMO], OFFSCREEN, b"state Selecting"),
        "broadcast": (["--broadcast", DEMO], OFFSCREEN, b"state Selecting"),
        "check": (["--check", slow], HEADLESS, b" check "),
        "record": (["--record", "OUT", "--demo"], HEADLESS, b"state Selecting"),
    }
    for mode, (args, env, ready) in modes.items():
        for number in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
            what = f"{mode} {number.name}"
            out = os.path.join(work, f"{mode}-{number.name}.mp4")
            trace = os.path.join(work, "trace.txt")
            with open(trace, "wb") as err:
                proc = subprocess.Popen([KIVO, *[out if a == "OUT" else a for a in args]], env=env, stderr=err,
                                        stdout=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
                try:
                    if not wait_for(proc, trace, ready):
                        fail(f"{what}: never got going")
                        continue
                    sent = time.monotonic()
                    proc.send_signal(number)
                    status = proc.wait(timeout=5)
                    if time.monotonic() - sent > 1.0:
                        fail(f"{what}: took {time.monotonic() - sent:.2f} s to end")
                finally:
                    if proc.poll() is None:
                        proc.kill()
                        proc.wait()
            if status != 128 + number:
                fail(f"{what}: status {status}, wanted {128 + number}")
            with open(trace, "rb") as f:
                text = f.read().decode("utf-8", "replace")
            if mode in ("play", "broadcast") and f"signal {int(number)}\n" not in text.split('mci "close Midi"')[-2]:
                fail(f"{what}: music not closed after the signal")
            if mode == "record":
                playable(out, what)
                if os.path.exists(out + ".partial.mkv"):
                    fail(f"{what}: the partial file was left")


def recordings(work):
    folder = os.path.join(work, "tiny")
    os.mkdir(folder)
    shutil.copy(os.path.join(DEMO, "HOSHI.MID"), os.path.join(folder, "TUNE.MID"))
    with open(os.path.join(folder, "KIVO.001"), "wb") as f:
        f.write(scenario(["1,tiny", "[pictureinit]", "ミカ=,", "[pre]", "@PLAY tune.mid", "ミカ：あいう",
                          "ミカ：かきく", "[menu]", "ＥＮＤ", "[ＥＮＤ]", "ミカ：ん", "[EOF]"]))
    with open(os.path.join(folder, "KIVO.002"), "wb") as f:  # faults at 0 s; names a film it plays
        f.write(scenario(["2,fault", "[pictureinit]", "ミカ=film.mkv,", "[pre]", "ミカ　コロンなし", "[menu]"]))
    rec = ["--record"]
    out = lambda name: os.path.join(work, name)  # noqa: E731

    # Finished files in each container, and what must be refused (status 2, nothing written).
    for name in ("done.mp4", "done.mkv", "done.webm"):
        run = kivo([*rec, out(name), "--programme", "KIVO.001", folder], env=HEADLESS)
        if run.returncode != 0:
            fail(f"{name}: status {run.returncode} {run.stderr[-300:]!r}")
        playable(out(name), name, 1.5)
    open(os.path.join(folder, "FILM.MKV"), "wb").write(b"the programme's own")
    before = open(out("done.mkv"), "rb").read()
    for args, says in [
        ([out("x.avi")], b".mp4, .webm or .mkv"),
        ([out("noext")], b".mp4, .webm or .mkv"),
        ([out("done.mkv")], b"already exists"),
        ([out("no/such/folder/x.webm")], b"cannot write"),
        ([os.path.join(folder, "film.mkv"), "--overwrite"], b"used by the programmes"),
        ([out("x.mkv"), "--check"], b"does not take"),
        ([out("x.mkv"), "--fullscreen"], b"does not take"),
        ([out("x.mkv"), "--broadcast"], b"does not take"),
    ]:
        run = kivo([*rec, *args, "--programme", "KIVO.001", folder], env=HEADLESS)
        if run.returncode != 2 or says not in run.stderr:
            fail(f"{args}: status {run.returncode}, {run.stderr[-200:]!r}")
    if open(out("done.mkv"), "rb").read() != before or open(os.path.join(folder, "FILM.MKV"), "rb").read() != b"the programme's own":
        fail("a refused recording changed a file")
    if any(os.path.exists(out(n)) for n in ("x.avi", "noext", "x.mkv")):
        fail("a refused recording left a file")
    run = kivo([*rec, out("done.mkv"), "--overwrite", "--programme", "KIVO.001", folder], env=HEADLESS)
    if run.returncode != 0 or open(out("done.mkv"), "rb").read() == before:
        fail(f"--overwrite: status {run.returncode}")

    # A fault at 0 s records nothing: no OUT at all.
    run = kivo([*rec, out("nothing.mp4"), "--programme", "KIVO.002", folder], env=HEADLESS)
    if run.returncode != 1 or os.listdir(work).count("nothing.mp4") or b"nothing was recorded" not in run.stderr:
        fail(f"nothing recorded: status {run.returncode}, {sorted(os.listdir(work))}")

    # SIGKILL: OUT absent, the partial file named so and playable up to its last second.
    killed = out("killed.mp4")
    proc = subprocess.Popen([KIVO, *rec, killed, DEMO], env=HEADLESS, stderr=subprocess.DEVNULL)
    time.sleep(3)
    proc.kill()
    proc.wait()
    if os.path.exists(killed) or decoded_frames(killed + ".partial.mkv") < 30:
        fail(f"SIGKILL: OUT there {os.path.exists(killed)}, partial frames {decoded_frames(killed + '.partial.mkv')}")

    # A full disk: the message names OUT and what was kept; what is kept plays.
    disk = out("disk")
    os.mkdir(disk)
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", disk], capture_output=True).returncode != 0:
        print("SKIP: the full-disk case needs to mount a small tmpfs (root)")
        return
    try:
        for name, kept in (("full.mkv", "full.mkv"), ("full.mp4", "full.mp4.partial.mkv")):
            run = kivo([*rec, os.path.join(disk, name), DEMO], env=HEADLESS, timeout=120)
            err = run.stderr.decode("utf-8", "replace")
            if run.returncode != 1 or f"cannot write {disk}/{name}" not in err or f"{disk}/{kept}" not in err:
                fail(f"full disk {name}: status {run.returncode}, {err[-300:]!r}")
            if os.listdir(disk) != [kept] or decoded_frames(os.path.join(disk, kept)) < 30:
                fail(f"full disk {name}: left {os.listdir(disk)}")
            for f in os.listdir(disk):
                os.remove(os.path.join(disk, f))
    finally:
        subprocess.run(["umount", disk])


def folders_and_fonts(work):
    # FOLDER in CP932 bytes, as unzip leaves it: checked and played.
    sjis = os.path.join(work.encode(), "番組".encode("cp932"))
    os.mkdir(sjis)
    shutil.copy(os.path.join(DEMO, "KIVO.001"), os.path.join(sjis, b"KIVO.001"))
    run = kivo(["--check", sjis], env=HEADLESS)
    if run.returncode == 2 or b"KIVO.001" not in run.stdout:  # its pictures are missing: status 1
        fail(f"--check on a CP932 folder: status {run.returncode} {run.stderr[-200:]!r}")
    # Play mode starts and lists it; the empty folder and the bad SoundFont are said once each.
    empty = os.path.join(work, "empty")
    os.mkdir(empty)
    for args, says in [
        ([sjis], b'list "'),
        ([empty], b"no programmes (KIVO.001 to KIVO.100) in"),
        (["--soundfont", "/etc/passwd", "--demo"], b"/etc/passwd: not a SoundFont; music uses the system's"),
    ]:
        trace = os.path.join(work, "play.txt")
        with open(trace, "wb") as err:
            proc = subprocess.Popen([KIVO, *args], env=OFFSCREEN, stderr=err, stdin=subprocess.DEVNULL)
            ok = wait_for(proc, trace, b"state Selecting") and wait_for(proc, trace, says, 5)
            proc.terminate()
            proc.wait()
        text = open(trace, "rb").read()
        if not ok or text.count(says) != 1:
            fail(f"{args}: {text[-400:]!r}")
    # The SoundFont reaches the music in play and record: music opens (not 343).
    run = kivo(["--record", os.path.join(work, "font.mkv"), "--programme", "KIVO.001", "--soundfont", "/etc/passwd",
                os.path.join(work, "tiny")], env=HEADLESS)
    if run.returncode != 0 or b"/etc/passwd: not a SoundFont" not in run.stderr:
        fail(f"--record --soundfont: status {run.returncode} {run.stderr[-300:]!r}")
    # A name that is not UTF-8 would be written under other bytes: refused, nothing made.
    run = kivo(["--record", os.fsencode(work) + b"/caf\xe9.mkv", "--demo"], env=HEADLESS)
    if run.returncode != 2 or b"not UTF-8" not in run.stderr or any(n.startswith(b"caf") for n in os.listdir(os.fsencode(work))):
        fail(f"non-UTF-8 OUT: status {run.returncode} {run.stderr[-300:]!r}")
    # An empty station is said before any opening; --demo is honoured by --check.
    run = kivo(["--broadcast", "--once", empty])
    if run.returncode != 1 or b"nothing to broadcast" not in run.stderr or b"state Opening" in run.stderr:
        fail(f"empty station: status {run.returncode} {run.stderr[-300:]!r}")
    run = kivo(["--check", "--demo"], env=HEADLESS)
    if run.returncode != 0 or b"KIVO.003" not in run.stdout:
        fail(f"--check --demo: status {run.returncode} {run.stdout[-300:]!r}")
    # Without a display the player says so.
    run = kivo(["--demo"], env=dict(NO_DISPLAY, QT_QPA_PLATFORM=""))
    if run.returncode != 1 or b"no display" not in run.stderr:
        fail(f"no display: status {run.returncode} {run.stderr[-300:]!r}")
    run = kivo(["--demo"], env=dict(NO_DISPLAY, DISPLAY=":999", QT_QPA_PLATFORM=""))
    if run.returncode != 1 or b'cannot open the display ":999"' not in run.stderr:
        fail(f"unreachable display: status {run.returncode} {run.stderr[-300:]!r}")


def main():
    with tempfile.TemporaryDirectory() as work:
        recordings(work)
        folders_and_fonts(work)
        signals(work)
    if failures:
        raise SystemExit(1)
    print("PASS")


if __name__ == "__main__":
    main()
