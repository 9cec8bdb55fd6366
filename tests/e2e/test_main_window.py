"""The main window as the user meets it: place, size, frame, what shows
where, and the two page requests."""

import os
import time
import unittest

import harness
from harness import Desktop, Player, Site, wait_for

# Client-area rectangles (x0, y0, x1, y1), right and bottom exclusive.
BANNER_VISIBLE = (0, 336, 415, 412)
COVER_UPS = {
    "picture box 1 over the player's bottom rows": (4, 317, 453, 320),
    "picture box 1 over the banner's top rows": (0, 324, 415, 336),
    "picture box 1 over the Exit button's corner": (450, 329, 453, 336),
    "picture box 3 over the banner's right end": (415, 336, 433, 412),
    "picture box 2 over the banner's bottom": (0, 412, 433, 421),
}


class MainWindow(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        harness.need_tools("Xvfb", "openbox", "xdotool", "xwininfo", "xprop", "wmctrl", "import", "convert")
        cls.desktop = Desktop()
        cls.site = Site(cls.desktop.tmp)
        cls.player = Player(cls.desktop, cls.site.proxy)
        cls.player.find_window()

    @classmethod
    def tearDownClass(cls):
        cls.player.close()
        cls.site.close()
        cls.desktop.close()

    def test_title_outer_size_and_centring(self):
        # (1024 - 568) / 2 = 228, (768 - 446) / 2 = 161, frame included.
        self.assertEqual(self.player.outer_rect(), (228, 161, 568, 446))
        left, right, top, bottom = self.player.frame_extents()
        self.assertGreater(top, 0, "the window manager's caption is part of the outer size")

    def test_current_directory_is_the_programs_folder(self):
        cwd = os.readlink("/proc/%d/cwd" % self.player.proc.pid)
        self.assertNotEqual(self.desktop.tmp, os.path.dirname(harness.PLAYER), "started elsewhere")
        self.assertEqual(cwd, os.path.dirname(os.path.realpath(harness.PLAYER)))

    def test_both_pages_requested_plainly(self):
        def both():
            targets = {r["target"] for r in self.site.requests()}
            return {"http://%s/jiujiuting/99Players.htm" % harness.PLAYER_HOST,
                    "http://%s/admin/ad/vexilo.htm" % harness.SITE_HOST} <= targets
        wait_for("both page requests", both)
        pages = [r for r in self.site.requests() if r["target"].endswith((".htm"))]
        allowed = {"host", "user-agent", "accept", "accept-encoding", "accept-language", "connection",
                   "proxy-connection", "upgrade-insecure-requests"}
        for r in pages:
            self.assertEqual(r["method"], "GET")
            names = {name.lower() for name, _ in r["headers"]}
            self.assertLessEqual(names, allowed, "the program adds nothing of its own to " + r["target"])

    def test_cover_ups_and_visible_banner(self):
        wait_for("the banner page", lambda: any(r["target"].endswith("vexilo.htm") for r in self.site.requests()))
        time.sleep(1.5)  # let the pages paint
        _, pixels = self.desktop.screenshot("main-window")
        cx, cy, cw, ch = self.player.client_rect()
        face = pixels.at(cx + 200, cy + 420)  # picture box 2, far from any page
        for name, (x0, y0, x1, y1) in COVER_UPS.items():
            with self.subTest(name):
                colours = pixels.colours(cx + max(x0, 0), cy + y0, cx + min(x1, cw), cy + min(y1, ch))
                self.assertEqual(colours, {face})
        x0, y0, x1, y1 = BANNER_VISIBLE
        # The banner's own colour reaches every edge of the visible rectangle.
        for name, (ax, ay, bx, by) in {"top row": (x0, y0, x1, y0 + 1), "bottom row": (x0, y1 - 1, x1, y1),
                                       "left column": (x0, y0, x0 + 1, y1),
                                       "right column": (x1 - 1, y0, x1, y1)}.items():
            with self.subTest("banner " + name):
                colours = pixels.colours(cx + ax, cy + ay, cx + bx, cy + by)
                self.assertNotIn(face, colours)

    def test_resize_refused_but_maximise_enlarges(self):
        w = str(self.player.window)
        self.desktop.x("xdotool", "windowsize", w, "700", "520")
        time.sleep(0.8)
        self.assertEqual(self.player.outer_rect()[2:], (568, 446), "a fixed frame keeps its size")

        self.desktop.x("wmctrl", "-i", "-r", w, "-b", "add,maximized_vert,maximized_horz")
        wait_for("the maximised size", lambda: self.player.outer_rect()[2] == harness.SCREEN[0], timeout=5)
        time.sleep(0.5)
        _, pixels = self.desktop.screenshot("maximised")
        cx, cy, cw, ch = self.player.client_rect()
        self.assertGreater(ch, 421)
        face = pixels.at(cx + 200, cy + 420)
        # The new area shows the background; the buttons stay where they were.
        self.assertEqual(pixels.colours(cx + 600, cy + 430, cx + cw, cy + ch), {face})
        self.assertEqual(pixels.colours(cx + 449, cy + 450, cx + 552, cy + ch), {face})

        self.desktop.x("wmctrl", "-i", "-r", w, "-b", "remove,maximized_vert,maximized_horz")
        wait_for("the restored size", lambda: self.player.outer_rect()[2:] == (568, 446), timeout=5)


if __name__ == "__main__":
    harness.main()
