"""Renews the README's pictures, docs/main-window.png and docs/version-window.png.

    python3 tests/e2e/readme_screens.py build/Pirune
"""

import os
import sys
import time

from pirune_e2e import PiruneSession, missing_tools, notices_bytes
from test_pirune_e2e import THREE, select_row

DOCS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs")


def main(exe):
    missing = missing_tools()
    if missing:
        sys.exit(f"missing: {', '.join(missing)}")
    with PiruneSession(exe, "readme-screens", data=notices_bytes(THREE)) as s:
        s.double_click_tray()
        main_window = s.wait_window("Pirune")
        select_row(s, main_window, 1)
        s.x("xdotool", "mousemove", "700", "500")  # no hover highlight in the picture
        time.sleep(0.5)
        s.screenshot("", main_window, path=os.path.join(DOCS, "main-window.png"))
        s.click_control(main_window, "close")
        s.wait_no_window("Pirune")

        s.menu_command("v")
        version = s.wait_window("バージョン情報")
        s.x("xdotool", "mousemove", "700", "500")
        time.sleep(0.5)
        s.screenshot("", version, path=os.path.join(DOCS, "version-window.png"))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "build/Pirune")
