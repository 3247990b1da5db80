#!/usr/bin/env python3
"""Checks programme files the way the player reads them, before a viewer finds out.

    python3 tools/check_scenario.py                 # every demo/KIVO.NNN
    python3 tools/check_scenario.py path/KIVO.004   # given files

Reports errors (the player would stop the programme with a run-time error, or a named
file would not play) and warnings (legal but probably not meant), then a summary of what
each file uses. Media names are looked up next to the scenario file, ignoring letter
case, as the player does. Exit status 1 when any file has an error.
"""
from __future__ import annotations

import argparse
import sys
from pathlib import Path

END = "\uff25\uff2e\uff24"  # "ＥＮＤ" in full-width letters
COLON = "\uff1a"            # "：" separates speaker and text
MAX_CAST = 41
MAX_MENU = 8


class Fatal(Exception):
    """Something the player itself would stop on."""


def split_lines(text: str) -> list[str]:
    """Lines end at CR (CR LF counts once); a lone LF is an ordinary character."""
    lines, cur, i = [], [], 0
    while i < len(text):
        ch = text[i]
        if ch == "\r":
            lines.append("".join(cur))
            cur = []
            if i + 1 < len(text) and text[i + 1] == "\n":
                i += 1
        else:
            cur.append(ch)
        i += 1
    if cur:
        lines.append("".join(cur))
    return lines


def read_fields(text: str, count: int) -> list[str]:
    """Comma-delimited field input from the start of the file (used for the title)."""
    fields, i, n = [], 0, len(text)
    while len(fields) < count:
        while i < n and text[i] in " \t":
            i += 1
        if i >= n:
            raise Fatal("input past end of file while reading the title")
        if text[i] == '"':
            j = text.find('"', i + 1)
            j = n if j < 0 else j
            fields.append(text[i + 1:j])
            i = j + 1
            while i < n and text[i] not in ",\r\n":
                i += 1
        else:
            j = i
            while j < n and text[j] not in ",\r\n":
                j += 1
            fields.append(text[i:j])
            i = j
        if i < n and text[i] == ",":
            i += 1
        elif i < n and text[i] == "\r":
            i += 2 if text[i + 1:i + 2] == "\n" else 1
        elif i < n and text[i] == "\n":
            i += 1
    return fields


class Scenario:
    def __init__(self, lines: list[str]):
        self.lines = lines

    def header_index(self, header: str) -> int | None:
        for k, line in enumerate(self.lines):
            if line == header:
                return k
        return None

    def section(self, header: str) -> list[tuple[int, str]]:
        """(line number, text) of a body: searched from the top, first line unconditional,
        ends at the next line beginning with "[", and the end of the file is fatal."""
        k = self.header_index(header)
        if k is None:
            raise Fatal(f'header "{header}" not found (input past end of file)')
        if k + 1 >= len(self.lines):
            raise Fatal(f'"{header}" is the last line: its body runs past the end of the file')
        body = [(k + 2, self.lines[k + 1])]
        for j in range(k + 2, len(self.lines)):
            if self.lines[j].startswith("["):
                return body
            body.append((j + 1, self.lines[j]))
        raise Fatal(f'the body of "{header}" runs to the end of the file: '
                    f'end the file with one more line that begins with "["')


def resolve(folder: Path, name: str) -> Path | None:
    """Finds a file as the player does: "\\" or "/" separate folders, case is ignored
    (an exact match wins), trailing dots and spaces are dropped."""
    if name == "":
        return None
    here = folder
    parts = [p for p in name.replace("\\", "/").split("/") if p not in ("", ".")]
    for part in parts:
        part = part.rstrip(". ") or part
        if part == "..":
            here = here.parent
            continue
        if not here.is_dir():
            return None
        exact = here / part
        if exact.exists():
            here = exact
            continue
        matches = [p for p in here.iterdir() if p.name.lower() == part.lower()]
        if not matches:
            return None
        here = matches[0]
    return here if here.is_file() else None


def media_kind(path: Path) -> str | None:
    head = path.read_bytes()[:16]
    if head[:2] == b"BM":
        return "BMP"
    if head[:4] in (b"GIF8",):
        return "GIF"
    if head[:3] == b"\xff\xd8\xff":
        return "JPEG"
    if head[:4] == b"MThd":
        return "MIDI"
    if head[:4] == b"RIFF" and head[8:12] == b"WAVE":
        return "WAV"
    return None


def picture_size(path: Path) -> tuple[int, int] | None:
    data = path.read_bytes()
    kind = media_kind(path)
    if kind == "BMP" and len(data) >= 26:
        return int.from_bytes(data[18:22], "little"), abs(int.from_bytes(data[22:26], "little", signed=True))
    if kind == "GIF" and len(data) >= 10:
        return int.from_bytes(data[6:8], "little"), int.from_bytes(data[8:10], "little")
    if kind == "JPEG":
        i = 2
        while i + 9 < len(data):
            if data[i] != 0xFF:
                i += 1
                continue
            marker = data[i + 1]
            if marker in (0xC0, 0xC1, 0xC2):
                return int.from_bytes(data[i + 7:i + 9], "big"), int.from_bytes(data[i + 5:i + 7], "big")
            i += 2 + int.from_bytes(data[i + 2:i + 4], "big")
    return None


