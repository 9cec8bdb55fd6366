#!/usr/bin/env python3
"""The x86_64 build of the Windows program under Wine, seen and driven as a
person would: a private X server (Xvfb) with a window manager (openbox), X
tools for input, and a small Win32 probe for what only Win32 can tell.

Usage: wine_test.py [options] SCENARIO [ARG]

  make-prefix          creates the Wine prefix the other scenarios share
  remove-prefix        removes it again
  main-window          title, place, styles, icons, children, painting, focus,
                       the two pages asked of the loopback proxy; Exit button
  about                the About window: owned, centred, modal over the main
                       window, and the focus back where it was after Esc
  about-closing        the About window's modal sequence: the main window takes
                       no clicks while it is up; closed by 确定, its close box,
                       Alt+F4, Esc and Space (not Enter), each time giving the
                       main window back; then the Exit button ends with 0
  close WAY            escape | alt-f4 | wmctrl: the process ends with 0
  error-box CASE       corrupt-block | no-start-window: a patched copy shows
                       the error box; Return ends the process with 255

Nothing may leave the machine: every run enters a private network namespace
with only loopback when the system allows it, and in any case Wine's HTTP goes
to a loopback proxy (demo/server.py) that answers for the two page hosts and
forwards nothing. Exits 77 (skip) when Wine, the program or a tool is missing.
"""
import argparse
import fcntl
import json
import os
import re
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import time
import zlib
from urllib.parse import urlsplit

SKIP = 77
SCREEN = (1024, 768)
ISOLATED = "VEXILO_ISOLATED"
OVERRIDES = "mscoree,mshtml=;winebrowser.exe,winemenubuilder.exe=d"
# The window manager's own configuration, the start of a session's changed one.
OPENBOX_RC = "/etc/xdg/openbox/rc.xml"
# Faces whose missing glyphs Wine should take from the CJK font, and the fonts to use.
LINKED_FACES = ["Tahoma", "MS Shell Dlg", "MS Shell Dlg 2", "Microsoft Sans Serif", "Segoe UI", "Arial"]
# Faces of a Chinese desktop that the descriptions name, taken by the CJK font.
SUBSTITUTED_FACES = ["宋体", "SimSun", "新宋体", "NSimSun", "黑体", "SimHei"]
CJK_FONTS = [("/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc", "WenQuanYi Zen Hei"),
             ("/usr/share/fonts/truetype/arphic/uming.ttc", "AR PL UMing CN")]

WS_CLIPCHILDREN, WS_CAPTION, WS_SYSMENU = 0x02000000, 0x00C00000, 0x00080000
WS_THICKFRAME, WS_MINIMIZEBOX, WS_MAXIMIZEBOX, WS_VISIBLE = 0x00040000, 0x00020000, 0x00010000, 0x10000000
MWM_DECOR_RESIZEH, MWM_DECOR_MINIMIZE, MWM_DECOR_MAXIMIZE = 0x04, 0x20, 0x40
# The window class the backend gives each control kind.
KIND_CLASSES = {"Button": "Button", "PicBox": "Vexilo.Painted", "Label": "Vexilo.Painted",
                "TransLabel": "Vexilo.Painted", "HtmlViewer": "Vexilo.BrowserHost"}

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


class Skip(Exception):
    pass


# ---------------------------------------------------------------------------
# Isolation

def bring_loopback_up():
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    name = b"lo".ljust(16, b"\0")
    flags = struct.unpack_from("H", fcntl.ioctl(s, 0x8913, name + bytes(16)), 16)[0]      # SIOCGIFFLAGS
    fcntl.ioctl(s, 0x8914, name + struct.pack("H", flags | 0x1) + bytes(14))             # SIOCSIFFLAGS, IFF_UP
    s.close()


def isolate():
    """Re-runs this script in a network namespace holding only loopback (and a
    PID namespace, so nothing it starts outlives it), when the system lets us."""
    if os.environ.get(ISOLATED):
        bring_loopback_up()
        names = [n for _, n in socket.if_nameindex()]
        print("network: private namespace, interfaces %s" % names, flush=True)
        return
    unshare = shutil.which("unshare")
    if unshare:
        user = [] if os.geteuid() == 0 else ["--map-root-user"]
        for extra in (["--pid", "--mount-proc"], []):
            cmd = [unshare, "--net", *extra, "--fork", "--kill-child", *user]
            if subprocess.run(cmd + ["true"], capture_output=True).returncode == 0:
                os.environ[ISOLATED] = "pid" if extra else "net"
                os.execv(unshare, cmd + [sys.executable] + sys.argv)
    print("network: no private namespace here; Wine's HTTP goes to the loopback proxy only", flush=True)


