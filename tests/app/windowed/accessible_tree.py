"""Prints the accessibility tree of one application as JSON lines: {"path", "role", "name",
"states", "box", "text"}, the box being the node's screen rectangle [x, y, width, height] or null,
the text a text node holds (its first 1000 characters) or null. Run with /usr/bin/python3 in the environment of the desktop whose accessibility bus
it reads."""

import json
import sys

import pyatspi


def box(node):
    try:
        extents = node.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return [extents.x, extents.y, extents.width, extents.height]
    except Exception:  # not a component
        return None


def text(node):
    if node.getRoleName() != "text":
        return None
    try:
        return node.queryText().getText(0, -1)[:1000]
    except Exception:  # no text interface
        return None


def walk(node, path, out, depth):
    if node is None or depth > 12:
        return
    try:
        states = node.getState()
        state_names = [pyatspi.stateToString(s) for s in states.getStates()]
        out.append({"path": path, "role": node.getRoleName(), "name": node.name, "states": state_names,
                    "box": box(node), "text": text(node)})
        for index in range(node.childCount):
            walk(node.getChildAtIndex(index), path + [index], out, depth + 1)
    except Exception:  # a node that went away meanwhile
        return


def main():
    application = sys.argv[1]
    desktop = pyatspi.Registry.getDesktop(0)
    out = []
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and app.name == application:
            walk(app, [], out, 0)
    for node in out:
        print(json.dumps(node))


main()
