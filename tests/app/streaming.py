# SPDX-License-Identifier: GPL-3.0-or-later
"""What the streaming tests share: the station streaming, and nginx run by the test as an
ordinary process with its own prefix, its own temporary folders and a free port."""
import os
import shutil
import socket
import subprocess
import sys
import time

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
SKIP = 77  # SKIP_RETURN_CODE in CMakeLists.txt
RTMP_MODULE = "/usr/lib/nginx/modules/ngx_rtmp_module.so"
NGINX = shutil.which("nginx") or "/usr/sbin/nginx"  # sbin is not on every user's path
failures = []


def fail(message):
    failures.append(message)
    print("FAIL:", message, flush=True)


def finish(name):
    print(f"FAIL: {name}: {len(failures)} failures" if failures else f"PASS: {name}")
    sys.exit(1 if failures else 0)


def need(*tools):
    """Skips the test when a tool it needs is not installed (scripts/setup.sh installs them)."""
    for tool in tools:
        if not (os.path.exists(tool) if tool.startswith("/") else shutil.which(tool)):
            print(f"SKIP: {tool} is not installed (scripts/setup.sh)")
            sys.exit(SKIP)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_until(test, timeout, step=0.1):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if test():
            return True
        time.sleep(step)
    return False


class Nginx:
    """nginx in the foreground, one process, everything under `prefix`: `http` is the http
    block's content, `rtmp` an rtmp block."""

    def __init__(self, prefix, http="", rtmp="", port=None):
        self.prefix, self.port = prefix, port
        os.makedirs(os.path.join(prefix, "logs"), exist_ok=True)
        temps = "".join(f"  {kind}_temp_path {prefix}/{kind};\n"
                        for kind in ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
        conf = (f"load_module {RTMP_MODULE};\n" if rtmp else "") + \
            f"daemon off;\nmaster_process off;\npid {prefix}/nginx.pid;\nerror_log {prefix}/logs/error.log;\n" \
            f"events {{}}\nhttp {{\n{temps}  access_log {prefix}/logs/access.log;\n{http}\n}}\n" + rtmp
        self.conf = os.path.join(prefix, "nginx.conf")
        with open(self.conf, "w") as f:
            f.write(conf)
        self.proc = None

    def start(self):
        self.proc = subprocess.Popen([NGINX, "-p", self.prefix, "-c", self.conf, "-e", f"{self.prefix}/logs/error.log"],
                                     stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if self.port and not wait_until(self.listening, 10):
            self.stop()
            raise RuntimeError(f"nginx did not start: {self.errors()}")

    def listening(self):
        with socket.socket() as s:
            return s.connect_ex(("127.0.0.1", self.port)) == 0

    def errors(self):
        with open(os.path.join(self.prefix, "logs", "error.log"), errors="replace") as f:
            return f.read()

    def stop(self, sig=None):
        if self.proc and self.proc.poll() is None:
            self.proc.kill() if sig is None else self.proc.send_signal(sig)
            self.proc.wait(10)


def served_folder(folder, port):
    """The shipped server configuration of the HLS folder, on `port`, serving `folder`."""
    with open(os.path.join(SOURCE, "dist", "web", "nginx.conf")) as f:
        conf = f.read()
    conf = conf.replace("listen 8080;", f"listen 127.0.0.1:{port};").replace("listen [::]:8080;\n", "")
    return conf.replace("root /srv/kivo/air;", f"root {folder};")


def station(kivo, dest, log):
    """kivo streaming the demo to `dest` with no display and no sound device; its trace
    and messages go to the file `log`."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", SDL_AUDIODRIVER="dummy", KIVO_TRACE="1")
    with open(log, "w") as f:
        return subprocess.Popen([kivo, "--broadcast", "--stream", dest, "--demo"], env=env,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=f)
