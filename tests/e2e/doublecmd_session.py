#!/usr/bin/env python3
"""Drives the real Double Commander with the Linux Quenfold.wfx.

Starts a private X server and window manager, a throwaway Double Commander
configuration that loads the plugin, and one Double Commander in an empty
directory; then does what a user does, each step checked on disk against what
it should have left and on screen for the dialogs that belong (and none else):
lists a fixture tree through the plugin and compares the panel with an
independent walk of the same tree (names, sizes of files and of every directory
entry); copies a nested entry out, then its folder's entry alone; deletes
one; views and edits one (F3, F4); sets a file's attributes and time in
cm_SetFileProperties; deletes a link to a folder outside (the folder kept);
copies between two plugin panels onto an existing name (Skip, then
Overwrite); renames in place onto an existing name (refused, nothing lost);
copies a whole tree out with select all + F5 and deletes it with select all +
F8 (nested and empty folders); copies out a file read slowly enough to watch
the progress window rise and Cancel stop it (no partial file left); and checks
that a long listing leaves no enumeration open. The panel shows Unix
permissions, set through the attributes dialog; Enter opens the real file
with Double Commander's own association and with the desktop's opener (a
stand-in that records what it was given) and enters a directory entry's
folder; select all + Alt+F5 packs a zip that extracts every file and folder;
"properties" with a session bus that never answers leaves Double Commander
answering within seconds. Every process started here is stopped by its PID.

usage: doublecmd_session.py PLUGIN [--screenshot PNG]
"""
import argparse
import datetime
import os
import shutil
import signal
import socket
import stat
import subprocess
import sys
import tempfile
import threading
import time
import zipfile

# The session's own key map. Double Commander reads Shift, Ctrl and Alt as they
# are when it handles a key, not as they were when the key was pressed: a busy
# Double Commander took Shift+F2 for F2. So no key here needs one. F5 and F8
# do what they do by default; F3 and F4 neither view nor edit here (cm_Edit
# with a marked selection has crashed Double Commander 1.0.10 itself); F12
# renames in place, as Shift+F6 does by default; Insert views and Delete edits
# (the window manager's Alt+F4 closes the viewer and the editor: it is
# openbox's key, not Double Commander's).
KEYS = {  # key -> (command, parameters)
    "F1": ("cm_ChangeDir", ["activepath=wfx://Quenfold{tree}", "inactivepath={tree_out}"]),
    "F2": ("cm_ChangeDir", ["activepath=wfx://Quenfold{fixture}", "inactivepath={out}"]),
    "F3": ("cm_MarkMarkAll", []),
    "F4": ("cm_CopyFileDetailsToClip", []),
    "F5": ("cm_Copy", []),
    "F6": ("cm_SaveSelectionToFile", ["{selection}"]),
    "F7": ("cm_MarkUnmarkAll", []),
    "F8": ("cm_Delete", []),
    "F9": ("cm_ChangeDir", ["activepath=wfx://Quenfold{left}",
                            "inactivepath=wfx://Quenfold{right}"]),
    "F10": ("cm_ChangeDir", ["activepath=wfx://Quenfold{slow}", "inactivepath={slow_out}"]),
    "F11": ("cm_ChangeDir", ["activepath=wfx://Quenfold{big}"]),
    "F12": ("cm_RenameOnly", []),
    "Ins": ("cm_View", []),
    "Del": ("cm_Edit", []),
    "PgUp": ("cm_SetFileProperties", []),
    "PgDn": ("cm_PackFiles", []),
    "F13": ("cm_FileProperties", []),
}

# Enter on a .txt file runs this association of Double Commander's own; on
# other files the plugin hands the file to the desktop's opener, xdg-open,
# here a stand-in. Both record what they were given; the association also
# writes into the file it opened.
ASSOCIATION = """#!/bin/sh
printf '%s\\n' "$1" >> "{log}"
printf '+assoc' >> "$1"
"""
OPENER = """#!/bin/sh
printf '%s\\n' "$1" >> "{log}"
"""

failures = []
session_started = time.time()


def step(name):
    print(f"-- {time.time() - session_started:5.1f} s: {name}")


def check(what, actual, expected):
    if actual != expected:
        failures.append(what)
        print(f"FAIL: {what}\n  got:      {actual!r}\n  expected: {expected!r}")
    else:
        print(f"ok: {what}")


def write(path, content):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(content)


def make_fixture(root, outside):
    """Names that Windows could not hold side by side, and links, one of them
    to a folder outside."""
    files = {
        "a/b/report.txt": b"0123456789", "a/g": b"12345", "x": b"1", ".hidden": b"hh",
        "dir/in": b"abc", "dir./in": b"defg", "back\\slash": b"4444", "z\u00e9.txt": b"\xc3\xa9",
        "\u8868/\u30bd.txt": b"sss", "Case": b"C", "case": b"cc", "sp ": b"   ",
    }
    for name, content in files.items():
        write(os.path.join(root, name), content)
    os.makedirs(os.path.join(root, "empty"))
    os.symlink(os.path.join(root, "a"), os.path.join(root, "lnk"))
    os.symlink(os.path.join(root, "x"), os.path.join(root, "flink"))
    os.symlink(os.path.join(root, "nowhere"), os.path.join(root, "dangling"))
    write(os.path.join(outside, "keep.txt"), b"keep")
    write(os.path.join(outside, "sub", "deep.txt"), b"deep")
    os.symlink(outside, os.path.join(root, "dlink"))


