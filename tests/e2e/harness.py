"""A real desktop for end-to-end tests of the Linux program.

Desktop: Xvfb (1024 x 768) with openbox and a PulseAudio server whose only
sink is a null sink. Site: the demo server on a free loopback port, which the
player reaches through http_proxy. Player: the real binary in that desktop,
with helpers to find its window, read its geometry, click, type, take
screenshots and wait for its exit code.
"""

import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PLAYER = os.environ.get("VEXILO_PLAYER", os.path.join(ROOT, "build", "linux", "vexilo-player"))
TUNES = os.environ.get("VEXILO_TUNES", os.path.join(os.path.dirname(PLAYER), "tunes"))
PLAYER_HOST = os.environ.get("VEXILO_PLAYER_HOST", "music.vexilo.net")
SITE_HOST = os.environ.get("VEXILO_SITE_HOST", "www.vexilo.net")
TITLE = "Vexilo播放器 v1.0"
SCREEN = (1024, 768)


def wait_for(what, check, timeout=20.0, step=0.05):
    """Polls check() until it returns something true; fails after timeout."""
    end = time.monotonic() + timeout
    while True:
        value = check()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(step)


def run(args, env=None, check=True, timeout=20):
    return subprocess.run(args, env=env, check=check, timeout=timeout, capture_output=True, text=True).stdout