def midi_ok(path: Path) -> bool:
    data = path.read_bytes()
    if data[:4] != b"MThd":
        return False
    i = 8 + int.from_bytes(data[4:8], "big")
    tracks = int.from_bytes(data[10:12], "big")
    for _ in range(tracks):
        if data[i:i + 4] != b"MTrk":
            return False
        i += 8 + int.from_bytes(data[i + 4:i + 8], "big")
    return i == len(data)


class Report:
    def __init__(self, path: Path):
        self.path = path
        self.errors: list[str] = []
        self.warnings: list[str] = []
        self.cast_failed = False  # the player stops at the cast already; later speaker hints would be noise
        self.use = {"speakers": set(), "VIEW": {}, "PLAY": set(), "VOICE": set(), "CLS": 0, "comments": 0,
                    "dialogue": 0, "ampersand": 0, "menu": [], "auto_ms": 0, "title": None, "quoted_title": False}

    def err(self, where, msg):
        self.errors.append(f"{self.path.name}:{where}: {msg}")

    def warn(self, where, msg):
        self.warnings.append(f"{self.path.name}:{where}: {msg}")


def check_media(rep: Report, folder: Path, lineno: int, kind: str, name: str):
    found = resolve(folder, name)
    if found is None:
        rep.err(lineno, f'{kind}: file "{name}" not found next to the scenario')
        return None
    actual = media_kind(found)
    want = {"VIEW": ("BMP", "GIF", "JPEG"), "PLAY": ("MIDI",), "VOICE": ("WAV",), "cast": ("BMP", "GIF", "JPEG")}[kind]
    if actual not in want:
        rep.err(lineno, f'{kind}: "{name}" is not a {"/".join(want)} file')
        return None
    if actual == "MIDI" and not midi_ok(found):
        rep.err(lineno, f'PLAY: "{name}" has a broken chunk structure')
    if found.name != name:
        rep.warn(lineno, f'"{name}" is found as "{found.name}" (letter case or separators differ)')
    return actual