def oracle(root):
    """The flat listing expected of a tree, by a walk of its own: files by
    relative name and size, directories after their contents as "name./" with
    the total size of the files beneath; links to directories are listed as
    links and not followed; dangling links are listed with size 0."""
    entries = {}

    def walk(relative):
        total = 0
        directory = os.path.join(root, relative)
        for name in os.listdir(directory):
            path = os.path.join(directory, name)
            name = f"{relative}/{name}" if relative else name
            info = os.lstat(path)
            if stat.S_ISLNK(info.st_mode):
                try:
                    info = os.stat(path)
                except FileNotFoundError:
                    entries[name] = 0  # a dangling link: listed, so it can be deleted
                    continue
                if stat.S_ISDIR(info.st_mode):
                    entries[name] = "<LNK>"
                    continue
            if stat.S_ISDIR(info.st_mode):
                size = walk(name)
                entries[name + "./"] = size
            else:
                size = info.st_size
                entries[name] = size
            total += size
        return total

    walk("")
    return {name: str(size) for name, size in entries.items()}



def tree_state(root, relative=False):
    """Every path under root with its kind and content, links not followed;
    by path relative to root when asked, to compare a copy with its source."""
    state = {}
    for directory, subdirectories, files in os.walk(root):
        for name in subdirectories + files:
            path = os.path.join(directory, name)
            key = os.path.relpath(path, root) if relative else path
            if os.path.islink(path):
                state[key] = "link " + os.readlink(path)
            elif os.path.isdir(path):
                state[key] = "dir"
            else:
                with open(path, "rb") as f:
                    state[key] = f.read()
    return state


def wait_until(condition, seconds):
    """Polls condition until it holds or seconds pass; its last answer."""
    deadline = time.time() + seconds
    while True:
        result = condition()
        if result or time.time() >= deadline:
            return result
        time.sleep(0.1)


