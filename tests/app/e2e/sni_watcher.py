"""A panel's StatusNotifierWatcher, small: takes the items that register,
forgets them when they leave the bus, and says a host is there. Run it as
its own process on the session bus (sni_watcher.py); stop it with SIGTERM.
The tests read the items themselves (StatusItem)."""

import signal
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"


class Watcher(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, "/StatusNotifierWatcher")
        self.bus = bus
        self.items = []
        bus.add_signal_receiver(self.owner_changed, "NameOwnerChanged", "org.freedesktop.DBus")

    def owner_changed(self, name, old, new):
        if not new:
            for item in [i for i in self.items if i == name or i.startswith(name + "/")]:
                self.items.remove(item)
                self.StatusNotifierItemUnregistered(item)

    @dbus.service.method(WATCHER, in_signature="s", sender_keyword="sender")
    def RegisterStatusNotifierItem(self, service, sender=None):
        item = sender + service if service.startswith("/") else service
        if item not in self.items:
            self.items.append(item)
            self.StatusNotifierItemRegistered(item)

    @dbus.service.method(WATCHER, in_signature="s")
    def RegisterStatusNotifierHost(self, service):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemRegistered(self, item):
        pass

    @dbus.service.signal(WATCHER, signature="s")
    def StatusNotifierItemUnregistered(self, item):
        pass

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return {"RegisteredStatusNotifierItems": dbus.Array(self.items, signature="s"),
                "IsStatusNotifierHostRegistered": True, "ProtocolVersion": dbus.Int32(0)}


class StatusItem:
    """An item as a panel sees it, read afresh at every call."""

    def __init__(self, bus, address):
        service, _, path = address.partition("/")
        self.bus = bus
        self.service = service
        self.path = "/" + path if path else "/StatusNotifierItem"

    def _object(self, path):
        return self.bus.get_object(self.service, path, introspect=False)

    def prop(self, name):
        return self._object(self.path).Get(ITEM, name, dbus_interface=dbus.PROPERTIES_IFACE)

    def tooltip(self):
        return str(self.prop("ToolTip")[3])

    def status(self):
        return str(self.prop("Status"))

    def activate(self):
        self._object(self.path).Activate(0, 0, dbus_interface=ITEM)

    def menu(self):
        """[(id, label, enabled)] of the menu's entries; separators as (id, "-", False)."""
        menu = self._object(str(self.prop("Menu")))
        _, (_, _, children) = menu.GetLayout(0, -1, dbus.Array([], signature="s"), dbus_interface=MENU)
        entries = []
        for child in children:
            item_id, props, _ = child
            if props.get("type") == "separator":
                entries.append((int(item_id), "-", False))
            else:
                entries.append((int(item_id), str(props.get("label", "")).replace("__", "_"),
                                bool(props.get("enabled", True))))
        return entries

    def click(self, label):
        menu = self._object(str(self.prop("Menu")))
        for item_id, text, enabled in self.menu():
            if text == label and enabled:
                menu.Event(dbus.Int32(item_id), "clicked", dbus.Int32(0, variant_level=1), dbus.UInt32(0),
                           dbus_interface=MENU)
                return
        raise KeyError(f"no enabled entry {label!r} in {self.menu()}")


def registered_items(bus):
    """The items the watcher on the bus holds; [] without a watcher."""
    try:
        watcher = bus.get_object(WATCHER, "/StatusNotifierWatcher", introspect=False)
        return [str(i) for i in watcher.Get(WATCHER, "RegisteredStatusNotifierItems",
                                            dbus_interface=dbus.PROPERTIES_IFACE)]
    except dbus.DBusException:
        return []


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    watcher = Watcher(bus)
    name = dbus.service.BusName(WATCHER, bus, do_not_queue=True)
    loop = GLib.MainLoop()
    GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
    print("ready", flush=True)
    loop.run()
    del name, watcher
    return 0


if __name__ == "__main__":
    sys.exit(main())