def reap_orphans():
    # As the first process of a PID namespace we inherit daemons that ended.
    if os.getpid() != 1:
        return
    try:
        while os.waitpid(-1, os.WNOHANG)[0] > 0:
            pass
    except ChildProcessError:
        pass


# ---------------------------------------------------------------------------
# A desktop session: X server, window manager, proxy, Wine

class Session:
    def __init__(self, args, work, proxy=False, hosts=("", ""), wm_alt_f4=True):
        self.args = args
        self.work = work
        self.procs = []
        self.env = None
        self.requests = os.path.join(work, "requests.jsonl")
        try:
            self._start(proxy, hosts, wm_alt_f4)
        except BaseException:
            self.close()
            raise

    def _spawn(self, cmd, **kw):
        p = subprocess.Popen(cmd, **kw)
        self.procs.append(p)
        return p

    def _start(self, proxy, hosts, wm_alt_f4):
        r, w = os.pipe()
        self._spawn(["Xvfb", "-displayfd", str(w), "-screen", "0", "%dx%dx24" % SCREEN, "-nolisten", "tcp",
                     "-noreset"], pass_fds=[w], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(w)
        number = self._read_line(r, 15, "Xvfb did not start")
        os.close(r)
        env = {k: v for k, v in os.environ.items()
               if k.lower() not in ("http_proxy", "https_proxy", "ftp_proxy", "all_proxy", "no_proxy")
               and not k.startswith(("WAYLAND", "XDG_SESSION"))}
        env["DISPLAY"] = ":" + number
        self.env = env
        wm = ["openbox", "--sm-disable"] + ([] if wm_alt_f4 else ["--config-file", self._rc_without_alt_f4()])
        self._spawn(wm, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_until(lambda: "window id" in self.x("xprop", "-root", "_NET_SUPPORTING_WM_CHECK", check=False),
                   15, "openbox did not start")
        if proxy:
            server = self._spawn([sys.executable, self.args.server, "--port", "0", "--log", self.requests,
                                  "--player-host", hosts[0], "--site-host", hosts[1]],
                                 stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            line = self._read_line(server.stdout.fileno(), 15, "the proxy did not start")
            port = int(line.split()[1])
            env["http_proxy"] = env["https_proxy"] = "http://127.0.0.1:%d" % port
            env["no_proxy"] = ""
            print("proxy: 127.0.0.1:%d" % port, flush=True)
        env.update(WINEPREFIX=self.args.prefix, WINEARCH="win64", WINEDEBUG="-all", WINEDLLOVERRIDES=OVERRIDES)

    def _rc_without_alt_f4(self):
        """openbox's configuration less its own Alt+F4 binding (a close request
        to the window openbox has focused): the key goes to the program."""
        with open(OPENBOX_RC, encoding="utf-8") as f:
            rc = re.sub(r'\s*<keybind key="A-F4">.*?</keybind>', "", f.read(), flags=re.S)
        path = os.path.join(self.work, "openbox-rc.xml")
        with open(path, "w", encoding="utf-8") as f:
            f.write(rc)
        return path

    @staticmethod
    def _read_line(fd, timeout, what):
        data = b""
        end = time.monotonic() + timeout
        while not data.endswith(b"\n"):
            left = end - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                raise RuntimeError(what)
            chunk = os.read(fd, 256)
            if not chunk:
                raise RuntimeError(what)
            data += chunk
        return data.decode().strip()

    def x(self, *cmd, check=True):
        r = subprocess.run(cmd, env=self.env, capture_output=True, timeout=30)
        if check and r.returncode != 0:
            raise RuntimeError("%s failed: %s" % (cmd[0], r.stderr.decode(errors="replace").strip()))
        return r.stdout.decode(errors="replace")

    def wine(self, *cmd, timeout=120):
        """Runs a Wine program to its end: (exit code, its output). The output
        goes through a file, as Wine's daemons inherit and keep a pipe open."""
        with tempfile.TemporaryFile(dir=self.work) as out:
            code = subprocess.run([self.args.wine, *cmd], env=self.env, stdout=out, stderr=subprocess.DEVNULL,
                                  timeout=timeout).returncode
            out.seek(0)
            return code, out.read().decode(errors="replace")

    def start(self, exe, log_name):
        log = open(os.path.join(self.work, log_name), "wb")
        return self._spawn([self.args.wine, exe], env=self.env, stdout=log, stderr=subprocess.STDOUT)

    def probe(self, title, timeout=30, cls=None):
        code, out = self.wine(self.args.probe, title, str(timeout * 1000), *([cls] if cls else []),
                              timeout=timeout + 30)
        return json.loads(out) if code == 0 else None

    def x_window(self, title):
        """The X window Wine made for the top-level window with this title."""
        out = self.x("xdotool", "search", "--name", "^%s$" % re.escape(title), check=False).split()
        return out[0] if out else None

    def x_window_on(self, client):
        """The program's X window lying on this client area, for a window without a title."""
        name = "^%s$" % re.escape(os.path.basename(self.args.exe))
        out = self.x("xdotool", "search", "--onlyvisible", "--classname", name, check=False).split()
        return next((wid for wid in out if x_rect(self, wid) == client), None)

    def active_x_window(self):
        """The window openbox has made the active one, or None."""
        found = re.search(r"# (0x[0-9a-f]+)", self.x("xprop", "-root", "_NET_ACTIVE_WINDOW"))
        return str(int(found.group(1), 16)) if found else None

    def screenshot(self):
        return subprocess.run(["import", "-window", "root", "-depth", "8", "rgb:-"], env=self.env,
                              capture_output=True, check=True, timeout=30).stdout

    def close(self):
        if self.env:
            try:
                subprocess.run([self.args.wineserver, "-k"], env=self.env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=30)
                subprocess.run([self.args.wineserver, "-w"], env=self.env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=30)
            except subprocess.TimeoutExpired:
                print("note: wineserver did not stop in time", flush=True)
        for p in reversed(self.procs):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait()
        reap_orphans()


def wait_until(condition, timeout, what):
    end = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > end:
            raise RuntimeError(what)
        time.sleep(0.2)


def settled(look, good, timeout=10):
    """The first look that is good within the time, else the last one."""
    end = time.monotonic() + timeout
    while True:
        seen = look()
        if good(seen) or time.monotonic() > end:
            return seen
        time.sleep(0.2)


def wait_exit(proc, timeout=20):
    try:
        return proc.wait(timeout)
    except subprocess.TimeoutExpired:
        return None


def x_rect(s, wid):
    """The X window's place on the screen: left, top, width, height."""
    geo = s.x("xwininfo", "-id", wid)
    return [int(re.search(p + r":\s+(-?\d+)", geo).group(1))
            for p in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height")]


def centre(client, place):
    """The screen point at the centre of a place in a client area."""
    return client[0] + place[0] + place[2] // 2, client[1] + place[1] + place[3] // 2


def click(s, client, place):
    x, y = centre(client, place)
    s.x("xdotool", "mousemove", str(x), str(y), "click", "1")


# ---------------------------------------------------------------------------
# What the program is built from

def read_layout(path):
    """The window description file: the window's own entry, then its controls
    in stored order, each as a dict of kind, place and caption."""
    entries = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            words = line.split("#")[0].split()
            if not words:
                continue
            if words[0] == "entry":
                entries.append({"kind": words[2], "place": None, "caption": None, "url": ""})
            elif words[0] == "place" and entries:
                entries[-1]["place"] = [int(v) for v in words[1:5]]
            elif words[0] in ("caption", "title", "url") and entries:
                entries[-1]["caption" if words[0] != "url" else "url"] = re.search(r'"(.*)"', line).group(1)
    return entries[0], entries[1:]


def page_addresses(exe):
    """The page addresses as embedded in the program's description block, and
    the hosts of the player page and of the site."""
    with open(exe, "rb") as f:
        urls = [u.decode() for u in re.findall(rb'url "(http://[^"]+)"', f.read())]
    player = next((u for u in urls if "/jiujiuting/" in u), "")
    site = next((u for u in urls if u != player), "")
    return urls, (urlsplit(player).hostname or "", urlsplit(site).hostname or "")


def png_pixels(path):
    """RGBA rows of a PNG written by make-icon.py (8-bit RGBA, filter 0)."""
    with open(path, "rb") as f:
        data = f.read()
    pos, idat, width = 8, b"", 0
    while pos < len(data):
        length, tag = struct.unpack_from(">I4s", data, pos)
        body = data[pos + 8:pos + 8 + length]
        if tag == b"IHDR":
            width = struct.unpack(">I", body[:4])[0]
        elif tag == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = 1 + 4 * width
    return width, [raw[i * stride + 1:(i + 1) * stride] for i in range(width)]


def net_wm_icons(session, wid):
    """{size: [argb, ...]} from the window's _NET_WM_ICON."""
    out = session.x("xprop", "-id", wid, "-notype", "-f", "_NET_WM_ICON", "32c", "=$0+", "_NET_WM_ICON")
    nums = [int(v) for v in out.split("=", 1)[1].replace(",", " ").split()] if "=" in out else []
    icons, i = {}, 0
    while i + 2 <= len(nums):
        w, h = nums[i], nums[i + 1]
        icons[w] = nums[i + 2:i + 2 + w * h]
        i += 2 + w * h
    return icons


def icon_matches(argb, png_path):
    size, rows = png_pixels(png_path)
    if len(argb) != size * size:
        return False
    for y in range(size):
        for x in range(size):
            r, g, b, a = rows[y][4 * x:4 * x + 4]
            v = argb[y * size + x]
            got = (v >> 24 & 255, v >> 16 & 255, v >> 8 & 255, v & 255)
            # Edges may be rounded once on the way through premultiplied alpha.
            if abs(got[0] - a) > 1 or (a == 255 and max(abs(p - q) for p, q in zip(got[1:], (r, g, b))) > 1):
                return False
    return True


# ---------------------------------------------------------------------------
# Scenarios

def make_prefix(args, work):
    if os.path.exists(args.prefix):
        shutil.rmtree(args.prefix)
    os.makedirs(os.path.dirname(args.prefix), exist_ok=True)
    s = Session(args, work)
    try:
        started = time.monotonic()
        code, _ = s.wine("wineboot", "-i", timeout=240)
        check(code == 0, "wineboot made the prefix (%.0f s)" % (time.monotonic() - started))
        font = next(((path, face) for path, face in CJK_FONTS if os.path.exists(path)), None)
        if not check(font is not None, "a CJK font to link (%s)" % ", ".join(p for p, _ in CJK_FONTS)):
            return
        path, face = font
        fonts = os.path.join(args.prefix, "drive_c", "windows", "Fonts")
        os.makedirs(fonts, exist_ok=True)
        os.symlink(path, os.path.join(fonts, os.path.basename(path)))
        # The GUI faces take their missing (Chinese) glyphs from that font.
        link = ("%s,%s\0\0" % (os.path.basename(path), face)).encode("utf-16-le")
        lines = ["Windows Registry Editor Version 5.00", "",
                 r"[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]"]
        lines += ['"%s"=hex(7):%s' % (f, ",".join("%02x" % b for b in link)) for f in LINKED_FACES]
        lines += ["", r"[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]"]
        lines += ['"%s"="%s"' % (f, face) for f in SUBSTITUTED_FACES]
        reg = os.path.join(work, "fonts.reg")
        with open(reg, "wb") as f:
            f.write(b"\xff\xfe" + ("\r\n".join(lines) + "\r\n").encode("utf-16-le"))
        check(s.wine("regedit", "/S", reg)[0] == 0, "font links imported")
        _, out = s.wine("reg", "query", r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink",
                        "/v", "Tahoma")
        check(face in out, "Tahoma links to %s" % face)
    finally:
        s.close()


def main_window(args, work):
    own, controls = read_layout(os.path.join(args.source, "windows", "main.window"))
    title = own["caption"]
    urls, hosts = page_addresses(args.exe)
    check(len(urls) == 2 and all(hosts), "two page addresses embedded: %s" % urls)
    s = Session(args, work, proxy=True, hosts=hosts)
    try:
        proc = s.start(args.exe, "main-window.log")
        info = s.probe(title, timeout=45)
        if not check(info is not None, "a visible window titled %s" % title):
            return
        wid = s.x_window(title)
        check(wid is not None, "X window named %s" % title)
        check_place(s, wid, info, own)
        check_styles(s, wid, info)
        check_icons(s, wid, work)
        check_children(info, controls)
        check_focus(s, wid, title, controls)
        check_painting(s, info)
        check_pages_asked(s, urls)

        # The Exit button, where the layout puts it.
        click(s, info["client"], next(c["place"] for c in controls if c["caption"] == "退出软件"))
        code = wait_exit(proc)
        check(code == 0, "Exit button ends the process with 0 (%s)" % code)
    finally:
        s.close()


def check_place(s, wid, info, own):
    """The outer rectangle, centred on the screen; the X window on the client area."""
    w, h = own["place"][2:]
    expected = [(SCREEN[0] - w) // 2, (SCREEN[1] - h) // 2, w, h]
    check(info["rect"] == expected, "outer rectangle %s (expected %s)" % (info["rect"], expected))
    if not wid:
        return
    name = s.x("xprop", "-id", wid, "-notype", "_NET_WM_NAME")
    check('"%s"' % info["text"] in name, "X title: %s" % name.strip())
    rect = x_rect(s, wid)
    check(rect == info["client"], "X window %s lies on the client area %s" % (rect, info["client"]))


def check_styles(s, wid, info):
    """The styles as Win32 has them, and as the window manager was told."""
    style = info["style"]
    for bit, name, wanted in [(WS_CAPTION, "caption", True), (WS_SYSMENU, "system menu", True),
                              (WS_MINIMIZEBOX, "minimise box", True), (WS_MAXIMIZEBOX, "maximise box", True),
                              (WS_THICKFRAME, "sizing frame", False), (WS_CLIPCHILDREN, "clip children", True),
                              (WS_VISIBLE, "visible", True)]:
        check(bool(style & bit) == wanted, "%s %s (style 0x%08x)" % (name, "on" if wanted else "off", style))
    check(info["owner"] == 0, "not owned: it has a task-bar button")
    if not wid:
        return
    hints = s.x("xprop", "-id", wid, "WM_NORMAL_HINTS", "_MOTIF_WM_HINTS")
    sizes = re.findall(r"(minimum|maximum) size: (\d+) by (\d+)", hints)
    client = (str(info["client"][2]), str(info["client"][3]))
    check(len(sizes) == 2 and sizes[0][1:] == sizes[1][1:] == client, "the window manager may not resize it: %s" % sizes)
    motif = [int(v, 16) for v in re.findall(r"0x[0-9a-f]+", hints.split("_MOTIF_WM_HINTS", 1)[1])]
    decor = motif[2] if len(motif) > 2 else 0
    check(decor & MWM_DECOR_MINIMIZE and decor & MWM_DECOR_MAXIMIZE and not decor & MWM_DECOR_RESIZEH,
          "decorations: minimise and maximise, no resize handles (0x%x)" % decor)


def check_icons(s, wid, work):
    """The application icon pair, as Wine hands it to the window manager."""
    icons = net_wm_icons(s, wid) if wid else {}
    check(sorted(icons) == [16, 32], "icon pair 32 and 16 px: %s" % sorted(icons))
    for size in (32, 16):
        check(size in icons and icon_matches(icons[size], os.path.join(work, "icons", "vexilo-%d.png" % size)),
              "%d px icon has the application icon's pixels" % size)


def check_children(info, controls):
    """Stacked in stored order (first on top), in place, with their captions."""
    got = [(c["class"], c["rect"], c["text"]) for c in info["children"]]
    want = [(KIND_CLASSES[c["kind"]], c["place"], c["caption"] or "") for c in controls]
    check(got == want, "children top to bottom:\n       got  %s\n       want %s" % (got, want))
    boxes = [c for c in info["children"] if c["class"] == "Vexilo.BrowserHost"]
    check(len(boxes) == 2 and all(c["descendants"] > 0 for c in boxes),
          "both browser boxes hold the control's windows: %s" % [c["descendants"] for c in boxes])


def check_focus(s, wid, title, controls):
    """The first stop is the player box, with the control's own window holding
    the focus; Tab and Shift+Tab are the window's even from in there."""
    player = next(i for i, c in enumerate(controls) if "/jiujiuting/" in c["url"])
    exit_button = next(i for i, c in enumerate(controls) if c["caption"] == "退出软件")
    # The window manager activates the window when it likes.
    info = settled(lambda: s.probe(title), lambda i: i and i["focus_child"] == player)
    check(info and info["focus_child"] == player and info["focus_class"] != "Vexilo.BrowserHost",
          "focus inside the player box, in %s" % (info and info["focus_class"]))
    if wid:
        s.x("xdotool", "windowactivate", "--sync", wid, check=False)
    for key, index, what in [("Tab", exit_button, "Tab moves the focus to the Exit button"),
                             ("shift+Tab", player, "Shift+Tab moves it back to the player box")]:
        s.x("xdotool", "key", key)
        info = settled(lambda: s.probe(title), lambda i: i and i["focus_child"] == index, timeout=5)
        check(info and info["focus_child"] == index, what)


def check_painting(s, info):
    """The client area in the button face, a painted box over the banner box."""
    shot = s.screenshot()
    cx, cy = info["client"][:2]

    def pixel(x, y):
        i = ((cy + y) * SCREEN[0] + cx + x) * 3
        return tuple(shot[i:i + 3])

    face = info["button_face"]
    face_rgb = (face & 255, face >> 8 & 255, face >> 16 & 255)
    for x, y, colour, what in [(1, 100, face_rgb, "client left of the player box: button face"),
                               (200, 326, face_rgb, "painted box over the banner box: button face"),
                               (200, 340, (255, 255, 255), "banner box below the painted box: white"),
                               (300, 100, (255, 255, 255), "player box: white")]:
        check(pixel(x, y) == colour, "%s at %d,%d: %s" % (what, x, y, pixel(x, y)))


def check_pages_asked(s, urls):
    """Both pages were asked of the loopback proxy: the controls were told where to go."""
    def asked():
        try:
            with open(s.requests, encoding="utf-8") as f:
                seen = {(urlsplit(e["target"]).hostname, urlsplit(e["target"]).path) for e in map(json.loads, f)}
        except FileNotFoundError:
            return False
        return all((urlsplit(u).hostname, urlsplit(u).path) in seen for u in urls)
    check(settled(asked, bool, timeout=15), "the proxy was asked for both pages: %s" % urls)


def about(args, work):
    own, controls = read_layout(os.path.join(args.source, "windows", "main.window"))
    about_own, about_controls = read_layout(os.path.join(args.source, "windows", "about.window"))
    title, about_title = own["caption"], about_own["caption"] or ""
    s = Session(args, work, proxy=True, hosts=page_addresses(args.exe)[1])
    try:
        proc = s.start(args.exe, "about.log")
        main = s.probe(title, timeout=45)
        if not check(main is not None, "the main window is up"):
            return
        index = next(i for i, c in enumerate(controls) if c["caption"] == "关于软件")
        click(s, main["client"], controls[index]["place"])
        box = s.probe(about_title, cls="Vexilo.TopLevel")
        if not check(box is not None, "the About window is up"):
            return
        w, h = about_own["place"][2:]
        expected = [(SCREEN[0] - w) // 2, (SCREEN[1] - h) // 2, w, h]
        check(box["rect"] == expected, "About outer rectangle %s (expected %s)" % (box["rect"], expected))
        check(box["owner"] == 1, "owned by the hidden owner: no task-bar button")
        check(box["style"] & WS_CAPTION == WS_CAPTION and box["style"] & WS_SYSMENU
              and not box["style"] & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME),
              "caption and close box only (style 0x%08x)" % box["style"])
        got = [(c["class"], c["rect"]) for c in box["children"]]
        check(got == [(KIND_CLASSES[c["kind"]], c["place"]) for c in about_controls], "About children in place: %s" % got)
        transparent = [bool(c["exstyle"] & 0x20) for c in box["children"]]
        check(transparent == [c["kind"] == "TransLabel" for c in about_controls],
              "only the TransLabel is transparent: %s" % transparent)
        main = s.probe(title)
        check(main and main["enabled"] == 0, "the main window is disabled while it is up")

        s.x("xdotool", "key", "Escape")
        gone = settled(lambda: s.probe(about_title, timeout=1, cls="Vexilo.TopLevel"), lambda b: b is None)
        check(gone is None, "Esc closed the About window")
        main = settled(lambda: s.probe(title), lambda m: m and m["enabled"] == 1 and m["focus_child"] == index)
        check(main and main["enabled"] == 1, "the main window is enabled again")
        check(main and main["focus_child"] == index, "the focus is back on the About button")
        s.x("xdotool", "key", "Escape")
        code = wait_exit(proc)
        check(code == 0, "Esc on the main window ends the process with 0 (%s)" % code)
    finally:
        s.close()


def close_box(s, wid):
    """The centre of the close box openbox puts on the title bar of this X
    window's frame: the rightmost button there, as the layout (NLIMC) ends with it."""
    frame = re.search(r"Parent window id: (0x[0-9a-f]+)", s.x("xwininfo", "-children", "-id", wid)).group(1)
    title_bottom = x_rect(s, wid)[1]
    buttons = []
    for line in s.x("xwininfo", "-tree", "-id", frame).splitlines():
        found = re.match(r"\s*(0x[0-9a-f]+) .*\s(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)$", line)
        if not found:
            continue
        w, h, x, y = map(int, found.groups()[1:])
        if w == h and y + h <= title_bottom and "IsViewable" in s.x("xwininfo", "-id", found.group(1)):
            buttons.append((x + w // 2, y + h // 2))
    if not buttons:
        raise RuntimeError("no buttons on the title bar of X window %s" % wid)
    return max(buttons)


def about_closing(args, work):
    own, controls = read_layout(os.path.join(args.source, "windows", "main.window"))
    about_own, about_controls = read_layout(os.path.join(args.source, "windows", "about.window"))
    title, about_title = own["caption"], about_own["caption"] or ""
    about_button = next(i for i, c in enumerate(controls) if c["caption"] == "关于软件")
    exit_place = next(c["place"] for c in controls if c["caption"] == "退出软件")
    ok = next(i for i, c in enumerate(about_controls) if c["caption"] == "确定")
    # The ways to close the About window, each given its probe facts and X window.
    ways = [("its 确定 button", lambda box, wid: click(s, box["client"], about_controls[ok]["place"])),
            ("its close box", lambda box, wid: s.x("xdotool", "mousemove", *map(str, close_box(s, wid)),
                                                   "click", "1")),
            ("Alt+F4", lambda box, wid: s.x("xdotool", "key", "alt+F4")),
            ("Esc", lambda box, wid: s.x("xdotool", "key", "Escape")),
            ("Space on 确定", lambda box, wid: s.x("xdotool", "key", "space"))]
    # openbox leaves its focus on the main window when the About window comes
    # up (no relative of it: its owner is the hidden window), and would ask the
    # main window to close on Alt+F4. Without that binding the key goes to
    # Wine's foreground window, the About window, as on Windows.
    s = Session(args, work, proxy=True, hosts=page_addresses(args.exe)[1], wm_alt_f4=False)
    try:
        proc = s.start(args.exe, "about-closing.log")
        main, main_wid = s.probe(title, timeout=45), s.x_window(title)
        if not check(main is not None and main_wid is not None, "the main window is up"):
            return

        def about_box(timeout=30):
            return s.probe(about_title, timeout=timeout, cls="Vexilo.TopLevel")

        def open_about(when):
            click(s, main["client"], controls[about_button]["place"])
            box = settled(about_box, lambda b: b and b["foreground"] == 1 and b["focus_child"] == ok)
            wid = box and s.x_window_on(box["client"])
            if not check(box is not None and wid is not None, "%s: the About window is up" % when):
                return None, None
            check(box["foreground"] == 1 and box["focus_child"] == ok,
                  "%s: it is the foreground window, the focus on 确定" % when)
            main_now = s.probe(title)
            check(main_now and main_now["enabled"] == 0, "%s: the main window is disabled" % when)
            return box, wid

        box, wid = open_about("the About button")
        if not box:
            return
        point = centre(main["client"], exit_place)
        left, top, width, height = box["rect"]
        check(not (left <= point[0] < left + width and top <= point[1] < top + height),
              "the Exit button's centre %s lies beside the About window %s" % (point, box["rect"]))
        click(s, main["client"], exit_place)
        check(wait_exit(proc, 3) is None, "the Exit button meanwhile: the process runs on")
        box = about_box(timeout=1)
        check(box and box["foreground"] == 1 and box["focus_child"] == ok,
              "the Exit button meanwhile: the About window stays, the foreground one, the focus on 确定")
        main_now = s.probe(title)
        check(main_now and main_now["enabled"] == 0, "the Exit button meanwhile: the main window stays disabled")
        # openbox raised the main window over it on that click (Windows leaves
        # the order as it was): back on top for the clicks to come.
        s.x("xdotool", "windowraise", wid)
        s.x("xdotool", "key", "Return")
        check(settled(lambda: about_box(timeout=1), lambda b: b is None, timeout=3) is not None,
              "Enter on 确定 leaves the About window up")

        for n, (way, close) in enumerate(ways):
            if n:
                box, wid = open_about("the About button again")
                if not box:
                    return
            close(box, wid)
            check(settled(lambda: about_box(timeout=1), lambda b: b is None) is None,
                  "%s closes the About window" % way)
            main_now = settled(lambda: s.probe(title), lambda m: m and m["enabled"] == 1 and m["foreground"] == 1
                               and m["focus_child"] == about_button and s.active_x_window() == main_wid)
            check(main_now and main_now["enabled"] == 1, "after %s: the main window is enabled again" % way)
            check(main_now and main_now["foreground"] == 1 and s.active_x_window() == main_wid,
                  "after %s: it is active, Wine's foreground window and openbox's active one" % way)
            check(main_now and main_now["focus_child"] == about_button,
                  "after %s: the focus is back on the About button" % way)
            check(proc.poll() is None, "after %s: the process runs on" % way)

        click(s, main["client"], exit_place)
        code = wait_exit(proc)
        check(code == 0, "then the Exit button ends the process with 0 (%s)" % code)
    finally:
        s.close()


def close_by(args, work, way):
    own, _ = read_layout(os.path.join(args.source, "windows", "main.window"))
    title = own["caption"]
    s = Session(args, work, proxy=True, hosts=page_addresses(args.exe)[1])
    try:
        proc = s.start(args.exe, "close-%s.log" % way)
        info = s.probe(title, timeout=45)
        wid = s.x_window(title)
        if not check(info is not None and wid is not None, "the main window is up"):
            return
        s.x("xdotool", "windowactivate", "--sync", wid, check=False)
        action = {"escape": ["xdotool", "key", "Escape"],
                  "alt-f4": ["xdotool", "key", "alt+F4"],
                  "wmctrl": ["wmctrl", "-i", "-c", wid]}[way]
        s.x(*action)
        code = wait_exit(proc)
        check(code == 0, "%s ends the process with 0 (%s)" % (" ".join(action), code))
    finally:
        s.close()


ERROR_CASES = {
    # case: (text replaced in the embedded block, its replacement, what the box says)
    "corrupt-block": ("0x1601000A", "0x1601000Z", "载入窗口模板数据段出错!"),
    "no-start-window": ("window 0x52010001", "window 0x52010003", "载入启动窗口失败"),
}


def error_box(args, work, case):
    old, new, message = ERROR_CASES[case]
    with open(args.exe, "rb") as f:
        data = f.read()
    if not check(data.count(old.encode()) == 1, "%r appears once in the program" % old):
        return
    exe = os.path.join(work, "patched.exe")
    with open(exe, "wb") as f:
        f.write(data.replace(old.encode(), new.encode()))
    s = Session(args, work)
    try:
        proc = s.start(exe, "error-%s.log" % case)
        box = s.probe("错误", timeout=45)
        if not check(box is not None, "a message box titled 错误"):
            return
        texts = [c["text"] for c in box["children"] if c["class"] == "Static"]
        check(box["class"] == "#32770", "it is a dialog box (%s)" % box["class"])
        check(any(t.startswith("运行时出错!") and ("错误信息：" + message) in t for t in texts),
              "it reads 运行时出错! ... 错误信息：%s (%r)" % (message, texts))
        check(any(c["class"] == "Static" and c["style"] & 0x1F == 0x3 for c in box["children"]), "it shows an icon")
        check([c["text"] for c in box["children"] if c["class"] == "Button"] == ["OK"], "one OK button")
        check(s.x_window("错误") is not None, "the box is on the X screen")
        wid = s.x_window("错误")
        if wid:
            s.x("xdotool", "windowactivate", "--sync", wid, check=False)
        s.x("xdotool", "key", "Return")
        code = wait_exit(proc)
        check(code == 255, "Return ends the process with 255 (%s)" % code)
    finally:
        s.close()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--wine", required=True)
    p.add_argument("--wineserver", required=True)
    p.add_argument("--prefix", required=True)
    p.add_argument("--exe", required=True)
    p.add_argument("--probe", required=True)
    p.add_argument("--server", required=True, help="demo/server.py, the loopback proxy")
    p.add_argument("--source", required=True, help="the source tree")
    p.add_argument("scenario", choices=["make-prefix", "remove-prefix", "main-window", "about", "about-closing",
                                        "close", "error-box"])
    p.add_argument("arg", nargs="?")
    args = p.parse_args()
    choices = {"close": ["escape", "alt-f4", "wmctrl"], "error-box": sorted(ERROR_CASES)}.get(args.scenario)
    if choices and args.arg not in choices:
        p.error("%s takes one of %s" % (args.scenario, ", ".join(choices)))

    if args.scenario == "remove-prefix":
        shutil.rmtree(args.prefix, ignore_errors=True)
        return 0
    needed = {"Wine": args.wine, "wineserver": args.wineserver, "the x86_64 program": args.exe,
              "the probe": args.probe}
    missing = [name for name, path in needed.items() if not path or not os.path.isfile(path)]
    missing += [t for t in ("Xvfb", "openbox", "xdotool", "xprop", "xwininfo", "wmctrl", "import")
                if not shutil.which(t)]
    if missing:
        print("skip: missing %s (build with cmake --preset windows-x64; scripts/install-deps)" % ", ".join(missing))
        return SKIP
    if args.scenario != "make-prefix" and not os.path.isdir(args.prefix):
        print("skip: no Wine prefix at %s (the make-prefix test makes it)" % args.prefix)
        return SKIP

    isolate()
    # Ended from outside (a test timeout): still clean up.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    with tempfile.TemporaryDirectory(prefix="vexilo-wine-") as work:
        if args.scenario == "make-prefix":
            make_prefix(args, work)
        elif args.scenario == "main-window":
            # The icon's pixels, drawn afresh by the script the build uses.
            subprocess.run([sys.executable, os.path.join(args.source, "resources", "make-icon.py"),
                            os.path.join(work, "icons")], check=True)
            main_window(args, work)
        elif args.scenario == "about":
            about(args, work)
        elif args.scenario == "about-closing":
            about_closing(args, work)
        elif args.scenario == "close":
            close_by(args, work, args.arg)
        else:
            error_box(args, work, args.arg)
    print("%d failed" % len(failures) if failures else "all checks passed", flush=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