class Session:
    def __init__(self, plugin, work):
        self.work = work
        self.processes = []
        self.paths = {name: os.path.join(work, name)
                      for name in ("fixture", "out", "empty", "big", "config", "left", "right",
                                   "tree", "tree_out", "outside", "slow", "slow_out")}
        self.paths["selection"] = os.path.join(work, "selection.txt")
        for name in ("out", "empty", "config", "tree_out", "slow", "slow_out"):
            os.makedirs(self.paths[name])
        self.plugin = plugin
        self.bin = os.path.join(work, "bin")
        self.opened = {"association": os.path.join(work, "association.log"),
                       "desktop": os.path.join(work, "desktop.log")}
        # A session bus that takes every connection and never answers.
        self.bus = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.bus.bind(os.path.join(work, "bus"))
        self.bus.listen(16)

    def start(self, program, stderr=subprocess.DEVNULL, **options):
        process = subprocess.Popen(program, stdout=subprocess.DEVNULL, stderr=stderr, **options)
        self.processes.append(process)
        return process

    def start_display(self):
        read_end, write_end = os.pipe()
        self.start(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x800x24",
                    "-nolisten", "tcp"], pass_fds=(write_end,))
        os.close(write_end)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read_end, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read_end)
        self.env = dict(os.environ, DISPLAY=":" + number.decode().strip(),
                        PATH=self.bin + os.pathsep + os.environ.get("PATH", ""),
                        DBUS_SESSION_BUS_ADDRESS="unix:path=" + os.path.join(self.work, "bus"))
        # Without a window manager Double Commander busy-loops at start, and
        # one that comes after it leaves it spinning as long: it starts only
        # once openbox has taken the screen. Once in some fifty starts openbox
        # did not take it within 30 s: another one is started then.
        for attempt in range(3):
            log = os.path.join(self.work, f"openbox-{attempt}.log")
            with open(log, "wb") as output:
                openbox = self.start(["openbox"], env=self.env, stderr=output)
            if wait_until(lambda: self.window_manager_ready() or openbox.poll() is not None, 10):
                if openbox.poll() is None:
                    return
            with open(log, errors="replace") as f:
                said = f.read()[-300:]
            print(f"   openbox did not take the screen (exit {openbox.poll()}): {said!r}")
            self.stop_process(openbox)
        raise RuntimeError("openbox did not take the screen")

    def window_manager_ready(self):
        try:
            result = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"],
                                    env=self.env, capture_output=True, text=True, timeout=10)
        except subprocess.TimeoutExpired:
            return False
        return "window id" in result.stdout

    def write_config(self):
        with open(os.path.join(self.paths["config"], "doublecmd.xml"), "w") as f:
            f.write(f"""<?xml version="1.0" encoding="UTF-8"?>
<doublecmd DCVersion="1.0.10" ConfigVersion="13">
  <Behaviours><ShowSystemFiles>True</ShowSystemFiles></Behaviours>
  <FileOperations><Confirmations>0</Confirmations></FileOperations>
  <Plugins><WfxPlugins><WfxPlugin Enabled="True"><Name>Quenfold</Name>
    <Path>{self.plugin}</Path></WfxPlugin></WfxPlugins>
    <WcxPlugins><WcxPlugin Enabled="True"><ArchiveExt>zip</ArchiveExt>
    <Path>/usr/lib/doublecmd/plugins/wcx/zip/zip.wcx</Path><Flags>31</Flags></WcxPlugin>
    </WcxPlugins></Plugins>
</doublecmd>
""")
        with open(os.path.join(self.paths["config"], "extassoc.xml"), "w") as f:
            f.write(f"""<?xml version="1.0" encoding="UTF-8"?>
<doublecmd DCVersion="1.0.10"><ExtensionAssociation><FileType><Name>Text</Name>
  <ExtensionList>txt</ExtensionList><Actions><Action><Name>Open</Name>
  <Command>{self.bin}/association</Command><Params>%p</Params></Action></Actions>
</FileType></ExtensionAssociation></doublecmd>
""")
        os.makedirs(self.bin)
        for name, script in (("association", ASSOCIATION), ("xdg-open", OPENER)):
            path = os.path.join(self.bin, name)
            with open(path, "w") as f:
                f.write(script.format(log=self.opened[name if name == "association" else "desktop"]))
            os.chmod(path, 0o755)
        hotkeys = []
        for key, (command, parameters) in KEYS.items():
            params = "".join(f"<Param>{p.format(**self.paths)}</Param>" for p in parameters)
            hotkeys.append(f"<Hotkey><Shortcut>{key}</Shortcut><Command>{command}</Command>"
                           f"{params}</Hotkey>")
        with open(os.path.join(self.paths["config"], "shortcuts.scf"), "w") as f:
            f.write('<?xml version="1.0" encoding="UTF-8"?>\n<doublecmd DCVersion="1.0.10">'
                    '<Hotkeys Version="53"><Form Name="Main">' + "".join(hotkeys) +
                    "</Form></Hotkeys></doublecmd>\n")

    def start_commander(self):
        # In an empty directory, so that no other panel can be read by mistake.
        self.commander = self.start(
            ["doublecmd", "--config-dir=" + self.paths["config"], "-L", self.paths["empty"],
             "-R", self.paths["empty"]], cwd=self.paths["empty"], env=self.env)
        # Its first window is the main one; every later one is a dialog or a
        # progress window. A search can come before the window is mapped, or
        # see it being mapped: searched again until it answers.
        windows = wait_until(self.windows, 60)
        if not windows:
            raise RuntimeError(f"Double Commander showed no window ({self.health()})")
        self.main_window = windows[0][0]
        self.activate(self.main_window)
        time.sleep(1)

    def xdotool(self, *arguments, seconds=5):
        """xdotool's output, or None when it failed or hung."""
        try:
            result = subprocess.run(["xdotool", *arguments], env=self.env, capture_output=True,
                                    text=True, timeout=seconds)
        except subprocess.TimeoutExpired:
            return None
        return result.stdout if result.returncode == 0 else None

    def windows(self):
        """Double Commander's visible windows as (id, title), oldest first.
        A window closing while it is looked at is left out."""
        found = self.xdotool("search", "--onlyvisible", "--pid", str(self.commander.pid))
        windows = []
        for window in (found or "").split():
            title = self.xdotool("getwindowname", window)
            if title is not None:
                windows.append((window, title.strip()))
        return sorted(windows, key=lambda w: int(w[0]))

    def dialogs(self):
        """Every window but the main one: questions, errors, progress."""
        return [w for w in self.windows() if w[0] != self.main_window]

    def window_titled(self, title, seconds=10):
        """Waits for a dialog with that title; its id, or None."""
        found = wait_until(lambda: [w for w, t in self.dialogs() if t == title], seconds)
        return found[-1] if found else None

    def questions(self):
        """Dialogs waiting for an answer (a progress window's title has its
        percentage, a question's is the program's name)."""
        return [w for w in self.dialogs() if "%" not in w[1]]

    def activate(self, window):
        self.xdotool("windowactivate", "--sync", window, seconds=3)

    def active_window(self):
        return (self.xdotool("getactivewindow") or "").strip()

    def focus_main(self):
        """Gives the main window the keyboard again where it lost it (a
        progress window that opens and closes can take it along)."""
        active = self.active_window()
        if active != self.main_window:
            title = (self.xdotool("getwindowname", active) or "").strip() if active else "none"
            print(f"   the keyboard was with {title!r}, not the main window")
            self.activate(self.main_window)

    def answer(self, key, seconds=5):
        """Waits for a question and answers it with key (the mnemonic of one of
        its buttons, which needs no Alt); whether one came."""
        questions = wait_until(self.questions, seconds)
        if not questions:
            return False
        self.activate(questions[-1][0])
        self.key(key, pause=0.1, to_main=False)
        wait_until(lambda: not self.questions(), seconds)
        return True

    def settled(self, condition, seconds=10):
        """Waits until condition holds and no dialog is left (a question that
        comes stays, a progress window goes); whether that happened. Dialogs
        left then are recorded and closed, so that the next step starts clean."""
        done = wait_until(lambda: condition() and not self.dialogs(), seconds)
        if not done:
            print(f"   not settled in {seconds} s ({self.health()})")
        left = self.dialogs()
        if left:
            print(f"   dialogs left: {[title for _, title in left]}")
            for _ in range(5):
                if not self.dialogs():
                    break
                self.activate(self.dialogs()[-1][0])
                self.key("Escape", pause=0.3, to_main=False)
        return bool(done)

    def key(self, *keys, pause=0.4, to_main=True):
        """Presses keys, for the main window unless told otherwise."""
        if to_main:
            self.focus_main()
        for key in keys:
            began = time.time()
            if self.xdotool("key", key, seconds=10) is None:
                raise RuntimeError(f"xdotool could not press {key} ({self.health()})")
            if time.time() - began > 2:
                print(f"   pressing {key} took {time.time() - began:.1f} s ({self.health()})")
            time.sleep(pause)

    def health(self):
        """What the processes of the session are doing: for a step that hangs."""
        states = []
        for process in self.processes:
            try:
                with open(f"/proc/{process.pid}/stat") as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                ticks = int(fields[11]) + int(fields[12])
                states.append(f"{process.args[0]} {fields[0]}, {ticks} ticks")
            except OSError:
                states.append(f"{process.args[0]} gone")
        return ", ".join(states)

    def selection(self):
        """The panel's names, in the panel's order."""
        if os.path.exists(self.paths["selection"]):
            os.remove(self.paths["selection"])
        self.key("F7", "F3", "F6")
        for _ in range(20):
            if os.path.exists(self.paths["selection"]):
                break
            time.sleep(0.2)
        self.key("F7")
        try:
            with open(self.paths["selection"], encoding="utf-8") as f:
                return [line.rstrip("\n") for line in f if line.rstrip("\n")]
        except FileNotFoundError:
            return []

    def details(self, column=2):
        """Name and size (or another column: 4 is Attr) of every entry, from the
        panel's clipboard copy. A link to a directory shows as "[name]" of
        size "<LNK>"."""
        self.key("F7", "F3", "F4", "F7")
        text = subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=self.env,
                              capture_output=True, timeout=10).stdout.decode("utf-8")
        entries = {}
        for line in text.splitlines():
            fields = line.split("\t")
            name, extension, size = fields[:3]
            if size == "<LNK>" and name.startswith("[") and name.endswith("]"):
                name = name[1:-1]
            entries[name + ("." + extension if extension else "")] = fields[column]
        return entries

    def wait_for_listing(self, expected, seconds=20):
        """The panel's names once they are the expected ones (the panel may
        still show the folder before), or what it shows when time is up."""
        names = []
        deadline = time.time() + seconds
        while time.time() < deadline:
            names = self.selection()
            if sorted(names) == sorted(expected):
                return names
            time.sleep(0.3)
        return names

    def change_panels(self, key, expected, tries=3):
        """Presses a key bound to cm_ChangeDir and waits for the panel to list
        the expected names; the key again if it did not arrive."""
        names = []
        for attempt in range(tries):
            if attempt:
                print(f"   {key} again: the panel showed {len(names)} other names")
            self.key(key)
            names = self.wait_for_listing(expected, seconds=8)
            if sorted(names) == sorted(expected):
                break
        return names

    def cursor_to(self, names, name):
        self.key("Home", pause=0.2)
        self.key(*["Down"] * (names.index(name) + 1), pause=0.1)

    def open_descriptors_under(self, root):
        count = 0
        fd_dir = f"/proc/{self.commander.pid}/fd"
        for fd in os.listdir(fd_dir):
            try:
                count += os.readlink(os.path.join(fd_dir, fd)).startswith(root)
            except OSError:
                pass
        return count

    def screenshot(self, path):
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True, timeout=30)

    @staticmethod
    def stop_process(process):
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

    def stop(self):
        for process in reversed(self.processes):
            self.stop_process(process)
        self.bus.close()


