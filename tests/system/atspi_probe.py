#!/usr/bin/python3
"""Reads a program's accessible tree over AT-SPI, as a screen reader does.

atspi_probe.py tree PID            every object: depth, role, name, states
atspi_probe.py focus PID NAME      focuses the first push button called NAME by its action
                                   (the one action the engine gives the page's objects)
atspi_probe.py listen SECONDS      the events a screen reader hears, one a line, for
                                   SECONDS ("listening" once it hears)
"""
import sys

import pyatspi


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in desktop:
        try:
            if app is not None and app.get_process_id() == pid:
                return app
        except Exception:
            continue
    return None


def walk(node, depth=0, ancestors=None, budget=None):
    """Every object under |node|; one reached by two ways is listed under
    both (a cycle is cut)."""
    if ancestors is None:
        ancestors, budget = set(), [40000]
    if node is None or depth > 60 or budget[0] <= 0:
        return
    key = hash(node)
    if key in ancestors:
        return
    budget[0] -= 1
    yield depth, node
    try:
        children = list(node)
    except Exception:
        return
    ancestors.add(key)
    for child in children:
        yield from walk(child, depth + 1, ancestors, budget)
    ancestors.discard(key)


def describe(node):
    try:
        states = node.getState().getStates()
        names = [pyatspi.stateToString(s) for s in states
                 if s in (pyatspi.STATE_FOCUSED, pyatspi.STATE_FOCUSABLE, pyatspi.STATE_SHOWING,
                          pyatspi.STATE_ACTIVE)]
        return f"{node.getRoleName()}\t{node.name}\t{','.join(names)}"
    except Exception as error:
        return f"(gone)\t{error}\t"


EVENTS = ("object:announcement", "object:children-changed", "object:text-changed",
          "object:property-change:accessible-name", "object:state-changed:showing", "window:create",
          "object:state-changed:focused")


def listen(seconds):
    from gi.repository import GLib

    def heard(event):
        try:
            source = f"{event.source.getRoleName()}\t{event.source.name}"
        except Exception:
            source = "(gone)\t"
        print(f"{event.type}\t{source}\t{event.any_data}", flush=True)

    pyatspi.Registry.registerEventListener(heard, *EVENTS)
    GLib.timeout_add(int(seconds * 1000), pyatspi.Registry.stop)
    GLib.idle_add(lambda: print("listening", flush=True) and False)
    pyatspi.Registry.start()
    return 0


def main():
    if sys.argv[1] == "listen":
        return listen(float(sys.argv[2]))
    command, pid = sys.argv[1], int(sys.argv[2])
    app = application(pid)
    if app is None:
        print("no such application on the accessibility bus", file=sys.stderr)
        return 1
    if command == "tree":
        for depth, node in walk(app):
            print(f"{depth}\t{describe(node)}")
        return 0
    if command == "focus":
        for _, node in walk(app):
            try:
                if node.getRole() == pyatspi.ROLE_PUSH_BUTTON and node.name == sys.argv[3]:
                    action = node.queryAction()
                    names = [action.getName(i) for i in range(action.nActions)]
                    if "SetFocus" not in names:
                        print(f"no SetFocus among {names}", file=sys.stderr)
                        return 1
                    action.doAction(names.index("SetFocus"))
                    return 0
            except Exception:
                continue
        print("no such button", file=sys.stderr)
        return 1
    return 2


sys.exit(main())
