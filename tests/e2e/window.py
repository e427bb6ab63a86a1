"""The application's windows as a person meets them: what they show, read through the accessibility bus,
and key and mouse events sent to the display with xdotool."""

import subprocess
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402


class Stuck(Exception):
    """The person waited for something that did not come."""


class Node:
    def __init__(self, accessible, role, name, description, box, enabled, frame):
        self.accessible, self.role, self.name, self.description = accessible, role, name, description
        self.box, self.enabled, self.frame = box, enabled, frame

    def centre(self):
        x, y, w, h = self.box
        return x + w // 2, y + h // 2

    def on_screen(self):
        """Inside its window, not scrolled out of sight."""
        fx, fy, fw, fh = self.frame
        x, y = self.centre()
        return fx <= x < fx + fw and fy + 4 <= y < fy + fh - 4

    def __repr__(self):
        return f"{self.role} {self.name!r}"


def _walk(accessible, frame, into):
    if accessible is None:
        return  # the item went away while it was read
    try:
        states = accessible.get_state_set()
        if not states.contains(Atspi.StateType.SHOWING):
            return
        extents = accessible.get_extents(Atspi.CoordType.SCREEN)
        box = (extents.x, extents.y, extents.width, extents.height)
        role = accessible.get_role_name()
        if role == "frame":
            frame = box
        name = accessible.get_name() or ""
        if not name and role == "text":  # a read-only text shows its content, not a name
            name = Atspi.Text.get_text(accessible, 0, -1) or ""
        into.append(Node(accessible, role, name, accessible.get_description() or "", box,
                         states.contains(Atspi.StateType.ENABLED), frame))
        for i in range(accessible.get_child_count()):
            _walk(accessible.get_child_at_index(i), frame, into)
    except gi.repository.GLib.Error:
        pass  # the item went away while it was read


def xdotool(*args):
    subprocess.run(["xdotool", *map(str, args)], check=True, stdout=subprocess.DEVNULL)


class Windows:
    """Every window of one running application (the process `pid`)."""

    def __init__(self, pid):
        self.pid = pid

    def nodes(self):
        desktop = Atspi.get_desktop(0)
        found = []
        for i in range(desktop.get_child_count()):
            application = desktop.get_child_at_index(i)
            try:
                if application is not None and application.get_process_id() == self.pid:
                    application.clear_cache()  # read what shows now, not what showed when first asked
                    for j in range(application.get_child_count()):
                        _walk(application.get_child_at_index(j), None, found)
            except gi.repository.GLib.Error:
                continue
        return found

    def texts(self):
        return [n.name for n in self.nodes() if n.name]

    def find(self, name=None, role=None, contains=None, description=None):
        return next((n for n in self.nodes() if (not role or n.role == role) and name in (None, n.name)
                     and (contains is None or contains in n.name) and description in (None, n.description)), None)

    def wait(self, what=None, timeout=30, **query):
        """Waits for an item (see find) or, with `what` callable, for what it returns (its docstring
        says what was awaited)."""
        deadline = time.monotonic() + timeout
        while True:
            found = what(self) if callable(what) else self.find(**query)
            if found:
                return found
            if time.monotonic() > deadline:
                raise Stuck(f"waited {timeout} s for {query or what.__doc__}")
            time.sleep(0.25)

    def wait_gone(self, timeout=30, **query):
        def gone(w):
            return w.find(**query) is None
        gone.__doc__ = f"{query} to go"
        return self.wait(gone, timeout)

    def click(self, name, role="push button", timeout=30):
        """Clicks an enabled item, scrolling it into sight first."""
        def enabled(w):  # the one in sight when two windows have it (the panel and the main window)
            nodes = [n for n in w.nodes() if n.name == name and n.role == role and n.enabled]
            return next((n for n in nodes if n.on_screen()), nodes[0] if nodes else None)
        enabled.__doc__ = f"{role} {name!r} to be enabled"
        node = self._scroll_to(self.wait(enabled, timeout))
        xdotool("mousemove", *node.centre(), "click", "1")
        return node

    def type_into(self, name, text, role="text"):
        """Types into a field until it holds as many characters as were typed."""
        for _ in range(3):
            field = self.click(name, role)
            xdotool("key", "ctrl+a", "BackSpace")
            xdotool("type", "--delay", "40", text)
            time.sleep(0.3)
            if Atspi.Text.get_character_count(field.accessible) >= len(text):
                return
        raise Stuck(f"typing into {role} {name!r} did not take")

    def _scroll_to(self, node):
        for _ in range(40):
            if node.on_screen():
                return node
            fx, fy, fw, fh = node.frame
            xdotool("mousemove", fx + fw - 40, fy + fh // 2, "click", "5" if node.centre()[1] >= fy + fh else "4")
            time.sleep(0.1)
            node = self.find(name=node.name, role=node.role) or node
        raise Stuck(f"{node} stays out of sight")