def make_big_tree(root, levels=20, per_level=5000):
    directory = root
    for level in range(levels):
        directory = os.path.join(directory, f"d{level}")
        os.makedirs(directory)
        for i in range(per_level):
            open(os.path.join(directory, f"f{i}"), "wb").close()


def copy_between_plugin_panels(session):
    """F5 from one plugin panel to another onto an existing name: Double
    Commander asks; Skip keeps the target, Overwrite replaces it."""
    left, right = session.paths["left"], session.paths["right"]
    write(os.path.join(left, "same.txt"), b"new content")
    write(os.path.join(left, "my file.txt"), b"mine")
    write(os.path.join(left, "root.txt"), b"root")
    write(os.path.join(right, "same.txt"), b"old")
    before = {**tree_state(left), **tree_state(right)}
    listed = ["my file.txt", "root.txt", "same.txt"]
    names = session.change_panels("F9", listed)
    check("left plugin panel listed", sorted(names), listed)
    if "same.txt" not in names:
        return

    session.cursor_to(names, "same.txt")
    session.key("F5", pause=0.1)
    check("copy onto an existing name asks (Skip)", session.answer("s"), True)
    check("Skip leaves no dialog", session.settled(lambda: True, seconds=3), True)
    # Double Commander stamps the skipped target with the source's time
    # (FsSetTime after Skip): only names and contents are compared.
    check("Skip keeps the target", {**tree_state(left), **tree_state(right)}, before)

    session.key("F5", pause=0.1)
    check("copy onto an existing name asks (Overwrite)", session.answer("o"), True)
    before[os.path.join(right, "same.txt")] = b"new content"
    check("Overwrite replaces the target, no dialog left",
          session.settled(lambda: tree_state(right) == {
              os.path.join(right, "same.txt"): b"new content"}), True)
    check("Overwrite copies and keeps the source", {**tree_state(left), **tree_state(right)},
          before)
    return names


