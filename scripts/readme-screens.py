#!/usr/bin/env python3
"""Renews the README's pictures, docs/main-window.png and docs/version-window.png, with the
end-to-end harness.

    python3 scripts/readme-screens.py build/Pirune
"""
import os
import sys
import time

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(here, "..", "tests", "e2e"))
os.environ["PIRUNE_EXE"] = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/Pirune")
import pirune_e2e  # noqa: E402

docs = os.path.join(here, "..", "docs")
with pirune_e2e.PiruneSession(data=pirune_e2e.notices(pirune_e2e.THREE)) as s:
    s.click(repeat=2)
    main = s.wait_window("Pirune")
    s.click(main, "list")
    s.key("Down", window=main)
    s.x("xdotool", "mousemove", "700", "500")  # no hover highlight in the picture
    time.sleep(0.5)
    s.x("import", "-window", hex(main.id), os.path.join(docs, "main-window.png"))
    s.click(main, "close")
    s.menu_command("v")
    version = s.wait_window("バージョン情報")
    time.sleep(0.5)
    s.x("import", "-window", hex(version.id), os.path.join(docs, "version-window.png"))
