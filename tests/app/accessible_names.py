#!/usr/bin/python3
"""Reads the running rdrconf over AT-SPI, as Orca does, in each language.

Started by accessible_names_test.sh inside a session bus of its own
(dbus-run-session) on an X display of its own. It starts the accessibility
bus (at-spi-bus-launcher), then for each language starts the program with
that language chosen and checks:
  - the name of every control that takes the focus, and that each list is
    labelled by the label before it (the labelled-by relation);
  - that the test scan's result is announced each time it is given a text,
    also the same text twice (a notification that shows anew);
  - the names in the language dialog, opened from the window's context menu.
It prints what it read, one line a control, and ends with status 1 when
anything differs.

  accessible_names.py WORK_FOLDER PROGRAM...
"""

import os
import signal
import subprocess
import sys
import time

import pyatspi
from gi.repository import GLib

# What each control that takes the focus is called, in tab order; a list's
# name is its label's text without the colon, and the label is named too.
EXPECTED = {
    "zh-CN": {
        "settings": [
            ("combo box", "卡类型", "卡类型："),
            ("combo box", "卡号类型", "卡号类型："),
            ("combo box", "模式", "模式："),
            ("combo box", "回车", "回车："),
            ("check box", "省电模式（笔记本启用）", None),
            ("push button", "设置参数", None),
            ("push button", "恢复默认参数", None),
            ("combo box", "读卡器", None),
            ("push button", "测试刷卡", None),
        ],
        "announced": "未连接读卡器：请插入读卡器",
        "language": [("combo box", "语言", None), ("push button", "保存", None)],
    },
    "en-US": {
        "settings": [
            ("combo box", "Card type", "Card type:"),
            ("combo box", "Format", "Format:"),
            ("combo box", "Mode", "Mode:"),
            ("combo box", "Enter", "Enter:"),
            ("check box", "Power saving (for laptops)", None),
            ("push button", "Apply", None),
            ("push button", "Defaults", None),
            ("combo box", "Reader", None),
            ("push button", "Test a card", None),
        ],
        "announced": "No reader: plug it in",
        "language": [("combo box", "Language", None), ("push button", "Save", None)],
    },
}
INTERACTIVE = {"combo box", "check box", "push button"}
# Generous: a sanitizer build on a loaded 2-core machine starts slowly.
WAIT_SECONDS = 90

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what, flush=True)


def wait_for(find, what):
    deadline = time.monotonic() + WAIT_SECONDS
    while time.monotonic() < deadline:
        found = find()
        if found:
            return found
        time.sleep(0.2)
    raise RuntimeError("gave up waiting for " + what)


def application():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name == "RDRCONF":
            return app
    return None


def window(app, title=None):
    """The application's window called `title` (any, without one) once it has its controls."""
    # Windows come and go: what the accessibility library keeps of the
    # application's children may be older than they are.
    app.clear_cache()
    for child in app:
        if child is not None and child.getRoleName() == "dialog" and title in (None, child.name) \
                and child.childCount > 0:
            return child
    return None


def described(accessible):
    """(role, name, names of the labels it is labelled by)."""
    labels = []
    for relation in accessible.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            labels += [relation.getTarget(i).name for i in range(relation.getNTargets())]
    return accessible.getRoleName(), accessible.name, labels


def read_controls(dialog, expected, language, title):
    """Checks the interactive controls of `dialog`, in tree order."""
    controls = [described(c) for c in dialog if c is not None and c.getRoleName() in INTERACTIVE]
    for role, name, labels in controls:
        print(f"{language}\t{title}\t{role}\t{name}\t{' '.join(labels) or '-'}", flush=True)
    check(len(controls) == len(expected), f"{language} {title}: {len(controls)} controls, expected {len(expected)}")
    for (role, name, labels), (expected_role, expected_name, expected_label) in zip(controls, expected):
        check(role == expected_role and name == expected_name,
              f"{language} {title}: {role} '{name}', expected {expected_role} '{expected_name}'")
        wanted = [expected_label] if expected_label else []
        check(labels == wanted, f"{language} {title}: '{name}' labelled by {labels}, expected {wanted}")


def announcements(dialog, button_name, times):
    """Presses the named button `times` times; the texts of the notifications shown meanwhile."""
    button = next(c for c in dialog if c is not None and c.getRoleName() == "push button" and c.name == button_name)
    shown = []
    loop = GLib.MainLoop()

    def on_showing(event):
        if event.detail1 == 1 and event.source.getRoleName() == "notification":
            shown.append(event.source.name)
            if len(shown) == times:
                loop.quit()

    presses = []

    def press():
        button.queryAction().doAction(0)
        presses.append(1)
        return len(presses) < times  # again, until pressed `times` times

    pyatspi.Registry.registerEventListener(on_showing, "object:state-changed:showing")
    GLib.timeout_add(700, press)
    GLib.timeout_add_seconds(WAIT_SECONDS, loop.quit)
    loop.run()
    pyatspi.Registry.deregisterEventListener(on_showing, "object:state-changed:showing")
    return shown


def open_language_dialog(settings):
    """The Language item of the window's context menu, as a person opens it."""
    extents = settings.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    # A right click in the window's empty left margin, then the menu's one item.
    subprocess.run(["xdotool", "mousemove", str(extents.x + 3), str(extents.y + extents.height - 3), "click", "3"],
                   check=True)
    time.sleep(1)
    subprocess.run(["xdotool", "key", "Down", "Return"], check=True)


def run(work, program, language):
    with open(os.path.join(work, "RDRCONF.config"), "w", encoding="utf-8") as choice:
        choice.write(f"[config]\nlanguage={language}\n")
    process = subprocess.Popen(program, cwd=work)
    try:
        app = wait_for(application, "the program on the accessibility bus")
        settings = wait_for(lambda: window(app), "the settings window")
        read_controls(settings, EXPECTED[language]["settings"], language, "settings")
        announced = EXPECTED[language]["announced"]
        shown = announcements(settings, EXPECTED[language]["settings"][-1][1], 2)
        for text in shown:
            print(f"{language}\tsettings\tnotification\t{text}\tannounced", flush=True)
        check(shown == [announced, announced], f"{language}: announced {shown}, expected '{announced}' twice")
        open_language_dialog(settings)
        dialog = wait_for(lambda: window(app, "Language"), "the language dialog")
        read_controls(dialog, EXPECTED[language]["language"], language, "language")
    finally:
        process.send_signal(signal.SIGTERM)
        process.wait(timeout=60)


def main():
    work, program = sys.argv[1], sys.argv[2:]
    launcher = subprocess.Popen(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"])
    try:
        for language in ("zh-CN", "en-US"):
            run(work, program, language)
    finally:
        launcher.terminate()
        launcher.wait(timeout=60)
    if failures:
        print(f"{len(failures)} failures", file=sys.stderr)
        return 1
    print("passed: every control is named in both languages, and the test scan's result is announced")
    return 0


if __name__ == "__main__":
    sys.exit(main())