def rename_onto_existing_name(session, names):
    """Renaming in place (Shift+F6, F12 here) onto a name that is taken: the
    plugin answers "exists", Double Commander says it cannot rename; nothing
    is lost."""
    left = session.paths["left"]
    before = tree_state(left)
    session.cursor_to(names, "my file.txt")
    # The editor opens with the name before the extension chosen: the whole
    # name is taken back without a modifier key.
    session.key("F12", "End", pause=0.3)
    session.key(*["BackSpace"] * len("my file.txt"), pause=0.02)
    session.xdotool("type", "--delay", "20", "root.txt")
    session.key("Return", pause=0.1)
    check("rename onto an existing name is refused (Skip)", session.answer("s"), True)
    check("nothing renamed, no dialog left", session.settled(lambda: True, seconds=3), True)
    check("both files intact", tree_state(left), before)


def view_and_edit(session, names, before):
    """F3 and F4 (Insert and Delete here) open the real file: the viewer's and
    the editor's titles are its path; what the editor saves lands in it."""
    fixture = session.paths["fixture"]

    def opened(name, key, what):
        """Presses key on name; whether a window titled with its real path
        came, which then has the keyboard."""
        session.cursor_to(names, name)
        session.key(key, pause=0.2)
        window = session.window_titled(os.path.join(fixture, *name.split("/")))
        check(what, window is not None, True)
        if window:
            session.activate(window)
        return window is not None

    if opened("a/b/report.txt", "Insert", "F3 views the real file"):
        session.key("alt+F4", pause=0.3, to_main=False)
    check("the viewer closed, no dialog", session.settled(lambda: True, seconds=5), True)

    if opened("a/g", "Delete", "F4 edits the real file"):
        session.key("End", pause=0.2, to_main=False)
        session.xdotool("type", "--delay", "30", "67")
        session.key("alt+F4", pause=0.3, to_main=False)
        check("closing the changed editor asks to save (Yes)", session.answer("y"), True)
    before[os.path.join(fixture, "a", "g")] = b"1234567"
    check("the editor saved into the real file, no dialog",
          session.settled(lambda: tree_state(fixture) == before), True)
    check("the tree after the edit", tree_state(fixture), before)


def set_file_properties(session, names):
    """cm_SetFileProperties: the year of the modification time typed over
    (2020), the permissions typed as 640 in the Octal field, OK; Double
    Commander sends "chmod 640", and the real file has that mode and that
    time. Its dialog has no mnemonics: its fields are clicked where Double
    Commander 1.0.10 lays out its Unix attributes dialog."""
    path = os.path.join(session.paths["fixture"], "Case")
    modified = datetime.datetime.fromtimestamp(os.stat(path).st_mtime)
    session.cursor_to(names, "Case")
    session.key("Prior", pause=0.2)
    dialog = session.window_titled("Change attributes")
    check("cm_SetFileProperties opens its dialog", dialog is not None, True)
    if not dialog:
        return

    def click(x, y):
        session.xdotool("mousemove", "--window", dialog, str(x), str(y), "click", "1")
        time.sleep(0.3)
    session.activate(dialog)
    click(198, 72)  # the year of "Modified"
    session.xdotool("type", "--delay", "50", "2020")
    time.sleep(0.3)
    click(178, 339)  # Octal
    session.key("End", *["BackSpace"] * 4, pause=0.1, to_main=False)
    session.xdotool("type", "--delay", "50", "640")
    time.sleep(0.3)
    click(225, 432)  # OK
    expected = modified.replace(year=2020).timestamp()
    check("permissions and time set on the real file, no dialog",
          session.settled(lambda: abs(os.stat(path).st_mtime - expected) < 1 and
                          stat.S_IMODE(os.stat(path).st_mode) == 0o640), True)
    state = os.stat(path)
    check("the file's permissions", oct(stat.S_IMODE(state.st_mode)), oct(0o640))
    # The dialog shows and sets milliseconds.
    print(f"   modification time set {state.st_mtime - expected:+.4f} s from the one asked for")
    check("its modification time, to the millisecond", abs(state.st_mtime - expected) < 0.002,
          True)
    os.chmod(path, 0o644)


