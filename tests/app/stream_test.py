#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The station on air and the captions as subtitles, read back with FFmpeg's tools.

A live HLS folder is read while it is written: its streams and codecs, the sliding window
(older segment files deleted), caption cues at the trace's caption times, the end marked
on SIGTERM and a restart continuing the playlist after a discontinuity. Recordings carry
the captions in each container, and a --subtitles file holds the trace's captions.
"""
import json
import os
import re
import signal
import stat
import subprocess
import sys
import tempfile
import time

from streaming import fail, finish

KIVO = os.path.abspath(sys.argv[1])
ENV = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
ENV.update(QT_QPA_PLATFORM="offscreen", SDL_AUDIODRIVER="dummy", KIVO_TRACE="1")
FRAME_S = 1 / 30


def probe_streams(path):
    run = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "stream=codec_type,codec_name", "-of", "json",
                          path], capture_output=True, text=True, timeout=30)
    return sorted((s["codec_type"], s["codec_name"]) for s in json.loads(run.stdout or "{}").get("streams", []))


def trace_captions(stderr):
    """(seconds, "speaker：text") of each caption in the trace; the speaker from its dialogue line."""
    out, line = [], ""
    for m in re.finditer(r'^([\d.]+) (line|caption) (".*")$', stderr, re.M):
        text = json.loads(m.group(3))
        if m.group(2) == "line":
            line = text
        elif text:
            out.append((float(m.group(1)) / 1000, line if line.endswith("：" + text) else text))
    return out


def vtt_cues(text):
    stamp = lambda s: sum(float(x) * 60 ** i for i, x in enumerate(reversed(s.replace(",", ".").split(":"))))  # noqa: E731
    return [(stamp(a), stamp(b), t.strip()) for a, b, t in
            re.findall(r"([\d:.,]+) --> ([\d:.,]+)\n(.*?)(?:\n\n|\Z)", text, re.S)]


def matches_trace(cues, captions, what):
    """Every cue starts at a caption of the trace (within a frame) with the same text."""
    for start, _, text in cues:
        if not any(abs(start - t) <= FRAME_S + 1e-3 and text == c for t, c in captions):
            fail(f"{what}: cue {start:.3f} {text!r} has no caption in the trace")
            return


def stream(work):
    dest = os.path.join(work, "air")
    web = os.path.join(work, "web")
    os.makedirs(dest)
    os.makedirs(web)
    for name, text in (("index.html", "page"), ("hls.min.js", "player")):
        open(os.path.join(web, name), "w").write(text)
    open(os.path.join(dest, "index.html"), "w").write("the user's own page")
    env = dict(ENV, KIVO_WEB_DIR=web)
    log = os.path.join(work, "air.log")
    with open(log, "wb") as err:
        proc = subprocess.Popen([KIVO, "--broadcast", "--stream", dest, "--scale", "1", "--demo"], env=env, stderr=err,
                                stdin=subprocess.DEVNULL)
    playlist = os.path.join(dest, "video.m3u8")
    cues, seen, most, probed = [], set(), 0, None
    end = time.monotonic() + 32
    while time.monotonic() < end and proc.poll() is None:
        time.sleep(0.5)
        most = max(most, len([f for f in os.listdir(dest) if f.endswith(".ts")]))
        if not os.path.exists(playlist):
            continue
        for n in re.findall(r"^video(\d+)\.ts$", open(playlist).read(), re.M):
            if n not in seen:
                seen.add(n)
                cues += vtt_cues(open(os.path.join(dest, f"captions{n}.vtt")).read())
        if probed is None and len(seen) >= 2:
            # FFmpeg's reader leaves out a master playlist's subtitles, and would wait for
            # ever on the live captions' playlist: the picture's playlist and one segment.
            probed = sorted(probe_streams(playlist) + probe_streams(os.path.join(dest, f"captions{n}.vtt")))
    proc.send_signal(signal.SIGTERM)
    status = proc.wait(10)
    stderr = open(log, encoding="utf-8", errors="replace").read()
    if status != 128 + signal.SIGTERM:
        fail(f"stream: status {status}, {stderr[-300:]!r}")
    if probed != [("audio", "aac"), ("subtitle", "webvtt"), ("video", "h264")]:
        fail(f"stream: streams {probed}")
    if len(seen) < 12 or most > 6 + 2 + 1:
        fail(f"stream: {len(seen)} segments listed, up to {most} segment files at once")
    master = open(os.path.join(dest, "stream.m3u8")).read()
    if 'TYPE=SUBTITLES' not in master or 'LANGUAGE="ja"' not in master or 'NAME="Captions"' not in master:
        fail(f"stream: master playlist {master!r}")
    first = [c for i, c in enumerate(cues) if i == 0 or not (cues[i - 1][1] == c[0] and cues[i - 1][2] == c[2])]
    if len(first) < 3:
        fail(f"stream: {len(first)} caption cues")
    matches_trace(first, trace_captions(stderr), "stream")
    if open(os.path.join(dest, "index.html")).read() != "the user's own page" or \
            open(os.path.join(dest, "hls.min.js")).read() != "player":
        fail("stream: the watch page's files")
    text = open(playlist).read()
    if not text.rstrip().endswith("#EXT-X-ENDLIST"):
        fail(f"stream: no end after SIGTERM: {text[-200:]!r}")

    # Started again into the same folder: the sequence goes on after a discontinuity.
    sequence = int(re.search(r"MEDIA-SEQUENCE:(\d+)", text).group(1))
    last = int(re.findall(r"^video(\d+)\.ts$", text, re.M)[-1])
    proc = subprocess.Popen([KIVO, "--broadcast", "--stream", dest, "--scale", "1", "--demo"], env=env,
                            stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    time.sleep(7)
    proc.send_signal(signal.SIGINT)
    proc.wait(10)
    again = open(playlist).read()
    numbers = [int(n) for n in re.findall(r"^video(\d+)\.ts$", again, re.M)]
    if int(re.search(r"MEDIA-SEQUENCE:(\d+)", again).group(1)) < sequence or last + 1 not in numbers or \
            not re.search(rf"#EXT-X-DISCONTINUITY\n#EXTINF:[\d.]+,\nvideo{last + 1}\.ts", again) or \
            not again.rstrip().endswith("#EXT-X-ENDLIST"):
        fail(f"restart: {again!r}")


def fifo_page(work):
    """A FIFO where the page goes is the user's: kept, and never opened (it would block)."""
    dest = os.path.join(work, "fifo")
    os.makedirs(dest)
    os.mkfifo(os.path.join(dest, "index.html"))
    proc = subprocess.Popen([KIVO, "--broadcast", "--stream", dest, "--scale", "1", "--demo"], env=ENV,
                            stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    time.sleep(5)
    proc.send_signal(signal.SIGINT)
    if proc.wait(10) != 128 + signal.SIGINT or not os.path.exists(os.path.join(dest, "video.m3u8")) or \
            not stat.S_ISFIFO(os.lstat(os.path.join(dest, "index.html")).st_mode):
        fail("a FIFO as index.html: the stream did not run, or the FIFO was replaced")


def recordings(work):
    for container, codec in (("mp4", "mov_text"), ("webm", "webvtt"), ("mkv", "subrip")):
        out = os.path.join(work, f"rec.{container}")
        subs = os.path.join(work, f"rec.{'vtt' if container == 'webm' else 'srt'}")
        args = [KIVO, "--record", out, "--programme", "KIVO.002", "--scale", "1", "--demo"]
        if container != "mp4":
            args[3:3] = ["--subtitles", subs]
        run = subprocess.run(args, env=ENV, capture_output=True, text=True, stdin=subprocess.DEVNULL)
        if run.returncode != 0 or ("subtitle", codec) not in probe_streams(out):
            fail(f"{container}: status {run.returncode}, streams {probe_streams(out)}")
            continue
        captions = trace_captions(run.stderr)
        if container != "mp4":
            cues = vtt_cues(open(subs, encoding="utf-8").read())
            if len(cues) < 10 or cues[-1][0] < captions[-1][0] - 1e-3:
                fail(f"{subs}: {len(cues)} cues")
            matches_trace(cues, captions, subs)
    run = subprocess.run([KIVO, "--record", os.path.join(work, "x.mkv"), "--subtitles", os.path.join(work, "x.txt"),
                          "--demo"], env=ENV, capture_output=True, stdin=subprocess.DEVNULL)
    if run.returncode != 2 or b".vtt or .srt" not in run.stderr:
        fail(f"--subtitles x.txt: status {run.returncode}")


def main():
    with tempfile.TemporaryDirectory() as work:
        recordings(work)
        stream(work)
        fifo_page(work)
    finish("stream")


if __name__ == "__main__":
    main()
