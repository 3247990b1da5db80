#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The real kivo binary as a station: `kivo --broadcast --once FOLDER` on the offscreen
platform, with nobody at the controls. Two programmes, the first with a fatal fault in
its second item: both play in order, every item once, the fault is reported on stderr
with its line and nothing after it in that item shows, and the status is 0."""
import os
import subprocess
import sys
import tempfile

KIVO = os.path.abspath(sys.argv[1])


def scenario(lines):
    return "".join(l + "\r\n" for l in lines).encode("cp932")


PROGRAMMES = {
    "KIVO.001": ["1,一番", "[pictureinit]", "ミカ=,", "[pre]", "ミカ：はい", "[menu]", "ＥＮＤ", "A", "", "B", "C",
                 "[A]", "ミカ：あい", "[B]", "ミカ：びい", "ミカ　コロンなし", "ミカ：見えない", "[C]", "ミカ：しい",
                 "[ＥＮＤ]", "ミカ：またね", "[EOF]"],
    "KIVO.002": ["2,二番", "[pictureinit]", "ミカ=,", "[pre]", "ミカ：に", "[menu]", "D", "ＥＮＤ",
                 "[D]", "ミカ：でい", "[ＥＮＤ]", "ミカ：さよなら", "[EOF]"],
}


def fail(message, stderr=""):
    print("FAIL:", message)
    print(stderr)
    raise SystemExit(1)


def main():
    with tempfile.TemporaryDirectory() as folder:
        for name, lines in PROGRAMMES.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(scenario(lines))
        env = dict(os.environ, KIVO_TRACE="1", QT_QPA_PLATFORM="offscreen", SDL_AUDIODRIVER="dummy")
        try:
            done = subprocess.run([KIVO, "--broadcast", "--once", folder], env=env, stdin=subprocess.DEVNULL,
                                  capture_output=True, timeout=60)
        except subprocess.TimeoutExpired:
            fail("the station did not end after its last programme")
    err = done.stderr.decode("utf-8", "replace")
    if done.returncode != 0:
        fail(f"exit status {done.returncode}", err)
    if "Line 16: ミカ　コロンなし" not in err or "File: KIVO.001" not in err:
        fail("the fault is not reported with its file and line", err)
    events = [l.split(" ", 1)[1] for l in err.splitlines() if l[:1].isdigit() and " " in l]
    chosen = [e for e in events if e.startswith("chosen ")]
    want = ['chosen "A"', 'chosen "B"', 'chosen "C"', 'chosen "ＥＮＤ"', 'chosen "D"', 'chosen "ＥＮＤ"']
    if chosen != want:
        fail(f"presses {chosen}, wanted {want}", err)
    if any("見えない" in e for e in events):
        fail("a line after the fault was shown", err)
    order = ['broadcast "KIVO.001" 1', 'error ', 'caption "しい"', 'caption "またね"', 'broadcast "KIVO.002" 1',
             'caption "でい"', 'caption "さよなら"', "exit 0"]
    pos = 0
    for step in order:
        while pos < len(events) and not events[pos].startswith(step):
            pos += 1
        if pos == len(events):
            fail(f"step {step!r} missing or out of order", err)
        pos += 1
    print("PASS: 1 passed, 0 failed")


if __name__ == "__main__":
    main()