def permissions_column(session, fixture):
    """The Attr column shows each entry's Unix permissions: a file's own, a
    directory entry's folder's on a file (it keeps its total), a link's as a
    link (a directory link still <LNK>)."""
    shown = session.details(column=4)
    sizes = session.details()
    check("the Attr column of a 0644 file, a 0755 file, a directory entry and a link",
          [shown.get(name) for name in ("a/b/report.txt", "a/g", "a./", "lnk", "dangling")],
          ["-rw-r--r--", "-rwxr-xr-x", "-rwxr-x---", "lrwxrwxrwx", "lrwxrwxrwx"])
    check("the directory entry with its total, the link still <LNK>",
          [sizes.get("a./"), sizes.get("lnk"), sizes.get("dangling")], ["15", "<LNK>", "0"])
    os.chmod(os.path.join(fixture, "a"), 0o755)
    os.chmod(os.path.join(fixture, "a", "g"), 0o644)


def enter(session, names, expected):
    """Enter on a .txt file runs Double Commander's own association on the
    real file; on a file it has none for, the desktop's opener gets the real
    file (not a temporary copy); on a directory entry, its folder opens in
    an ordinary panel. No dialog comes."""
    fixture = session.paths["fixture"]
    report = os.path.join(fixture, "a", "b", "report.txt")
    with open(report, "rb") as f:
        content = f.read()
    session.cursor_to(names, "a/b/report.txt")
    session.key("Return", pause=0.2)
    check("Enter with an association of Double Commander's own edits the real file",
          session.settled(lambda: os.path.exists(session.opened["association"]) and
                          open(report, "rb").read() == content + b"+assoc"), True)
    with open(session.opened["association"]) as f:
        check("the association was given the real file", f.read(), report + "\n")
    with open(report, "wb") as f:
        f.write(content)

    session.cursor_to(names, "a/g")
    session.key("Return", pause=0.2)
    check("Enter without one hands the desktop's opener the file, no dialog",
          session.settled(lambda: os.path.exists(session.opened["desktop"])), True)
    with open(session.opened["desktop"]) as f:
        check("the opener was given the real file", f.read(),
              os.path.join(fixture, "a", "g") + "\n")

    session.cursor_to(names, "a/b./")
    session.key("Return", pause=0.2)
    check("Enter on a directory entry opens its folder, no dialog",
          session.settled(lambda: session.selection() == ["report.txt"]), True)
    names = session.change_panels("F2", expected)
    check("back in the plugin panel", sorted(names), sorted(expected))
    return names


def pack_all(session):
    """Select all + Alt+F5 (PgDn here) with the zip packer: the archive passes
    unzip -t, and extracted it is the tree, every file with its content and
    every folder, empty ones included."""
    tree, out = session.paths["tree"], session.paths["tree_out"]
    archive = os.path.join(out, os.path.basename(tree) + ".zip")
    session.key("F7", "F3", "Next", pause=0.2)
    dialog = session.window_titled("Pack files")
    check("Alt+F5 opens the pack dialog", dialog is not None, True)
    if not dialog:
        return
    session.activate(dialog)
    session.key("Return", pause=0.2, to_main=False)
    check("the archive made, no dialog",
          session.settled(lambda: os.path.exists(archive) and
                          zipfile.is_zipfile(archive)), True)
    tested = subprocess.run(["unzip", "-t", archive], capture_output=True, text=True)
    check("unzip -t accepts the archive", tested.returncode, 0)
    extracted = os.path.join(session.work, "extracted")
    subprocess.run(["unzip", "-q", archive, "-d", extracted], check=False)
    check("the archive extracts to the tree", tree_state(extracted, relative=True),
          tree_state(tree, relative=True))
    os.remove(archive)
    shutil.rmtree(extracted, ignore_errors=True)


def properties_with_a_silent_bus(session, names):
    """"properties" (Alt+Enter, F13 here) asks the desktop over a session bus
    that takes the connection and never answers: Double Commander, which
    waits on its main thread, answers again within 5 seconds."""
    session.cursor_to(names, "a/g")
    if os.path.exists(session.paths["selection"]):
        os.remove(session.paths["selection"])
    began = time.time()
    session.key("F13", "F6", pause=0)
    answered = wait_until(lambda: os.path.exists(session.paths["selection"]), 20)
    waited = time.time() - began
    print(f"   Double Commander answered {waited:.1f} s after properties")
    session.bus.setblocking(False)
    try:
        session.bus.accept()[0].close()
        connected = True
    except BlockingIOError:
        connected = False
    check("properties asked the silent bus", connected, True)
    check("properties with a silent bus: Double Commander answers within 5 s",
          bool(answered) and waited < 5, True)
    session.settled(lambda: True, seconds=2)


def make_tree(root):
    """Nested folders, empty ones among them, a folder whose name ends in a
    dot, and names a shell would quote."""
    files = {"a/b/c.txt": b"c", "a/b/deep/x": b"xx", "a/d.txt": b"ddd", "f.txt": b"ffff",
             "dir./in": b"in", "sp ace/\u00e9": b"\xc3\xa9", ".hidden/h": b"h"}
    for name, content in files.items():
        write(os.path.join(root, name), content)
    for name in ("a/b/empty", "e", "a/b/deep/empty2"):
        os.makedirs(os.path.join(root, name))


