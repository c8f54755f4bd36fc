# A stand-in for the desktop portal's front end (org.freedesktop.portal.Desktop) on the test
# session bus: Screenshot answers with a known picture or a chosen refusal, GlobalShortcuts binds
# what is proposed (or less, or nothing, as a test chooses), activates a shortcut and changes the
# keys when a test asks, and the host Registry of portal 1.19 takes an application id. Tests
# steer it through com.quorlan.LumivexTest.FakePortal on the same object.
import json, os, shutil, sys, tempfile
import dbus, dbus.service, dbus.mainloop.glib
from gi.repository import GLib

PATH = "/org/freedesktop/portal/desktop"
SCREENSHOT = "org.freedesktop.portal.Screenshot"
SHORTCUTS = "org.freedesktop.portal.GlobalShortcuts"
REGISTRY = "org.freedesktop.host.portal.Registry"
CONTROL = "com.quorlan.LumivexTest.FakePortal"
LOG = sys.argv[1] if len(sys.argv) > 1 else os.devnull
BACKEND = "--backend" in sys.argv


def log(**record):
    with open(LOG, "a") as f:
        f.write(json.dumps(record) + "\n")


class Request(dbus.service.Object):
    def __init__(self, bus, path):
        super().__init__(bus, path)
        self.closed = False

    @dbus.service.method("org.freedesktop.portal.Request")
    def Close(self):
        self.closed = True
        log(call="Request.Close", path=str(self._object_path))

    @dbus.service.signal("org.freedesktop.portal.Request", signature="ua{sv}")
    def Response(self, response, results):
        pass

    def answer_later(self, response, results):
        def emit():
            if not self.closed:
                self.Response(dbus.UInt32(response), dbus.Dictionary(results, signature="sv"))
            self.remove_from_connection()
            return False
        GLib.timeout_add(20, emit)


def close_session(session, reply):
    """Answers a Close a little later, as a busy portal does: a client that asks for a session
    under the same name before the answer races the old session's end (see "Session.Closed")."""
    path = str(session._object_path)
    log(call="Session.Close", path=path)
    portal.sessions.pop(path, None)
    session.remove_from_connection()

    def answer():
        log(call="Session.Closed", path=path)
        reply()
        return False
    GLib.timeout_add(150, answer)


class Session(dbus.service.Object):
    @dbus.service.method("org.freedesktop.portal.Session", async_callbacks=("reply", "error"))
    def Close(self, reply, error):
        close_session(self, reply)


