"""Every way to end the program from the main window ends it with exit
code 0; every fatal condition shows the error report and ends with 255."""

import os
import shutil

import harness
from harness import Desktop, Player, Site, wait_for

EXIT_BUTTON = (501, 344)   # centre of 按钮3 in client coordinates


def close_box(player):
    x, y, w, _ = player.outer_rect()
    left, right, top, _ = player.frame_extents()
    player.desktop.x("xdotool", "mousemove", str(x + w - right - 10), str(y + top // 2), "click", "1")


WAYS = {
    "the Exit button": lambda p: p.click(*EXIT_BUTTON),
    "Esc with the focus in the player page": lambda p: p.key("Escape"),
    "Esc with the focus on a button": lambda p: (p.key("Tab"), p.key("Escape")),
    "Alt+F4": lambda p: p.key("alt+F4"),
    "the close box": close_box,
}


def patched_copy(tmp, old, new):
    """A copy of the program whose embedded descriptions have old replaced by new."""
    assert len(old) == len(new)
    with open(harness.PLAYER, "rb") as f:
        data = f.read()
    assert data.count(old) == 1, "the description block holds %r once" % old
    folder = os.path.join(tmp, "patched-%d" % len(os.listdir(tmp)))
    os.mkdir(folder)
    path = os.path.join(folder, "vexilo-player")
    with open(path, "wb") as f:
        f.write(data.replace(old, new))
    shutil.copymode(harness.PLAYER, path)
    return path


class Ending(harness.DesktopTest):
    def test_each_way_out_ends_with_code_0(self):
        for name, act in WAYS.items():
            with self.subTest(name):
                player = Player(self.desktop, self.site.proxy)
                try:
                    player.find_window()
                    act(player)
                    self.assertEqual(player.wait(), 0)
                finally:
                    player.close()

    def test_enter_does_nothing_space_clicks(self):
        player = Player(self.desktop, self.site.proxy)
        try:
            player.find_window()
            player.key("Tab")        # from the player page to 退出软件
            player.key("Return")
            with self.assertRaises(AssertionError, msg="Enter must not click a normal push button"):
                player.wait(timeout=1.5)
            player.key("space")
            self.assertEqual(player.wait(), 0)
        finally:
            player.close()

    def test_error_reports(self):
        cases = {
            "a corrupted description block": (b"entry 0x1601000A", b"entry 0x1601000Z", "载入窗口模板数据段出错!"),
            "no description for the start window": (b"window 0x52010001", b"window 0x52010003", "载入启动窗口失败"),
        }
        for name, (old, new, text) in cases.items():
            with self.subTest(name):
                player = Player(self.desktop, self.site.proxy, binary=patched_copy(self.desktop.tmp, old, new))
                try:
                    box = player.find_window("错误")
                    _, pixels = self.desktop.screenshot("error-" + text)
                    player.key("Return", window=box)
                    self.assertEqual(player.wait(), 255)
                    self.assertIn("运行时出错!\r\n\r\n错误信息：%s\r\n" % text, player.stderr())
                finally:
                    player.close()

    def test_no_display(self):
        env = dict(self.desktop.env)
        del env["DISPLAY"]
        import subprocess
        p = subprocess.run([harness.PLAYER], env=env, capture_output=True, timeout=20)
        self.assertEqual(p.returncode, 255)
        self.assertIn("运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n", p.stderr.decode())


if __name__ == "__main__":
    harness.main()