def select_all_copy_and_delete(session):
    """Select all + F5 to a local folder reproduces the tree; select all + F8
    takes it away. Double Commander sees directory entries as files: it copies
    them in panel order (each folder before its contents) and deletes them in
    reverse panel order (each folder after its contents)."""
    tree, out = session.paths["tree"], session.paths["tree_out"]
    make_tree(tree)
    expected = oracle(tree)
    source = tree_state(tree, relative=True)
    names = session.change_panels("F1", expected)
    check("tree listed", sorted(names), sorted(expected))

    pack_all(session)
    copy_all(session, tree, out, "select all + F5")

    session.key("F7", "F3", "F8", pause=0.2)
    emptied = session.settled(lambda: not os.listdir(tree))
    check("select all + F8: the tree gone, no dialog", emptied, True)
    check("select all + F8: what is left", tree_state(tree), {})
    check("select all + F8 left the copy alone", tree_state(out, relative=True), source)


def copy_all(session, source_root, target_root, what):
    """Select all + F5 from the active panel: the other panel's folder comes
    out the same, empty folders included, the source unchanged, no dialog."""
    source = tree_state(source_root, relative=True)
    session.key("F7", "F3", "F5", pause=0.2)
    reproduced = session.settled(lambda: tree_state(target_root, relative=True) == source)
    check(f"{what}: every file and folder reproduced, no dialog", reproduced, True)
    check(f"{what}: the copy", tree_state(target_root, relative=True), source)
    check(f"{what} changed nothing in the source", tree_state(source_root, relative=True), source)


def select_all_copy_between_plugin_panels(session):
    """Select all + F5 between two plugin panels: Double Commander renames
    every entry across with the move flag off, directory entries too, each
    after its contents; the other panel's folder comes out the same, empty
    folders included, with no dialog."""
    left, right = session.paths["left"], session.paths["right"]
    os.remove(os.path.join(right, "same.txt"))
    make_tree(left)
    expected = oracle(left)
    names = session.change_panels("F9", expected)
    check("left plugin panel lists the tree", sorted(names), sorted(expected))
    copy_all(session, left, right, "select all + F5 between plugin panels")


def delete_directory_link(session, names):
    """F8 on a link to a folder outside: the link goes, never what it points to."""
    fixture, outside = session.paths["fixture"], session.paths["outside"]
    link = os.path.join(fixture, "dlink")
    before, kept = tree_state(fixture), tree_state(outside)
    del before[link]
    session.key("F7", pause=0.2)
    session.cursor_to(names, "dlink")
    session.key("F8", pause=0.1)
    check("F8 on a directory link: the link gone, no dialog",
          session.settled(lambda: not os.path.lexists(link)), True)
    check("F8 on a directory link: nothing else gone from its folder", tree_state(fixture),
          before)
    check("F8 on a directory link: the folder it pointed to intact", tree_state(outside), kept)


class ReadThrottle:
    """Holds a process to a read rate on one disk (the cgroup v1 blkio
    controller), so that a copy lasts long enough to be watched. available is
    False where this machine has no such controller or refuses the rule."""
    ROOT = "/sys/fs/cgroup/blkio"

    def __init__(self, pid, device, bytes_per_second):
        self.pid, self.group, self.available = pid, None, False
        group = os.path.join(self.ROOT, f"quenfold-dc-{os.getpid()}")
        try:
            os.makedirs(group)
            self.group = group
            with open(os.path.join(group, "blkio.throttle.read_bps_device"), "w") as f:
                f.write(f"{os.major(device)}:{os.minor(device)} {bytes_per_second}")
            with open(os.path.join(group, "cgroup.procs"), "w") as f:
                f.write(str(pid))
            self.available = True
        except OSError as error:
            self.why = str(error)

    def release(self):
        if self.available:
            with open(os.path.join(self.ROOT, "cgroup.procs"), "w") as f:
                f.write(str(self.pid))
        if self.group:
            os.rmdir(self.group)


def written_out_of_cache(path, size):
    """A file of random bytes whose reads must come from the disk; its
    content."""
    content = os.urandom(size)
    with open(path, "wb") as f:
        f.write(content)
        f.flush()
        os.fsync(f.fileno())
        os.posix_fadvise(f.fileno(), 0, 0, os.POSIX_FADV_DONTNEED)
    return content


def cancel_long_copy(session):
    """F5 of a file read at 8 MiB/s: the progress window shows the percentage
    rising, Escape on it stops the copy, and no partial or temporary file is
    left; the source stays whole."""
    slow, out = session.paths["slow"], session.paths["slow_out"]
    source = os.path.join(slow, "long.bin")
    content = written_out_of_cache(source, 64 << 20)
    names = session.change_panels("F10", ["long.bin"])
    check("the long file listed", names, ["long.bin"])
    throttle = ReadThrottle(session.commander.pid, os.stat(source).st_dev, 8 << 20)
    try:
        if not throttle.available:
            print(f"SKIPPED: a long copy and Cancel: reads cannot be slowed here ({throttle.why})")
            return
        session.cursor_to(names, "long.bin")
        session.key("F5", pause=0)
        titles = []

        def risen():
            titles.extend(t for _, t in session.dialogs() if t not in titles)
            return any("%" in t and not t.startswith("0%") for t in titles)
        rose = wait_until(risen, 10)
        print(f"   progress window titles: {titles}")
        check("the progress window shows the copy rising", rose, True)
        progress = [w for w, t in session.dialogs() if "%" in t]
        if progress:
            session.activate(progress[-1][0])
            session.key("Escape", pause=0.1, to_main=False)
        check("Cancel stops the copy: no file left in the target, no dialog",
              session.settled(lambda: not os.listdir(out)), True)
        check("what the cancelled copy left in the target", os.listdir(out), [])
    finally:
        throttle.release()
    with open(source, "rb") as f:
        check("the cancelled copy's source whole", f.read() == content, True)


