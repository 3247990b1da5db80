#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The kivo command as a desktop program: bad arguments, FOLDER from elsewhere, signals.

Bad arguments run offscreen and must end with status 2, what is wrong on stderr and no
window. The rest runs the real binary under Xvfb (real X input to start a programme):
SIGTERM in the list ends with 143, SIGINT during a held line of a programme played from
FOLDER (given from another current directory) ends with 130, SIGHUP while the run-time
error box is up ends with 129; each within a second, the music closed before the end.
Cancelling the --choose-folder dialog ends with 0 before the opening. A programme file
given as FOLDER plays its folder with that programme chosen; without a terminal, an
unusable folder is also said in a box.
"""
import os
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_road  # noqa: E402  (shares its programme files and X helpers)
from e2e_road import fail  # noqa: E402

KIVO = e2e_road.KIVO


def bad_arguments(folder):
    a_file = os.path.join(folder, "mika1.bmp")
    cases = [
        ["/no/such/folder"],
        [a_file],
        ["--no-such-option"],
        ["--scale", "9"],
        ["--scale"],
        [folder, folder],
    ]
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", SDL_AUDIODRIVER="dummy", KIVO_TRACE="1")
    for args in cases:
        run = subprocess.run([KIVO, *args], env=env, cwd="/", capture_output=True, timeout=10)
        lines = run.stderr.decode("utf-8", "replace").splitlines()
        if run.returncode != 2 or len(lines) > 2 or not lines[0].startswith("kivo: "):
            fail(f"{args}: status {run.returncode}, stderr {lines!r}")
        if b"state Opening" in run.stderr or run.stdout:
            fail(f"{args}: went on after the error")


class Run(e2e_road.Run):
    """kivo started with arguments from another current directory."""

    def __init__(self, folder, display, args, cwd):
        self.env = dict(os.environ, DISPLAY=display, KIVO_TRACE="1", QT_QPA_PLATFORM="xcb", SDL_AUDIODRIVER="dummy")
        self.trace_path = os.path.join(folder, "trace.txt")
        self.trace_file = open(self.trace_path, "wb")
        self.proc = subprocess.Popen([KIVO, *args], cwd=cwd, env=self.env, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=self.trace_file)
        self.start = time.monotonic()

    def end_by(self, number, expected):
        sent = time.monotonic()
        self.proc.send_signal(number)
        try:
            status = self.proc.wait(timeout=1.0)
        except subprocess.TimeoutExpired:
            fail(f"signal {number} did not end kivo within 1 s")
        if status != expected:
            fail(f"signal {number}: status {status}, wanted {expected}")
        events = self.events()
        if events[-1] != f"exit {expected}":
            fail(f"signal {number}: trace ends with {events[-1]!r}")
        close = [i for i, e in enumerate(events) if e.startswith('mci "close Midi"')]
        if not close or events.index(f"signal {number}") > close[-1]:
            fail(f"signal {number}: music not closed after the signal")
        return time.monotonic() - sent


def signals(folder, display, elsewhere):
    run = Run(folder, display, [], folder)
    try:
        run.wait_for('list "二番目, の番組')
        run.end_by(signal.SIGTERM, 143)
    finally:
        if run.proc.poll() is None:
            run.proc.kill()

    # FOLDER from another current directory: its list, its pictures, then Ctrl+C mid-line.
    run = Run(folder, display, [folder], elsewhere)
    try:
        i = run.wait_for('list "はじめての番組')
        form2 = run.window()
        run.click(form2, (120 + 600) // e2e_road.TWIPS, 720 // e2e_road.TWIPS + 8, repeat=2)
        i = run.wait_for('caption "こんにちは"', i)
        # The line is held once its speech animation is over and the trace goes quiet.
        count = -1
        while count != len(run.events()):
            count = len(run.events())
            time.sleep(0.5)
        if run.events()[-1] != 'speaker "mika1.bmp"':
            fail(f"not holding the line: {run.events()[-1]!r}")
        if any(e.startswith("error") for e in run.events()):
            fail("a picture did not load from FOLDER")
        run.end_by(signal.SIGINT, 130)
    except SystemExit:
        print("\n".join(run.events()[-20:]))
        raise
    finally:
        if run.proc.poll() is None:
            run.proc.kill()


def broken_programme(folder):
    with open(os.path.join(folder, "KIVO.001"), "wb") as f:
        f.write(e2e_road.scenario(["1,こわれた番組", "[pictureinit]", "ミカ=nothere.bmp,nothere.bmp", "[pre]",
                                   "ミカ：x", "[menu]", "ＥＮＤ", "[ＥＮＤ]", "ミカ：y", "[eof]"]))


def box_and_dialog(display, elsewhere):
    with tempfile.TemporaryDirectory() as folder:
        broken_programme(folder)
        run = Run(folder, display, [folder], elsewhere)
        try:
            i = run.wait_for('list "こわれた番組')
            run.click(run.window(), (120 + 600) // e2e_road.TWIPS, 720 // e2e_road.TWIPS + 8, repeat=2)
            run.wait_for("error 53", i)
            run.xdo("search", "--sync", "--onlyvisible", "--name", "ミルカナランド放送局")
            time.sleep(0.3)  # the box is up once its loop runs
            run.end_by(signal.SIGHUP, 129)
        finally:
            if run.proc.poll() is None:
                run.proc.kill()

        # The menu entry's way in; the last folder is remembered under XDG_CONFIG_HOME.
        os.environ["XDG_CONFIG_HOME"] = folder
        run = Run(folder, display, ["--choose-folder"], elsewhere)
        try:
            # A folder without programmes is said in a box, and the dialog asks again.
            empty = os.path.join(folder, "empty")
            os.mkdir(empty)
            dialog = run.xdo("search", "--sync", "--onlyvisible", "--name", "番組のフォルダ").split()[-1]
            run.xdo("windowfocus", "--sync", dialog)
            run.xdo("type", "--delay", "20", empty)
            run.key(dialog, "Return")
            box = run.xdo("search", "--sync", "--onlyvisible", "--name", "ミルカナランド放送局").split()[-1]
            run.key(box, "Return")
            time.sleep(0.5)
            dialog = run.xdo("search", "--sync", "--onlyvisible", "--name", "番組のフォルダ").split()[-1]
            run.key(dialog, "Escape")
            status = run.proc.wait(timeout=5)
            if status != 0 or any(e.startswith("state") for e in run.events()) or \
                    not any("no programmes" in e for e in run.events()):
                fail(f"cancelled folder dialog: status {status}, {run.events()[-3:]}")
        finally:
            if run.proc.poll() is None:
                run.proc.kill()


def opened_with(folder, display, elsewhere):
    """"Open with" on a programme file plays its folder with that programme chosen; with no
    terminal, a folder that cannot be played is said in a box as well."""
    run = Run(folder, display, [os.path.join(folder, "kivo.002")], elsewhere)
    try:
        run.wait_for('list "二番目')
        time.sleep(0.3)
        run.click(run.window(), (3480 + 600) // e2e_road.TWIPS, (3000 + 187) // e2e_road.TWIPS)  # START
        run.wait_for('start "KIVO.002"')
    finally:
        run.proc.kill()
        run.proc.wait()
    run = Run(folder, display, ["/no/such/folder"], elsewhere)
    try:
        box = run.xdo("search", "--sync", "--onlyvisible", "--name", "ミルカナランド放送局").split()[-1]
        run.key(box, "Return")
        if run.proc.wait(timeout=5) != 2:
            fail(f"unusable folder from the desktop: status {run.proc.returncode}")
    finally:
        if run.proc.poll() is None:
            run.proc.kill()


def main():
    with tempfile.TemporaryDirectory() as folder, tempfile.TemporaryDirectory() as elsewhere:
        e2e_road.write_programmes(folder)
        bad_arguments(folder)
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        display = ":" + xvfb.stdout.readline().decode().strip()
        try:
            signals(folder, display, elsewhere)
            opened_with(folder, display, elsewhere)
            box_and_dialog(display, elsewhere)
        finally:
            xvfb.terminate()
            xvfb.wait()
    print("PASS: 1 passed, 0 failed")


if __name__ == "__main__":
    main()
