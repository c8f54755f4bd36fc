# Plays the panel of a status-notifier desktop (KDE Plasma, or GNOME with the AppIndicator
# extension): reads the tray item the watcher lists and works its menu through
# com.canonical.dbusmenu.
#   sni_host.py show             one JSON line: the item's Id, Title, Status and menu labels
#   sni_host.py click LABEL      activates the menu entry with that label (mnemonics ignored)
# Exits 1 while the watcher lists no item.
import json, sys
import dbus

PROPS = "org.freedesktop.DBus.Properties"
bus = dbus.SessionBus()
watcher = bus.get_object("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher")
items = watcher.Get("org.kde.StatusNotifierWatcher", "RegisteredStatusNotifierItems", dbus_interface=PROPS)
if not items:
    sys.exit(1)
# An item is listed as its bus name, or as bus name and object path run together.
entry = str(items[-1])
service, slash, path = entry.partition("/")
path = "/" + path if slash else "/StatusNotifierItem"
item = bus.get_object(service, path)
prop = lambda name: item.Get("org.kde.StatusNotifierItem", name, dbus_interface=PROPS)
menu = bus.get_object(service, str(prop("Menu")))
_, layout = menu.GetLayout(0, -1, dbus.Array([], signature="s"), dbus_interface="com.canonical.dbusmenu")


def entries(node):
    node_id, properties, children = node
    label = str(properties.get("label", "")).replace("_", "")
    if label:
        yield int(node_id), label
    for child in children:
        yield from entries(child)


found = list(entries(layout))
if sys.argv[1] == "show":
    print(json.dumps({"id": str(prop("Id")), "title": str(prop("Title")), "status": str(prop("Status")),
                      "labels": [label for _, label in found]}))
elif sys.argv[1] == "click":
    ids = [i for i, label in found if label == sys.argv[2]]
    if not ids:
        sys.exit("no menu entry %r among %r" % (sys.argv[2], [label for _, label in found]))
    menu.Event(ids[0], "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0),
               dbus_interface="com.canonical.dbusmenu")
