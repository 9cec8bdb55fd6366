"""The About window: its place, its four controls as they look, and its
modal behaviour over the main window."""

import os
import time

import harness
from harness import Desktop, Player, Site, wait_for

ABOUT_BUTTON = (500, 391)    # 关于软件 in the main window
EXIT_BUTTON = (501, 344)     # 退出软件
OK_BUTTON = (184, 240)       # 确定 in the About window
ABOUT_TITLE = " "            # an empty caption


def is_dark(p):
    return max(p) < 90


def is_red(p):
    return p[0] > 180 and p[1] < 90 and p[2] < 90


def is_blue_ink(p):
    return p[2] > p[0] + 20 and p[2] > p[1] + 20


class About(harness.DesktopTest):
    def setUp(self):
        self.player = Player(self.desktop, self.site.proxy)
        self.addCleanup(self.player.close)
        self.main = self.player.find_window()

    def open_about(self):
        self.player.click(*ABOUT_BUTTON, window=self.main)
        return self.player.find_window(ABOUT_TITLE, timeout=10)

    def about_gone(self):
        out = self.desktop.x("xdotool", "search", "--onlyvisible", "--name", "^ $", check=False)
        return not out.split()

    def still_running(self):
        self.assertIsNone(self.player.proc.poll(), "the player is still running")

    def test_place_and_looks(self):
        about = self.open_about()
        self.assertEqual(self.player.outer_rect(about), (301, 238, 422, 292))
        time.sleep(0.5)
        _, px = self.desktop.screenshot("about")
        cx, cy, _, _ = self.player.client_rect(about)
        face = px.at(cx + 2, cy + 145)   # between the labels
        region = lambda x0, y0, x1, y1: [px.at(cx + x, cy + y) for y in range(y0, y1) for x in range(x0, x1)]

        self.assertTrue(any(is_dark(p) for p in region(6, 8, 384, 60)), "标签1's black text")
        self.assertTrue(any(is_red(p) for p in region(39, 60, 360, 132)), "标签2's red text")
        band = region(39, 60, 360, 72)
        self.assertFalse(any(is_dark(p) for p in band), "标签2's background covers 标签1 where they overlap")
        trans = [p for y in range(155, 255) for x in range(14, 398)
                 if not (144 <= x < 224 and 224 <= y < 256) for p in [px.at(cx + x, cy + y)]]
        self.assertTrue(any(is_blue_ink(p) for p in trans), "透明标签1's blue text")
        hidden = [p for p in trans if p != face and not is_blue_ink(p)]
        self.assertEqual(hidden, [], "透明标签1 hides nothing of the window's background")
        self.assertEqual(self.player.outer_rect(self.main), (228, 161, 568, 446), "the main window did not move")
        self.player.key("Escape", window=about)
        wait_for("the About window to close", self.about_gone)

    def test_modal_sequence(self):
        ways = {
            "确定": lambda about: self.player.click(*OK_BUTTON, window=about),
            "its close box": lambda about: self.close_box(about),
            "Alt+F4": lambda about: self.player.key("alt+F4", window=about),
            "Esc": lambda about: self.player.key("Escape", window=about),
            "Space on the focused 确定": lambda about: self.player.key("space", window=about),
        }
        for name, close in ways.items():
            with self.subTest(name):
                about = self.open_about()
                # The main window takes no input meanwhile.
                self.player.click(*EXIT_BUTTON, window=self.main)
                self.desktop.x("xdotool", "key", "--window", str(self.main), "Escape")
                time.sleep(0.3)
                self.still_running()
                self.assertFalse(self.about_gone(), "the About window is still open")
                wait_for("the About window to be active again",
                         lambda: self.desktop.x("xdotool", "getactivewindow").strip() == str(about), timeout=5)
                close(about)
                wait_for("the About window to close", self.about_gone)
                self.still_running()
        self.player.click(*EXIT_BUTTON, window=self.main)
        self.assertEqual(self.player.wait(), 0)

    def close_box(self, window):
        x, y, w, _ = self.player.outer_rect(window)
        left, right, top, _ = self.player.frame_extents(window)
        self.desktop.x("xdotool", "mousemove", str(x + w - right - 10), str(y + top // 2), "click", "1")

    def test_enter_does_nothing_and_double_click_closes_once(self):
        about = self.open_about()
        self.player.key("Return", window=about)
        time.sleep(0.5)
        self.assertFalse(self.about_gone(), "Enter does not press 确定")
        cx, cy, _, _ = self.player.client_rect(about)
        self.desktop.x("xdotool", "mousemove", str(cx + OK_BUTTON[0]), str(cy + OK_BUTTON[1]),
                       "click", "--repeat", "2", "--delay", "40", "1")
        wait_for("the About window to close", self.about_gone)
        time.sleep(0.3)
        self.still_running()
        self.player.click(*EXIT_BUTTON, window=self.main)
        self.assertEqual(self.player.wait(), 0)

    def test_two_hundred_openings(self):
        def rss_kib():
            with open("/proc/%d/status" % self.player.proc.pid) as f:
                return int(next(line for line in f if line.startswith("VmRSS")).split()[1])
        figures = {}
        for i in range(1, 201):
            about = self.open_about()
            self.player.key("Escape", window=about)
            wait_for("the About window to close", self.about_gone, timeout=10, step=0.01)
            if i in (1, 50, 100, 150, 200):
                figures[i] = rss_kib()
        print("resident memory after N openings (KiB): %s" % figures)
        self.assertLess(figures[200] - figures[100], 4096, "memory settles")
        self.player.click(*EXIT_BUTTON, window=self.main)
        self.assertEqual(self.player.wait(), 0)


if __name__ == "__main__":
    harness.main()
