#!/usr/bin/env python3
"""Starts the player with its pages from the demo site.

With a display, the player opens there and this script waits for it to end.
Without one, it runs in a virtual desktop for a few seconds, saves a
screenshot, prints its path and ends the player.

--live: no demo site; the player fetches its real hosts.
"""

import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "e2e"))
import harness  # noqa: E402


def main():
    live = "--live" in sys.argv[1:]
    site = None if live else harness.Site(tempfile.mkdtemp(prefix="vexilo-demo-"))
    proxy = site.proxy if site else None
    try:
        if os.environ.get("DISPLAY"):
            env = dict(os.environ)
            if proxy:
                env.update(http_proxy=proxy, no_proxy="")
                print("demo site on %s" % proxy)
            return subprocess.call([harness.PLAYER], env=env)
        return headless(proxy)
    finally:
        if site:
            site.close()


def headless(proxy):
    desktop = harness.Desktop(audio=bool(shutil.which("pulseaudio")))
    try:
        player = harness.Player(desktop, proxy)
        player.find_window()
        time.sleep(4)  # the pages load and the music starts
        path, _ = desktop.screenshot("vexilo-player")
        shot = os.path.join(os.path.dirname(harness.PLAYER), "demo-screenshot.png")
        shutil.copy(path, shot)
        print("no display: ran in a virtual one; screenshot saved to " + shot)
        player.click(501, 344)  # 退出软件
        code = player.wait()
        player.close()
        return code
    finally:
        desktop.close()


if __name__ == "__main__":
    sys.exit(main())