def run(session, screenshot):
    # The long listing's 100,000 files take longer to make than all the steps
    # before it take to run: they are made meanwhile.
    big = session.paths["big"]
    making = threading.Thread(target=make_big_tree, args=(big,))
    making.start()
    try:
        run_steps(session, screenshot, making)
    finally:
        making.join()


def run_steps(session, screenshot, making):
    fixture = session.paths["fixture"]
    make_fixture(fixture, session.paths["outside"])
    os.chmod(os.path.join(fixture, "a", "g"), 0o755)
    os.chmod(os.path.join(fixture, "a"), 0o750)
    expected = oracle(fixture)
    before = tree_state(fixture)

    step("listing")
    names = session.change_panels("F2", expected)
    check("listed names", sorted(names), sorted(expected))
    details = session.details()
    check("sizes of files and directory entries", details, expected)
    permissions_column(session, fixture)
    if screenshot:
        session.screenshot(screenshot)

    step("copy out and delete")
    session.cursor_to(names, "a/b/report.txt")
    session.key("F5", pause=0.1)
    copied = os.path.join(session.paths["out"], "a", "b", "report.txt")
    check("nested entry copied out, no dialog",
          session.settled(lambda: os.path.exists(copied) and
                          open(copied, "rb").read() == b"0123456789"), True)
    check("copy changed nothing in the tree", tree_state(fixture), before)

    # Alone, a directory entry's target comes named with the entry twice over
    # (out/a/b./a/b./): the folder out/a/b is meant, and nothing else is made.
    session.cursor_to(names, "a/b./")
    session.key("F5", pause=0.1)
    out_a = os.path.join(session.paths["out"], "a")
    check("a lone directory entry copied out as its folder, no dialog",
          session.settled(lambda: True, seconds=3), True)
    check("what the lone directory entry made", (sorted(os.listdir(out_a)),
          sorted(os.listdir(os.path.join(out_a, "b")))), (["b"], ["report.txt"]))

    session.cursor_to(names, "x")
    session.key("F8", pause=0.1)
    del before[os.path.join(fixture, "x")]
    check("delete of x, no dialog",
          session.settled(lambda: not os.path.lexists(os.path.join(fixture, "x"))), True)
    check("delete took x and nothing else", tree_state(fixture), before)
    del expected["x"]
    names = session.wait_for_listing(expected)
    check("listed without x", sorted(names), sorted(expected))

    step("F3 and F4")
    view_and_edit(session, names, before)

    step("cm_SetFileProperties")
    set_file_properties(session, names)

    step("Enter")
    names = enter(session, names, expected)

    step("properties with a session bus that never answers")
    properties_with_a_silent_bus(session, names)

    step("F8 on a directory link")
    if "dlink" in names:
        delete_directory_link(session, names)

    step("copy between plugin panels onto an existing name")
    names = copy_between_plugin_panels(session)
    if names:
        step("rename in place onto an existing name")
        rename_onto_existing_name(session, names)
        step("select all + F5 between plugin panels")
        select_all_copy_between_plugin_panels(session)
    step("select all + F5, select all + F8")
    select_all_copy_and_delete(session)
    step("a long copy, cancelled")
    cancel_long_copy(session)

    # A long listing: 100,000 files in 20 nested directories. Double Commander
    # 1.0 never asks a plugin to stop a listing (its progress callback answers
    # 0 even after Escape), so the listing runs to its end; every enumeration
    # must be closed then, with Escape pressed in the middle of it.
    step("long listing")
    making.join()
    big = session.paths["big"]
    session.key("F11", pause=0.3)
    during = session.open_descriptors_under(big)
    session.key("Escape", pause=0)
    started = time.time()
    while session.open_descriptors_under(big) > 0 and time.time() - started < 30:
        time.sleep(0.05)
    print(f"   enumerations open while listing: {during}; all closed "
          f"{time.time() - started:.2f} s after Escape")
    check("the listing was running when Escape came", during > 0, True)
    check("the listing leaves no enumeration open", session.open_descriptors_under(big), 0)
    session.key("F2", pause=1.0)
    step("end")
    check("Double Commander still answers", session.commander.poll(), None)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("plugin")
    parser.add_argument("--screenshot")
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="quenfold-dc-")
    session = Session(os.path.abspath(args.plugin), work)
    started = time.time()
    try:
        session.start_display()
        session.write_config()
        session.start_commander()
        run(session, args.screenshot)
    except Exception as error:  # a broken session is a failed test, not a crash
        failures.append(str(error))
        print(f"FAIL: {error}")
    finally:
        session.stop()
        shutil.rmtree(work, ignore_errors=True)
    print(f"Double Commander session: {time.time() - started:.1f} s, "
          f"{len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
