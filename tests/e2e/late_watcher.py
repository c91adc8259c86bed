# Run by Debian's /usr/bin/python3, which has gi: a StatusNotifierWatcher that, as some do, takes
# its name half a second before it can answer, so that an item registered at once is lost.
from gi.repository import Gio, GLib

WATCHER = Gio.DBusNodeInfo.new_for_xml(
    '<node><interface name="org.kde.StatusNotifierWatcher">'
    '<method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>'
    '<property name="RegisteredStatusNotifierItems" type="as" access="read"/>'
    "</interface></node>"
).interfaces[0]
items = []


def register(conn, sender, path, interface, method, args, call):
    items.append(args[0])
    call.return_value(None)


def get(conn, sender, path, interface, name):
    return GLib.Variant("as", items)


def answer_late(conn, name):
    export = lambda: conn.register_object("/StatusNotifierWatcher", WATCHER, register, get) and 0
    GLib.timeout_add(500, export)


Gio.bus_own_name(Gio.BusType.SESSION, "org.kde.StatusNotifierWatcher", 0, None, answer_late)
GLib.MainLoop().run()
