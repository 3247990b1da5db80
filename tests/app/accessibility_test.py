#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""kivo as a screen reader sees it: the real binary under Xvfb on a private D-Bus session
(run under dbus-run-session), read through AT-SPI.

The programme list and its START and END buttons have names; a programme started from
the list announces each caption line (an accessible-name change with the new text) and
its item buttons carry their captions.
"""
import os
import subprocess
import sys
import tempfile
import time

import pyatspi
from gi.repository import GLib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import e2e_road  # noqa: E402  (shares its programme files and X helpers)
from e2e_road import TWIPS, fail  # noqa: E402


def find(root, role, name=None, found=None):
    """Every object under root with this role (and name)."""
    found = [] if found is None else found
    for child in root:
        if child is None:
            continue
        if child.getRole() == role and (name is None or child.name == name):
            found.append(child)
        find(child, role, name, found)
    return found


def kivo_application(run):
    for _ in range(40):
        apps = [a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name == "kivo"]
        if apps:
            return apps[0]
        run.wait_for("state")  # fails when kivo has ended
        time.sleep(0.25)
    fail("kivo is not on the accessibility bus")


def main():
    announced = []

    def on_name(event):
        # Qt sends the object with the event, not the text: its name is the new text.
        if event.source is not None and event.source.getRole() == pyatspi.ROLE_LABEL \
                and event.source.description == "字幕":
            announced.append(event.any_data if isinstance(event.any_data, str) else event.source.name)

    pyatspi.Registry.registerEventListener(on_name, "object:property-change:accessible-name")
    os.environ["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"

    def wait_for(run, wanted, after=0, action=None):
        # AT-SPI events arrive through the main loop, run while the trace is awaited.
        def act():
            while GLib.MainContext.default().iteration(False):
                pass
            if action:
                action()
        return run.wait_for(wanted, after, act, interval=0.1)

    with tempfile.TemporaryDirectory() as folder:
        e2e_road.write_programmes(folder)
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        run = e2e_road.Run(folder, ":" + xvfb.stdout.readline().decode().strip())
        try:
            i = wait_for(run, 'list "二番目, の番組')
            app = kivo_application(run)
            for role, name in ((pyatspi.ROLE_LIST, "番組の一覧"), (pyatspi.ROLE_PUSH_BUTTON, "START"),
                               (pyatspi.ROLE_PUSH_BUTTON, "END")):
                if not find(app, role, name):
                    fail(f"no {role} named {name!r}")
            run.click(run.window(), (120 + 600) // TWIPS, 720 // TWIPS + 8, repeat=2)
            i = wait_for(run, 'caption "こんにちは"', i)
            stage = run.window()
            i = wait_for(run, 'caption "二行目です"', i, action=lambda: run.key(stage))
            i = wait_for(run, 'button 1 "ＥＮＤ"', i, action=lambda: run.key(stage))
            wanted = ["こんにちは", "二行目です"]
            deadline = time.monotonic() + 2
            while [a for a in announced if a][:2] != wanted and time.monotonic() < deadline:
                GLib.MainContext.default().iteration(False)
            if [a for a in announced if a][:2] != wanted:
                fail(f"captions announced: {announced}")
            for name in ("てんき", "ＥＮＤ"):
                if not find(app, pyatspi.ROLE_PUSH_BUTTON, name):
                    fail(f"no item button {name!r}")
        finally:
            run.proc.kill()
            xvfb.terminate()
            xvfb.wait()
    print("PASS: accessible tree and captions")


if __name__ == "__main__":
    main()
