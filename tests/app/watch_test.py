#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The watch page in a real browser: the station streams the demo to an HLS folder, nginx
serves it with the shipped configuration, and Debian's headless Chromium plays it. The
video's time advances, a frame shows the stage, the captions stay off until the viewer
turns them on, and then a cue is active."""
import glob
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import urllib.parse
import urllib.request

import streaming as s

KIVO = os.path.abspath(sys.argv[1])
CHROMIUM = "/usr/bin/chromium"
s.need(s.NGINX, CHROMIUM)

# What the shipped configuration says of each kind of file: its type and its caching.
HEADERS = {".m3u8": ("application/vnd.apple.mpegurl", "no-cache"), ".ts": ("video/mp2t", "max-age"),
           ".m4s": ("video/iso.segment", "max-age"), ".mp4": ("video/mp4", "max-age"),
           ".vtt": ("text/vtt", "max-age"), ".html": ("text/html", "max-age"), ".js": ("text/javascript", "max-age")}


def served_headers(folder, port):
    newest = {}
    for path in sorted(glob.glob(os.path.join(folder, "*.*")), key=os.path.getmtime):
        newest[os.path.splitext(path)[1]] = os.path.basename(path)
    for ending in (".m3u8", ".vtt", ".html", ".js"):
        if ending not in newest:
            s.fail(f"no {ending} file in the folder: {sorted(os.listdir(folder))}")
    for ending, name in newest.items():
        if ending not in HEADERS:
            continue
        with urllib.request.urlopen(f"http://127.0.0.1:{port}/{name}") as reply:
            kind, caching = reply.headers["Content-Type"] or "", reply.headers["Cache-Control"] or ""
        if not kind.startswith(HEADERS[ending][0]) or HEADERS[ending][1] not in caching:
            s.fail(f"{name}: Content-Type {kind}, Cache-Control {caching}")


def watch(folder, tmp, station):
    port = s.free_port()
    nginx = s.Nginx(os.path.join(tmp, "nginx"), http=s.served_folder(folder, port), port=port)
    nginx.start()
    log = os.path.join(tmp, "nginx", "logs", "access.log")
    reports = lambda: [json.loads(urllib.parse.unquote(line.split()[6].split("?", 1)[1]))
                       for line in open(log) if "/report?" in line]
    browser = None
    try:
        served_headers(folder, port)
        browser = subprocess.Popen([CHROMIUM, "--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                                    "--mute-audio", "--no-first-run", "--autoplay-policy=no-user-gesture-required",
                                    f"--user-data-dir={tmp}/chromium", f"http://127.0.0.1:{port}/probe.html"],
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                   start_new_session=True)
        if not s.wait_until(reports, 120, 0.5):
            return s.fail("the page reported nothing")
        # The station ends its playlist on SIGTERM; the page plays to the end and says so.
        station.send_signal(signal.SIGTERM)
        if not s.wait_until(lambda: len(reports()) > 1, 90, 0.5):
            s.fail("the page did not report the end")
        return dict(reports()[0], **reports()[-1])
    finally:
        if browser:  # with its helper processes
            os.killpg(browser.pid, signal.SIGKILL)
            browser.wait()
        nginx.stop()


with tempfile.TemporaryDirectory(ignore_cleanup_errors=True) as tmp:
    folder = os.path.join(tmp, "air")
    station = s.station(KIVO, folder, os.path.join(tmp, "station.log"))
    try:
        if not s.wait_until(lambda: all(glob.glob(os.path.join(folder, f))
                                        for f in ("stream.m3u8", "index.html", "hls.min.js", "*.ts", "*.vtt")), 60):
            s.fail(f"no playlist and page in the folder: {open(os.path.join(tmp, 'station.log')).read()[-2000:]}")
        else:
            shutil.copy(os.path.join(s.SOURCE, "tests", "app", "watch_probe.html"), os.path.join(folder, "probe.html"))
            seen = watch(folder, tmp, station) or {}
            print("seen:", seen)
            if not (seen.get("started") and seen.get("advanced")):
                s.fail("the video's time does not advance")
            if not seen.get("stage"):
                s.fail("no frame shows the stage (its grey background and its colours)")
            if seen.get("showing_before") != 0:
                s.fail("captions are on before the viewer asks")
            if not seen.get("cue"):
                s.fail("no caption cue is active with captions on")
            if not seen.get("ended"):
                s.fail(f"the page does not say the broadcast has ended: {seen.get('status')}")
    finally:
        if station.poll() is None:
            station.send_signal(signal.SIGTERM)
        if station.wait(30) != 128 + signal.SIGTERM:
            s.fail(f"the station ended with {station.returncode} on SIGTERM")
s.finish("watch page in Chromium")
