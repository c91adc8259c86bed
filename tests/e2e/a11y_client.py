# Run by Debian's /usr/bin/python3, which has pyatspi: what a screen reader reads of Pirune's
# windows, and a screen reader's way of filling fields and pressing a button.
#   a11y_client.py                      prints {window: [[role, name(, description)], ...]} as JSON
#   a11y_client.py NAME=TEXT... BUTTON  sets the text of each field so named, then presses BUTTON
#   a11y_client.py --events             prints "listening", then [event, role, name, description]
#                                       of each thing shown and each focus as it is told, a line each
import contextlib, json, sys

import pyatspi


# a text control's own parts, its viewport and scroll bars aside, and what Qt names from its own
# text (labels, the frame)
def controls(o):
    for c in filter(None, o):
        if c.getRoleName() not in ("filler", "scroll bar", "label", "panel"):
            yield c
        yield from controls(c)


def tell(e):  # what a screen reader is told; a thing hidden, or gone by now, aside
    if e.detail1 or e.type == "focus:":
        with contextlib.suppress(Exception):
            s = e.source
            print(json.dumps([e.type, s.getRoleName(), s.name, s.description], ensure_ascii=False))


if sys.argv[1:] == ["--events"]:
    sys.stdout.reconfigure(line_buffering=True)
    pyatspi.Registry.registerEventListener(tell, "object:state-changed:showing", "focus:")
    print("listening")
    pyatspi.Registry.start()  # from any program: Pirune may not have joined the bus yet
    sys.exit()
app = next(a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name == "Pirune")
if len(sys.argv) == 1:
    read = lambda c: [c.getRoleName(), c.name] + ([c.description] if c.description else [])  # noqa
    print(json.dumps({w.name: [read(c) for c in controls(w)] for w in app}, ensure_ascii=False))
else:
    named = {c.name: c for w in app for c in controls(w)}
    for field, text in (a.split("=", 1) for a in sys.argv[1:-1]):
        named[field].queryEditableText().setTextContents(text)
    named[sys.argv[-1]].queryAction().doAction(0)
