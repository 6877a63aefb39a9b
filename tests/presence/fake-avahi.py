#!/usr/bin/python3
# A stand-in for avahi-daemon on a private system bus, for the lookup queue:
# its browser reports FAKE_AVAHI_ITEMS announcements (before Start returns),
# each resolver answers a moment after Start, except that every item's first
# lookup fails. org.brenvo.Test.MostWaiting tells the most resolvers it
# ever had waiting for their answer at once.
import os
import signal

import dbus
import dbus.service
import dbus.mainloop.glib
from gi.repository import GLib

AVAHI = "org.freedesktop.Avahi"
items = int(os.environ.get("FAKE_AVAHI_ITEMS", "100"))
waiting = set()
most = [0]
failed = set()
counter = [0]


class Resolver(dbus.service.Object):
    def __init__(self, bus, path, name, interface, protocol):
        super().__init__(bus, path)
        self.path, self.name, self.interface, self.protocol = path, name, interface, protocol

    @dbus.service.method(AVAHI + ".ServiceResolver")
    def Start(self):
        waiting.add(self.path)
        most[0] = max(most[0], len(waiting))
        GLib.timeout_add(5, self.answer)

    @dbus.service.method(AVAHI + ".ServiceResolver")
    def Free(self):
        waiting.discard(self.path)
        self.remove_from_connection()

    def answer(self):
        if self.path not in waiting:
            return False
        waiting.discard(self.path)
        if self.name not in failed:
            failed.add(self.name)
            self.Failure("Timeout reached")
        else:
            address = "10.9.%d.%d" % (len(failed) // 250, len(failed) % 250 + 1)
            self.Found(self.interface, self.protocol, self.name, "_brenvo._tcp", "local", "h.local", 0, address,
                       dbus.UInt16(7000), dbus.Array([], signature="ay"), dbus.UInt32(0))
        return False

    @dbus.service.signal(AVAHI + ".ServiceResolver", signature="iissssisqaayu")
    def Found(self, interface, protocol, name, type_, domain, host, aprotocol, address, port, txt, flags):
        pass

    @dbus.service.signal(AVAHI + ".ServiceResolver", signature="s")
    def Failure(self, error):
        pass


class Browser(dbus.service.Object):
    @dbus.service.method(AVAHI + ".ServiceBrowser")
    def Start(self):
        # Answers before the reply to Start.
        for n in range(items):
            self.ItemNew(2, 0, "name %d" % n, "_brenvo._tcp", "local", dbus.UInt32(0))

    @dbus.service.method(AVAHI + ".ServiceBrowser")
    def Free(self):
        self.remove_from_connection()

    @dbus.service.signal(AVAHI + ".ServiceBrowser", signature="iisssu")
    def ItemNew(self, interface, protocol, name, type_, domain, flags):
        pass


class Server(dbus.service.Object):
    @dbus.service.method("org.brenvo.Test", out_signature="i")
    def MostWaiting(self):
        return most[0]

    @dbus.service.method(AVAHI + ".Server", out_signature="i")
    def GetState(self):
        return 2

    @dbus.service.method(AVAHI + ".Server2", in_signature="iissu", out_signature="o")
    def ServiceBrowserPrepare(self, interface, protocol, type_, domain, flags):
        counter[0] += 1
        path = "/Client1/ServiceBrowser%d" % counter[0]
        Browser(self.connection, path)
        return path

    @dbus.service.method(AVAHI + ".Server2", in_signature="iisssiu", out_signature="o")
    def ServiceResolverPrepare(self, interface, protocol, name, type_, domain, aprotocol, flags):
        counter[0] += 1
        path = "/Client1/ServiceResolver%d" % counter[0]
        Resolver(self.connection, path, name, interface, protocol)
        return path


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SystemBus()
Server(bus, "/")
name = dbus.service.BusName(AVAHI, bus)
loop = GLib.MainLoop()
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, loop.quit)
loop.run()