def check_run_section(rep: Report, folder: Path, sc: Scenario, header: str, cast: dict):
    try:
        body = sc.section(header)
    except Fatal as e:
        rep.err(header, str(e))
        return
    for lineno, line in body:
        if line.startswith(";"):
            rep.use["comments"] += 1
        elif line.startswith("@"):
            cmd = line[1:]
            if cmd == "CLS":
                rep.use["CLS"] += 1
            elif cmd[:4] in ("VIEW", "PLAY") or cmd[:5] == "VOICE":
                word = cmd[:5] if cmd[:5] == "VOICE" else cmd[:4]
                arg = cmd[len(word) + 1:]
                if len(cmd) > len(word) and cmd[len(word)] not in " \t":
                    rep.warn(lineno, f'@{word}: "{cmd[len(word)]}" after the command word is skipped, '
                                     f'so the file name read is "{arg}"')
                if word == "VIEW" and arg == "":
                    rep.warn(lineno, "@VIEW without a name shows an empty picture")
                    continue
                if word == "PLAY" and arg == "":
                    rep.warn(lineno, "@PLAY without a name stops the music")
                    continue
                kind = check_media(rep, folder, lineno, word, arg)
                if word == "VIEW":
                    rep.use["VIEW"][arg] = kind
                    found = resolve(folder, arg)
                    size = picture_size(found) if found else None
                    if size and (size[0] > 256 or size[1] > 256):
                        rep.warn(lineno, f'"{arg}" is {size[0]}x{size[1]} px, larger than the 256x256 view area')
                else:
                    rep.use[word].add(arg)
            else:
                rep.warn(lineno, f'unknown command "{line}" does nothing')
        else:
            if COLON not in line:
                rep.err(lineno, ("an empty line in a run section" if line == "" else f'"{line}"')
                        + ' has no full-width colon "：" (fatal)')
                continue
            speaker, text = line.split(COLON, 1)
            if speaker not in cast and not rep.cast_failed and speaker not in rep.use["speakers"]:
                rep.warn(lineno, f'speaker "{speaker}" is not in the cast: no picture while speaking')
            rep.use["speakers"].add(speaker)
            rep.use["dialogue"] += 1
            rep.use["ampersand"] += text.count("&&")
            if "&" in text.replace("&&", ""):
                rep.warn(lineno, 'a single "&" is not shown (it marks an access key); write "&&" for "&"')
            rep.use["auto_ms"] += 200 * (len(text) // 3 + 1) + 500


def check_file(path: Path) -> Report:
    rep = Report(path)
    folder = path.parent
    raw = path.read_bytes()
    text = raw.decode("cp932", errors="replace")
    if "\ufffd" in text:
        rep.err(1, "bytes that are not CP932 (save the file as Shift-JIS)")
    if "\n" in text.replace("\r\n", ""):
        rep.err(1, "line feeds without carriage returns: the player reads such a file as one line "
                   "(save it with CR LF line ends)")
    sc = Scenario(split_lines(text))

    try:
        fields = read_fields(text, 2)
        rep.use["title"] = fields[1]
        rep.use["quoted_title"] = text.lstrip(" \t").split(",", 1)[-1].lstrip(" \t").startswith('"')
        if fields[1] == "":
            rep.warn(1, "the title is empty")
    except Fatal as e:
        rep.err(1, str(e))

    cast: dict[str, tuple[str, str]] = {}
    errors_before_cast = len(rep.errors)
    try:
        entries = sc.section("[pictureinit]")
        if len(entries) > MAX_CAST:
            rep.err(entries[MAX_CAST][0], f"more than {MAX_CAST} cast entries")
        for lineno, line in entries[:MAX_CAST]:
            if "=" not in line:
                rep.err(lineno, f'cast entry "{line}" has no "="')
                continue
            name, rest = line.split("=", 1)
            if "," not in rest:
                rep.err(lineno, f'cast entry "{line}" has no "," between the two pictures')
                continue
            pics = rest.split(",", 1)
            if name in cast:
                rep.warn(lineno, f'speaker "{name}" is listed again; this later entry wins')
            cast[name] = (pics[0], pics[1])
            for pic in pics:
                if pic:
                    check_media(rep, folder, lineno, "cast", pic)
                    found = resolve(folder, pic)
                    size = picture_size(found) if found else None
                    if size and (size[0] > 100 or size[1] > 100):
                        rep.warn(lineno, f'"{pic}" is {size[0]}x{size[1]} px; the speaker box is 100x100')
    except Fatal as e:
        rep.err("[pictureinit]", str(e))
    rep.cast_failed = len(rep.errors) > errors_before_cast

    try:
        menu = sc.section("[menu]")
        if len(menu) > MAX_MENU:
            rep.err(menu[MAX_MENU][0], f"more than {MAX_MENU} menu lines (there are {len(menu)})")
        rep.use["menu"] = [line for _, line in menu]
    except Fatal as e:
        rep.err("[menu]", str(e))
        menu = []

    check_run_section(rep, folder, sc, "[pre]", cast)
    seen = set()
    for lineno, item in menu[:MAX_MENU]:
        if item in seen:
            continue
        seen.add(item)
        if item == "":
            rep.warn(lineno, "an empty menu line makes a button that does nothing")
            continue
        if item == "END":
            rep.warn(lineno, '"END" in ASCII letters is an ordinary item; the closing item is "ＥＮＤ"')
        check_run_section(rep, folder, sc, "[ＥＮＤ]" if item == END else f"[{item}]", cast)
    if END not in rep.use["menu"]:
        rep.warn("[menu]", 'no "ＥＮＤ" item: the programme can only be left by closing the window')

    headers = [line for line in sc.lines if line.startswith("[") and line.endswith("]")]
    for h in sorted({h for h in headers if headers.count(h) > 1}):
        rep.warn(h, "this header occurs more than once; only the first section is ever read")
    return rep


def summary(rep: Report) -> str:
    u = rep.use
    kinds = sorted({k for k in u["VIEW"].values() if k})
    return "\n".join([
        f"{rep.path.name}: title {u['title']!r}{' (quoted)' if u['quoted_title'] else ''}",
        f"  speakers {len(u['speakers'])}: {', '.join(sorted(u['speakers']))}",
        f"  menu {len(u['menu'])} lines: {' / '.join(u['menu'])}",
        f"  dialogue lines {u['dialogue']}, comment lines {u['comments']}, CLS {u['CLS']}, '&&' {u['ampersand']}",
        f"  VIEW {len(u['VIEW'])} pictures ({', '.join(kinds)}): {', '.join(sorted(u['VIEW']))}",
        f"  PLAY {len(u['PLAY'])}: {', '.join(sorted(u['PLAY']))}",
        f"  VOICE {len(u['VOICE'])}: {', '.join(sorted(u['VOICE']))}",
        f"  every section once in automatic mode: about {u['auto_ms'] / 1000:.0f} s of dialogue",
    ])


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("files", nargs="*", type=Path)
    ap.add_argument("-q", "--quiet", action="store_true", help="problems only, no summary")
    args = ap.parse_args()
    files = args.files or sorted((Path(__file__).resolve().parent.parent / "demo").glob("KIVO.[0-9][0-9][0-9]"))
    if not files:
        sys.exit("no scenario files found")
    bad = False
    for path in files:
        rep = check_file(path)
        for e in rep.errors:
            print("error:", e)
        for w in rep.warnings:
            print("warning:", w)
        if not args.quiet:
            print(summary(rep))
        bad |= bool(rep.errors)
    sys.exit(1 if bad else 0)


if __name__ == "__main__":
    main()