class Portal(dbus.service.Object):
    def __init__(self, bus):
        super().__init__(bus, PATH)
        self.bus = bus
        self.answer = "0"            # Screenshot: "0" picture, "1" cancelled, "2" failed, "never"
        self.picture = ""
        self.offer_shortcuts = True
        self.offer_registry = True
        self.bind_answer = "all"     # "all", "empty", "1", "2", or the ids to bind, comma-separated
        self.sessions = {}           # session path -> list of (id, properties)
        self.app_ids = {}            # sender -> the id it registered, "" once it called unregistered
        self.counter = 0

    def caller(self, sender):
        # Like xdg-desktop-portal: the first call fixes a connection's identity.
        self.app_ids.setdefault(str(sender), "")

    def bind_results(self, bound):
        if self.bind_answer in ("1", "2"):
            return int(self.bind_answer), []
        chosen = [] if self.bind_answer == "empty" else [i for i, _ in bound] if self.bind_answer == "all" \
            else self.bind_answer.split(",")
        return 0, [(i, {"description": p.get("description", ""), "trigger_description": p.get("preferred_trigger", "")})
                   for i, p in bound if i in chosen]

    def request(self, sender, options):
        token = str(options.get("handle_token", ""))
        if not token:
            self.counter += 1
            token = "fake%d" % self.counter
        name = sender[1:].replace(".", "_")
        return Request(self.bus, "%s/request/%s/%s" % (PATH, name, token))

    @dbus.service.method(SCREENSHOT, in_signature="sa{sv}", out_signature="o", sender_keyword="sender")
    def Screenshot(self, parent, options, sender):
        self.caller(sender)
        log(call="Screenshot", interactive=bool(options.get("interactive", False)))
        req = self.request(sender, options)
        if self.answer == "0":
            fd, copy = tempfile.mkstemp(prefix="Screenshot_", suffix=".png")
            os.close(fd)
            shutil.copyfile(self.picture, copy)
            log(call="Screenshot.file", path=copy)
            req.answer_later(0, {"uri": "file://" + copy})
        elif self.answer in ("1", "2"):
            req.answer_later(int(self.answer), {})
        return req._object_path

    @dbus.service.method(SHORTCUTS, in_signature="a{sv}", out_signature="o", sender_keyword="sender")
    def CreateSession(self, options, sender):
        if not self.offer_shortcuts:
            raise dbus.exceptions.DBusException("no such interface", name="org.freedesktop.DBus.Error.UnknownMethod")
        self.caller(sender)
        req = self.request(sender, options)
        name = sender[1:].replace(".", "_")
        token = str(options.get("session_handle_token", "s"))
        path = "%s/session/%s/%s" % (PATH, name, token)
        log(call="CreateSession", token=token, app_id=self.app_ids[str(sender)])
        Session(self.bus, path)
        self.sessions[path] = []
        req.answer_later(0, {"session_handle": path})
        return req._object_path

    @dbus.service.method(SHORTCUTS, in_signature="oa(sa{sv})sa{sv}", out_signature="o", sender_keyword="sender")
    def BindShortcuts(self, session, shortcuts, parent, options, sender):
        req = self.request(sender, options)
        if str(session) not in self.sessions:
            req.answer_later(2, {})
            return req._object_path
        bound = [(str(i), {str(k): str(v) for k, v in p.items()}) for i, p in shortcuts]
        log(call="BindShortcuts", session=str(session), shortcuts=bound)
        code, results = self.bind_results(bound)
        if code == 0:
            self.sessions[str(session)] = [(i, p) for i, p in bound if any(i == r for r, _ in results)]
            req.answer_later(0, {"shortcuts": dbus.Array(results, signature="(sa{sv})")})
        else:
            req.answer_later(code, {})
        return req._object_path

    @dbus.service.signal(SHORTCUTS, signature="oa(sa{sv})")
    def ShortcutsChanged(self, session, shortcuts):
        pass

    @dbus.service.method(REGISTRY, in_signature="sa{sv}", sender_keyword="sender")
    def Register(self, app_id, options, sender):
        if not self.offer_registry:
            raise dbus.exceptions.DBusException("no such interface", name="org.freedesktop.DBus.Error.UnknownMethod")
        if str(sender) in self.app_ids:
            raise dbus.exceptions.DBusException("Connection already associated with an application ID",
                                                name="org.freedesktop.portal.Error.Failed")
        self.app_ids[str(sender)] = str(app_id)
        log(call="Register", app_id=str(app_id))

    @dbus.service.signal(SHORTCUTS, signature="osta{sv}")
    def Activated(self, session, shortcut, timestamp, options):
        pass

    @dbus.service.method("org.freedesktop.DBus.Properties", in_signature="ss", out_signature="v")
    def Get(self, interface, prop):
        if prop == "version" and (interface == SCREENSHOT or (interface == SHORTCUTS and self.offer_shortcuts)):
            return dbus.UInt32(2 if interface == SCREENSHOT else 1)
        raise dbus.exceptions.DBusException("no property %s.%s" % (interface, prop),
                                            name="org.freedesktop.DBus.Error.InvalidArgs")

    # Steering by tests.
    @dbus.service.method(CONTROL, in_signature="ss")
    def SetScreenshotAnswer(self, answer, picture):
        self.answer, self.picture = str(answer), str(picture)

    @dbus.service.method(CONTROL, in_signature="b")
    def OfferGlobalShortcuts(self, offered):
        self.offer_shortcuts = bool(offered)

    @dbus.service.method(CONTROL, in_signature="b")
    def OfferRegistry(self, offered):
        self.offer_registry = bool(offered)

    @dbus.service.method(CONTROL, in_signature="s")
    def SetBindAnswer(self, answer):
        self.bind_answer = str(answer)

    @dbus.service.method(CONTROL, in_signature="s")
    def ChangeKeys(self, keys):
        """The user rebinds in the desktop's settings: keys is JSON {id: trigger description}."""
        keys = json.loads(keys)
        for session, bound in self.sessions.items():
            self.ShortcutsChanged(dbus.ObjectPath(session), dbus.Array(
                [(i, {"description": p.get("description", ""), "trigger_description": keys.get(i, "")})
                 for i, p in bound], signature="(sa{sv})"))

    @dbus.service.method(CONTROL, in_signature="s", out_signature="b")
    def Activate(self, shortcut):
        for session, bound in self.sessions.items():
            if any(i == shortcut for i, _ in bound):
                self.Activated(dbus.ObjectPath(session), shortcut, dbus.UInt64(0),
                               dbus.Dictionary({}, signature="sv"))
                return True
        return False

    @dbus.service.method(CONTROL, out_signature="s")
    def Bound(self):
        return json.dumps(self.sessions)


class ImplRequest(dbus.service.Object):
    """The back end's side of a request: the front end closes it when its caller gives up."""
    def __init__(self, bus, path, on_close=None):
        super().__init__(bus, path)
        self.on_close = on_close

    @dbus.service.method("org.freedesktop.impl.portal.Request")
    def Close(self):
        log(call="Request.Close", path=str(self._object_path))
        if self.on_close:
            self.on_close()
        self.remove_from_connection()


