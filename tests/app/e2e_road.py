#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""End to end: the real kivo binary under Xvfb, driven by real X input (xdotool).

Waits out the opening, double-clicks the first title, advances "[pre]" with key presses,
presses an item button, chooses "ＥＮＤ", sees the list again, presses END, and checks
from the developer trace that every step happened in order and the exit status is 0, and
from the disk audio driver's output that the programme's tune was heard.
"""
import array
import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

KIVO = os.path.abspath(sys.argv[1])
DEMO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "demo")
TIMEOUT = 40.0
TWIPS = 15


def bmp(width, height, rgb):
    row = bytes(rgb[::-1]) * width
    row += b"\0" * ((4 - len(row) % 4) % 4)
    pixels = row * height
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 0, 0, 0, 0)
    return header + info + pixels


def silent_wav(path, seconds=1):
    data = b"\0\0" * 22050 * seconds
    fmt = struct.pack("<HHIIHH", 1, 1, 22050, 44100, 2, 16)
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", 36 + len(data)) + b"WAVEfmt " + struct.pack("<I", 16) + fmt +
                b"data" + struct.pack("<I", len(data)) + data)


def scenario(lines):
    return "".join(l + "\r\n" for l in lines).encode("cp932")


def write_programmes(folder):
    with open(os.path.join(folder, "KIVO.001"), "wb") as f:
        f.write(scenario([
            "1,はじめての番組",
            "[pictureinit]",
            "ミカ=mika1.bmp,MIKA2.BMP",
            "[pre]",
            "@PLAY TUNE.MID",
            "ミカ：こんにちは",
            "; a comment",
            "ミカ：二行目です",
            "[menu]",
            "てんき",
            "ＥＮＤ",
            "[てんき]",
            "@VIEW map.bmp",
            "ミカ：晴れです",
            "[ＥＮＤ]",
            "ミカ：さようなら",
            "[eof]",
        ]))
    with open(os.path.join(folder, "kivo.002"), "wb") as f:  # found whatever its case
        f.write(scenario(["2,\"二番目, の番組\"", "[pictureinit]", "A=,", "[pre]", "A：x", "[menu]", "ＥＮＤ", "[ＥＮＤ]", "A：y", "[e]"]))
    for name, colour in (("mika1.bmp", (200, 80, 80)), ("mika2.bmp", (80, 200, 80)), ("map.bmp", (80, 80, 200))):
        with open(os.path.join(folder, name), "wb") as f:
            f.write(bmp(40 if name != "map.bmp" else 120, 40 if name != "map.bmp" else 90, colour))
    shutil.copy(os.path.join(DEMO, "HOSHI.MID"), os.path.join(folder, "TUNE.MID"))
    # A silent opening, so that whatever the audio output holds is the tune.
    silent_wav(os.path.join(folder, "ZUDEMO.WAV"))


class Run:
    def __init__(self, folder, display):
        self.audio_path = os.path.join(folder, "audio.raw")
        self.env = dict(os.environ, DISPLAY=display, KIVO_TRACE="1", QT_QPA_PLATFORM="xcb",
                        SDL_AUDIODRIVER="disk", SDL_DISKAUDIOFILE=self.audio_path)
        self.trace_path = os.path.join(folder, "trace.txt")
        self.trace_file = open(self.trace_path, "wb")
        self.proc = subprocess.Popen([KIVO], cwd=folder, env=self.env, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.DEVNULL, stderr=self.trace_file)
        self.start = time.monotonic()

    def heard_seconds(self):
        """How long the audio output (16-bit stereo at 44.1 kHz) was not silent, in 0.1 s steps."""
        samples = array.array("h")
        with open(self.audio_path, "rb") as f:
            samples.frombytes(f.read())
        step = 4410 * 2
        loud = 0
        for at in range(0, len(samples) - step + 1, step):
            window = samples[at:at + step]
            if math.sqrt(sum(x * x for x in window) / step) > 0.01 * 32768:
                loud += 1
        return loud / 10

    def events(self):
        with open(self.trace_path, "rb") as f:
            text = f.read().decode("utf-8", "replace")
        return [line.split(" ", 1)[1] for line in text.splitlines() if " " in line]

    def wait_for(self, wanted, after=0, action=None, interval=0.25):
        """Waits until an event starting with `wanted` appears at index >= after; returns its index.
        `action`, when given, is repeated every `interval` seconds while waiting."""
        while True:
            events = self.events()
            for i in range(after, len(events)):
                if events[i].startswith(wanted):
                    return i
            if self.proc.poll() is not None:
                fail(f"kivo ended (status {self.proc.returncode}) while waiting for {wanted!r}")
            if time.monotonic() - self.start > TIMEOUT:
                fail(f"timed out waiting for {wanted!r}")
            if action:
                action()
            time.sleep(interval)

    def xdo(self, *args):
        try:
            return subprocess.run(["xdotool", *args], env=self.env, capture_output=True, text=True, timeout=10).stdout.strip()
        except subprocess.TimeoutExpired:
            fail(f"xdotool {args[0]} hung")

    def window(self):
        ids = self.xdo("search", "--sync", "--onlyvisible", "--name", "ミルカナランド放送局").split()
        if not ids:
            fail("no visible kivo window")
        return ids[-1]

    def geometry(self, wid):
        out = dict(line.split("=") for line in self.xdo("getwindowgeometry", "--shell", wid).split())
        return int(out["WIDTH"]), int(out["HEIGHT"])

    def click(self, wid, x, y, repeat=1):
        self.xdo("mousemove", "--window", wid, str(x), str(y))
        time.sleep(0.1)
        self.xdo("click", "--repeat", str(repeat), "--delay", "80", "1")

    def key(self, wid, name="space"):
        self.xdo("windowfocus", "--sync", wid)
        self.xdo("key", name)

    def stage_button(self, wid, index):
        # The stage's client area is 380 px high below the menu bar.
        _, height = self.geometry(wid)
        menubar = height - 5700 // TWIPS
        x = (1920 + 3615 // 2) // TWIPS
        y = menubar + (120 + 480 * index + 495 // 2) // TWIPS
        self.click(wid, x, y)


def fail(message):
    print("FAIL:", message)
    raise SystemExit(1)


def main():
    with tempfile.TemporaryDirectory() as folder:
        write_programmes(folder)
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        display = ":" + xvfb.stdout.readline().decode().strip()
        run = Run(folder, display)
        try:
            drive(run)
        finally:
            if run.proc.poll() is None:
                run.proc.kill()
            xvfb.terminate()
            xvfb.wait()
        if os.environ.get("KIVO_E2E_SHOW"):
            print("\n".join(run.events()))
    print("PASS: 1 passed, 0 failed")


def drive(run):
    i = run.wait_for("opening-hidden")
    i = run.wait_for('list "はじめての番組', i)
    i = run.wait_for('list "二番目, の番組', i)
    form2 = run.window()
    # List1 starts 720 twips down; its first row sits near the top.
    run.click(form2, (120 + 600) // TWIPS, 720 // TWIPS + 8, repeat=2)
    i = run.wait_for('start "KIVO.001"', i)
    i = run.wait_for('section "[pre]"', i)
    stage = run.window()
    i = run.wait_for('caption "こんにちは"', i)
    i = run.wait_for('caption "二行目です"', i, action=lambda: run.key(stage))
    i = run.wait_for('state Menu', i, action=lambda: run.key(stage))
    i = run.wait_for('button 1 "ＥＮＤ"', i)
    run.stage_button(stage, 0)
    i = run.wait_for('chosen "てんき"', i)
    i = run.wait_for('section "[てんき]"', i)
    i = run.wait_for('view-show', i)
    i = run.wait_for('state Menu', i, action=lambda: run.key(stage))
    i = run.wait_for('button 1 "ＥＮＤ"', i)
    run.stage_button(stage, 1)
    i = run.wait_for('state Closing', i)
    i = run.wait_for('state Selecting', i, action=lambda: run.key(stage))
    i = run.wait_for('list "二番目, の番組', i)
    form2 = run.window()
    time.sleep(0.3)
    # END: Command2 at 120, 3000 twips, 1095 x 375.
    run.click(form2, (120 + 1095 // 2) // TWIPS, (3000 + 375 // 2) // TWIPS)
    try:
        status = run.proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        fail("kivo did not end after END")
    if status != 0:
        fail(f"exit status {status}")
    events = run.events()
    if "exit 0" not in events:
        fail("no 'exit 0' in the trace")
    if 'mci "play Midi" 0' not in events:
        fail("the tune did not start: " + repr([e for e in events if e.startswith("mci ")]))
    if run.heard_seconds() < 1:
        fail(f"the tune was not heard: {run.heard_seconds()} s of sound")
    order = ["state Opening", "opening-hidden", "state Selecting", 'start "KIVO.001"', "state Starting",
             'section "[pre]"', 'mci "play Midi" 0', "state Menu", 'chosen "てんき"', "state Item", 'section "[てんき]"', "state Menu",
             'chosen "ＥＮＤ"', "state Closing", 'section "[ＥＮＤ]"', "state Selecting", "exit 0"]
    pos = 0
    for step in order:
        while pos < len(events) and not events[pos].startswith(step):
            pos += 1
        if pos == len(events):
            fail(f"step {step!r} missing or out of order")
        pos += 1


if __name__ == "__main__":
    main()
