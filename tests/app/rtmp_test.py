#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The station streams to an RTMP server started by the test: nginx with the RTMP block of
docs/serving.md. The stream reads back; the server is killed midway, and the station keeps
running and says so in one line; the server returns, the station reconnects, and the
stream reads back again."""
import json
import os
import re
import signal
import subprocess
import sys
import tempfile
import time

import streaming as s

KIVO = os.path.abspath(sys.argv[1])
s.need(s.NGINX, "ffmpeg", "ffprobe", s.RTMP_MODULE)


def documented_rtmp(port):
    with open(os.path.join(s.SOURCE, "docs", "serving.md")) as f:
        block = re.search(r"```nginx\n(rtmp \{.*?)```", f.read(), re.S).group(1)
    return block.replace("listen 1935;", f"listen 127.0.0.1:{port};")


def read_back(url, out, seconds=3):
    """A few seconds of the stream copied to a file: its streams and duration by ffprobe."""
    if os.path.exists(out):
        os.remove(out)
    subprocess.run(["ffmpeg", "-v", "error", "-rw_timeout", "10000000", "-i", url, "-t", str(seconds), "-map", "0",
                    "-c", "copy", "-f", "matroska", out], capture_output=True, timeout=40)
    if not os.path.exists(out):
        return [], 0.0
    run = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=codec_type:format=duration", "-of",
                          "json", out], capture_output=True, text=True)
    info = json.loads(run.stdout or "{}")
    return sorted(x["codec_type"] for x in info.get("streams", [])), float(info.get("format", {}).get("duration", 0))


def messages(log, what):
    """kivo's lines on stderr that say the stream was lost or is back."""
    with open(log, errors="replace") as f:
        return [line for line in f if line.startswith(f"kivo: stream to {url} ") and what in line]


with tempfile.TemporaryDirectory() as tmp:
    port = s.free_port()
    url = f"rtmp://127.0.0.1:{port}/live/kivo"
    out, log = os.path.join(tmp, "back.mkv"), os.path.join(tmp, "station.log")
    server = s.Nginx(os.path.join(tmp, "nginx"), rtmp=documented_rtmp(port), port=port)
    server.start()
    station = s.station(KIVO, url, log)
    try:
        for what in ("before the outage", "after the outage"):
            end, kinds, duration = time.monotonic() + 40, [], 0
            while time.monotonic() < end and not (kinds == ["audio", "video"] and duration >= 2):
                kinds, duration = read_back(url, out)
            if station.poll() is not None:
                s.fail(f"{what}: the station ended with {station.returncode}")
                break
            if kinds != ["audio", "video"] or duration < 2:
                s.fail(f"{what}: read back {kinds}, {duration} s")
            if what.startswith("before"):
                server.stop()
                time.sleep(8)
                if station.poll() is not None:
                    s.fail(f"the station ended with the server: {station.returncode}")
                    break
                if len(messages(log, " lost: ")) != 1:
                    s.fail(f"the outage: {messages(log, ' lost: ')}")
                server.start()
        print("".join(messages(log, "")), end="")
        if len(messages(log, " lost: ")) != 1 or len(messages(log, " is back")) != 1:
            s.fail(f"the outage and the return: {messages(log, '')}")
    finally:
        station.send_signal(signal.SIGTERM)
        try:
            station.wait(30)
        except subprocess.TimeoutExpired:
            station.kill()
            s.fail("the station did not end on SIGTERM")
        server.stop()
s.finish("RTMP stream through an outage")