class Desktop:
    def __init__(self, audio=False):
        self.tmp = tempfile.mkdtemp(prefix="vexilo-desktop-")
        self.procs = []
        self.env = dict(os.environ)
        for var in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"):
            self.env.pop(var, None)
        self.env.update(HOME=self.tmp, XDG_RUNTIME_DIR=self.tmp, XDG_CACHE_HOME=self.tmp + "/cache",
                        XDG_CONFIG_HOME=self.tmp + "/config", XDG_DATA_HOME=self.tmp + "/data",
                        LANG="C.UTF-8", NO_AT_BRIDGE="1", GTK_A11Y="none")
        os.chmod(self.tmp, 0o700)
        try:
            self._start_x()
            self._start_wm()
            if audio:
                self._start_audio()
        except BaseException:
            self.close()
            raise

    def _spawn(self, args, **kw):
        p = subprocess.Popen(args, env=self.env, stdin=subprocess.DEVNULL, **kw)
        self.procs.append(p)
        return p

    def _start_x(self):
        r, w = os.pipe()
        self._spawn(["Xvfb", "-displayfd", str(w), "-screen", "0", "%dx%dx24" % SCREEN, "-nolisten", "tcp",
                     "-noreset"], pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        with os.fdopen(r) as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number

    def _start_wm(self):
        self._spawn(["openbox", "--sm-disable"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("the window manager", lambda: "_NET_SUPPORTING_WM_CHECK(WINDOW)" in
                 run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], self.env, check=False))

    def _start_audio(self):
        self.sink = "vexilo_null"
        socket_path = os.path.join(self.tmp, "pulse-native")
        self._spawn(["pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "--disallow-exit",
                     "--load=module-null-sink sink_name=%s" % self.sink,
                     "--load=module-native-protocol-unix auth-anonymous=1 socket=%s" % socket_path],
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.env["PULSE_SERVER"] = "unix:" + socket_path
        wait_for("the sound server", lambda: run(["pactl", "info"], self.env, check=False))

    def x(self, *args, check=True):
        return run(list(args), self.env, check=check)

    def screenshot(self, name):
        """Saves the screen as PNG and returns (path, Pixels)."""
        path = os.path.join(self.tmp, name + ".png")
        self.x("import", "-window", "root", path)
        keep = os.environ.get("VEXILO_SHOTS")
        if keep:
            os.makedirs(keep, exist_ok=True)
            shutil.copy(path, os.path.join(keep, name + ".png"))
        raw = subprocess.run(["convert", path, "-depth", "8", "rgb:-"], check=True, capture_output=True).stdout
        return path, Pixels(raw, *SCREEN)

    def close(self):
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        shutil.rmtree(self.tmp, ignore_errors=True)


class Pixels:
    def __init__(self, raw, width, height):
        self.raw, self.width, self.height = raw, width, height

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.raw[i:i + 3])

    def colours(self, x0, y0, x1, y1):
        """The set of colours in the rectangle x0 <= x < x1, y0 <= y < y1."""
        return {self.at(x, y) for y in range(y0, y1) for x in range(x0, x1)}


class Site:
    """The demo server; mode is normal, slow, 404 or 500."""

    def __init__(self, tmp, mode="normal", delay=30):
        self.log = os.path.join(tmp, "requests-%s.jsonl" % mode)
        args = [sys.executable, os.path.join(ROOT, "demo", "server.py"), "--port", "0", "--tunes", TUNES,
                "--player-host", PLAYER_HOST, "--site-host", SITE_HOST, "--log", self.log, "--mode", mode,
                "--delay", str(delay)]
        self.proc = subprocess.Popen(args, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True)
        line = self.proc.stdout.readline()
        m = re.match(r"port (\d+)", line)
        if not m:
            self.close()
            raise RuntimeError("demo server did not start: %r" % line)
        self.port = int(m.group(1))
        self.proxy = "http://127.0.0.1:%d" % self.port

    def requests(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding="utf-8") as f:
            return [json.loads(line) for line in f if line.strip()]

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(5)
        self.proc.stdout.close()


def closed_port():
    """A loopback port that nothing listens on: a page server that is down."""
    import socket
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


class Player:
    def __init__(self, desktop, proxy=None, binary=PLAYER, cwd=None):
        self.desktop = desktop
        env = dict(desktop.env)
        if proxy:
            env.update(http_proxy=proxy, no_proxy="")
        self.started = time.monotonic()
        self.proc = subprocess.Popen([binary], env=env, cwd=cwd or desktop.tmp, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.window = None

    def find_window(self, title=TITLE, timeout=20):
        def search():
            if self.proc.poll() is not None:
                raise AssertionError("the player ended early with %s: %s" % (self.proc.returncode, self.stderr()))
            out = self.desktop.x("xdotool", "search", "--onlyvisible", "--name", "^%s$" % re.escape(title),
                                 check=False)
            ids = [int(w) for w in out.split()]
            return ids[0] if ids else None
        self.window = wait_for("the window %r" % title, search, timeout)
        return self.window

    def client_rect(self, window=None):
        info = self.desktop.x("xwininfo", "-id", str(window or self.window))
        grab = lambda key: int(re.search(key + r":\s+(-?\d+)", info).group(1))
        return grab("Absolute upper-left X"), grab("Absolute upper-left Y"), grab("Width"), grab("Height")

    def frame_extents(self, window=None):
        out = self.desktop.x("xprop", "-id", str(window or self.window), "_NET_FRAME_EXTENTS")
        m = re.search(r"= (\d+), (\d+), (\d+), (\d+)", out)
        return tuple(int(v) for v in m.groups()) if m else (0, 0, 0, 0)

    def outer_rect(self, window=None):
        x, y, w, h = self.client_rect(window)
        left, right, top, bottom = self.frame_extents(window)
        return x - left, y - top, w + left + right, h + top + bottom

    def click(self, cx, cy, window=None):
        """Clicks at client coordinates of the window."""
        x, y, _, _ = self.client_rect(window)
        self.desktop.x("xdotool", "mousemove", str(x + cx), str(y + cy), "click", "1")

    def key(self, *keys, window=None):
        w = str(window or self.window)
        self.desktop.x("xdotool", "windowactivate", "--sync", w, check=False)
        self.desktop.x("xdotool", "key", "--clearmodifiers", *keys)

    def wait(self, timeout=15):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("the player did not end within %s s" % timeout)

    def stderr(self):
        if self.proc.poll() is None:
            return ""
        return self.proc.stderr.read().decode("utf-8", "replace")

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        for stream in (self.proc.stdout, self.proc.stderr):
            stream.close()


class DesktopTest(unittest.TestCase):
    """Tests sharing one desktop and one demo server."""

    tools = ("Xvfb", "openbox", "xdotool", "xwininfo", "xprop", "import", "convert")

    @classmethod
    def setUpClass(cls):
        need_tools(*cls.tools)
        cls.desktop = Desktop()
        cls.site = Site(cls.desktop.tmp)

    @classmethod
    def tearDownClass(cls):
        cls.site.close()
        cls.desktop.close()


def need_tools(*tools):
    missing = [t for t in tools if not shutil.which(t)]
    if missing:
        raise unittest.SkipTest("missing tools: " + ", ".join(missing))


def main():
    unittest.main(verbosity=2)
