# Run by Debian's /usr/bin/python3, which has pyatspi: what a screen reader reads of Pirune's
# windows, and a screen reader's way of filling fields and pressing a button.
#   a11y_client.py                      prints {window: [[role, name(, description)], ...]} as JSON
#   a11y_client.py NAME=TEXT... BUTTON  sets the text of each field so named, then presses BUTTON
import json, sys

import pyatspi

app = next(a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name == "Pirune")


def controls(o):  # a text control's own parts, its viewport and scroll bars, aside
    for c in filter(None, o):
        if c.getRoleName() not in ("filler", "scroll bar"):
            yield c
        yield from controls(c)


if len(sys.argv) == 1:
    read = lambda c: [c.getRoleName(), c.name] + ([c.description] if c.description else [])  # noqa
    print(json.dumps({w.name: [read(c) for c in controls(w)] for w in app}, ensure_ascii=False))
else:
    named = {c.name: c for w in app for c in controls(w)}
    for field, text in (a.split("=", 1) for a in sys.argv[1:-1]):
        named[field].queryEditableText().setTextContents(text)
    named[sys.argv[-1]].queryAction().doAction(0)
