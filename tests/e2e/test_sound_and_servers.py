"""The player page's music reaches the sound server, and a page server that
is down, slow or failing leaves the program responsive."""

import os
import re
import subprocess
import time
import unittest

import harness
from harness import Desktop, Player, Site, wait_for

EXIT_BUTTON = (501, 344)


def rms_of_capture(desktop, seconds):
    """Records the null sink's monitor and returns sox's RMS amplitude."""
    raw = os.path.join(desktop.tmp, "capture.raw")
    with open(raw, "wb") as out:
        rec = subprocess.Popen(["parec", "-d", desktop.sink + ".monitor", "--format=s16le", "--rate=44100",
                                "--channels=2", "--raw"], env=desktop.env, stdout=out)
        time.sleep(seconds)
        rec.terminate()
        rec.wait(5)
    stat = subprocess.run(["sox", "-t", "raw", "-r", "44100", "-e", "signed", "-b", "16", "-c", "2", raw, "-n",
                           "stat"], capture_output=True, text=True).stderr
    samples = int(re.search(r"Samples read:\s+(\d+)", stat).group(1))
    rms = float(re.search(r"RMS\s+amplitude:\s+([\d.]+)", stat).group(1))
    return samples, rms


class Sound(unittest.TestCase):
    def setUp(self):
        harness.need_tools("Xvfb", "openbox", "xdotool", "pulseaudio", "parec", "sox")
        self.desktop = Desktop(audio=True)
        self.addCleanup(self.desktop.close)

    def test_page_plays_by_itself(self):
        site = Site(self.desktop.tmp)
        self.addCleanup(site.close)
        player = Player(self.desktop, site.proxy)
        self.addCleanup(player.close)
        player.find_window()
        wait_for("a tune being fetched", lambda: any(r["target"].endswith(".wav") for r in site.requests()))
        samples, rms = rms_of_capture(self.desktop, 3)
        print("captured %d samples, RMS amplitude %.4f" % (samples, rms))
        self.assertGreater(samples, 44100 * 2 * 2, "the capture ran")
        self.assertGreater(rms, 0.01, "the music is audible at the sound server")
        player.click(*EXIT_BUTTON)
        self.assertEqual(player.wait(), 0)


class ServerTrouble(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        harness.need_tools("Xvfb", "openbox", "xdotool", "xwininfo")
        cls.desktop = Desktop()

    @classmethod
    def tearDownClass(cls):
        cls.desktop.close()

    def check_responsive(self, proxy, site=None):
        player = Player(self.desktop, proxy)
        try:
            player.find_window()
            if site:
                wait_for("the page request", lambda: site.requests())
            time.sleep(0.5)
            clicked = time.monotonic()
            player.click(*EXIT_BUTTON)
            self.assertEqual(player.wait(timeout=5), 0)
            print("ended %.2f s after the click" % (time.monotonic() - clicked))
        finally:
            player.close()

    def test_server_down(self):
        self.check_responsive("http://127.0.0.1:%d" % harness.closed_port())

    def test_server_slow_or_failing(self):
        for mode in ("slow", "404", "500"):
            with self.subTest(mode):
                site = Site(self.desktop.tmp, mode=mode, delay=60)
                try:
                    self.check_responsive(site.proxy, site)
                finally:
                    site.close()


if __name__ == "__main__":
    harness.main()