class ImplSession(dbus.service.Object):
    @dbus.service.method("org.freedesktop.impl.portal.Session", async_callbacks=("reply", "error"))
    def Close(self, reply, error):
        close_session(self, reply)


class Backend(Portal):
    """The same behaviour behind the back-end interfaces xdg-desktop-portal calls."""

    @dbus.service.method("org.freedesktop.impl.portal.Screenshot", in_signature="ossa{sv}",
                         out_signature="ua{sv}", async_callbacks=("reply", "error"))
    def Screenshot(self, handle, app_id, parent, options, reply, error):
        log(call="Screenshot", interactive=bool(options.get("interactive", False)))
        request = ImplRequest(self.bus, handle)
        def answer(code, results):
            request.remove_from_connection()
            reply(dbus.UInt32(code), dbus.Dictionary(results, signature="sv"))
        if self.answer == "0":
            fd, copy = tempfile.mkstemp(prefix="Screenshot_", suffix=".png")
            os.close(fd)
            shutil.copyfile(self.picture, copy)
            log(call="Screenshot.file", path=copy)
            answer(0, {"uri": "file://" + copy})
        elif self.answer in ("1", "2"):
            answer(int(self.answer), {})
        else:   # never answers; a Close from the front end ends the call as cancelled
            request.on_close = lambda: reply(dbus.UInt32(1), dbus.Dictionary({}, signature="sv"))

    @dbus.service.method("org.freedesktop.impl.portal.GlobalShortcuts", in_signature="oosa{sv}",
                         out_signature="ua{sv}")
    def CreateSession(self, handle, session, app_id, options):
        log(call="CreateSession", token=str(session).rsplit("/", 1)[-1], app_id=str(app_id))
        ImplSession(self.bus, session)
        self.sessions[str(session)] = []
        return dbus.UInt32(0), dbus.Dictionary({}, signature="sv")

    @dbus.service.method("org.freedesktop.impl.portal.GlobalShortcuts", in_signature="ooa(sa{sv})sa{sv}",
                         out_signature="ua{sv}")
    def BindShortcuts(self, handle, session, shortcuts, parent, options):
        bound = [(str(i), {str(k): str(v) for k, v in p.items()}) for i, p in shortcuts]
        log(call="BindShortcuts", session=str(session), shortcuts=bound)
        code, results = self.bind_results(bound)
        if code != 0:
            return dbus.UInt32(code), dbus.Dictionary({}, signature="sv")
        self.sessions[str(session)] = [(i, p) for i, p in bound if any(i == r for r, _ in results)]
        return dbus.UInt32(0), dbus.Dictionary({"shortcuts": dbus.Array(results, signature="(sa{sv})")},
                                               signature="sv")

    @dbus.service.method("org.freedesktop.impl.portal.GlobalShortcuts", in_signature="oo",
                         out_signature="ua{sv}")
    def ListShortcuts(self, handle, session):
        return dbus.UInt32(0), dbus.Dictionary({"shortcuts": dbus.Array(
            [(i, {"description": p.get("description", "")}) for i, p in self.sessions.get(str(session), [])],
            signature="(sa{sv})")}, signature="sv")

    @dbus.service.signal("org.freedesktop.impl.portal.GlobalShortcuts", signature="osta{sv}")
    def Activated(self, session, shortcut, timestamp, options):
        pass

    # xdg-desktop-portal offers Screenshot only beside an Access back end (its permission dialog).
    @dbus.service.method("org.freedesktop.impl.portal.Access", in_signature="osssssa{sv}",
                         out_signature="ua{sv}")
    def AccessDialog(self, handle, app_id, parent, title, subtitle, body, options):
        log(call="AccessDialog", app_id=str(app_id))
        return dbus.UInt32(0), dbus.Dictionary({}, signature="sv")

    @dbus.service.method("org.freedesktop.DBus.Properties", in_signature="ss", out_signature="v")
    def Get(self, interface, prop):
        if prop == "version":
            return dbus.UInt32(1)
        raise dbus.exceptions.DBusException("no property", name="org.freedesktop.DBus.Error.InvalidArgs")

    @dbus.service.method("org.freedesktop.DBus.Properties", in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return dbus.Dictionary({"version": dbus.UInt32(1)}, signature="sv")


dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
bus = dbus.SessionBus()
if BACKEND:
    name = dbus.service.BusName("org.freedesktop.impl.portal.desktop.lumivextest", bus, do_not_queue=True)
    portal = Backend(bus)
else:
    name = dbus.service.BusName("org.freedesktop.portal.Desktop", bus, do_not_queue=True)
    portal = Portal(bus)
GLib.MainLoop().run()
