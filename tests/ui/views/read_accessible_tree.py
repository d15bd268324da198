#!/usr/bin/python3
# Prints, one a line as "role<TAB>name", every object of the named application that the
# accessibility bus shows, so that a test can read a window the way a screen reader does.
# Retries until the application appears (at most the given seconds).
import sys
import time

import pyatspi


def walk(node, depth, out):
    if node is None or depth > 30:
        return
    try:
        out.append("%s\t%s" % (node.getRoleName(), node.name))
        for i in range(min(node.childCount, 500)):
            walk(node.getChildAtIndex(i), depth + 1, out)
    except Exception:  # objects can go while they are read
        pass


def main():
    name = sys.argv[1]
    deadline = time.time() + float(sys.argv[2] if len(sys.argv) > 2 else 10)
    while time.time() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for i in range(desktop.childCount):
            app = desktop.getChildAtIndex(i)
            if app is not None and app.name == name:
                out = []
                walk(app, 0, out)
                if any(line.startswith("page tab\t") for line in out):
                    print("\n".join(out))
                    return 0
        time.sleep(0.2)
    return 1


sys.exit(main())
