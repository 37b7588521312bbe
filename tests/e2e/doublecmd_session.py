#!/usr/bin/env python3
"""Drives the real Double Commander with the Linux Quenfold.wfx.

Starts a private X server and window manager, a throwaway Double Commander
configuration that loads the plugin, and one Double Commander in an empty
directory; then lists a fixture tree through the plugin and compares the panel
with an independent walk of the same tree (names, sizes of files and of every
directory entry), copies a nested entry out, deletes one, and checks that a long
listing leaves no enumeration open. Every process started here is stopped by its PID.

usage: doublecmd_session.py PLUGIN [--screenshot PNG]
"""
import argparse
import os
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time

KEYS = {  # key -> (command, parameters)
    "F2": ("cm_ChangeDir", ["activepath=wfx://Quenfold{fixture}", "inactivepath={out}"]),
    "F3": ("cm_MarkMarkAll", []),
    "F4": ("cm_CopyFileDetailsToClip", []),
    "F6": ("cm_SaveSelectionToFile", ["{selection}"]),
    "F7": ("cm_MarkUnmarkAll", []),
    "F8": ("cm_Copy", []),
    "F9": ("cm_Delete", []),
    "F11": ("cm_ChangeDir", ["activepath=wfx://Quenfold{big}"]),
    "F12": ("cm_ChangeDir", ["activepath={empty}"]),
}

failures = []


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


def make_fixture(root):
    """Names that Windows could not hold side by side, and links."""
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



def tree_state(root):
    """Every path under root with its kind and content, links not followed."""
    state = {}
    for directory, subdirectories, files in os.walk(root):
        for name in subdirectories + files:
            path = os.path.join(directory, name)
            if os.path.islink(path):
                state[path] = "link " + os.readlink(path)
            elif os.path.isdir(path):
                state[path] = "dir"
            else:
                with open(path, "rb") as f:
                    state[path] = f.read()
    return state


class Session:
    def __init__(self, plugin, work):
        self.work = work
        self.processes = []
        self.paths = {name: os.path.join(work, name)
                      for name in ("fixture", "out", "empty", "big", "config")}
        self.paths["selection"] = os.path.join(work, "selection.txt")
        for name in ("out", "empty", "config"):
            os.makedirs(self.paths[name])
        self.plugin = plugin

    def start(self, program, **options):
        process = subprocess.Popen(program, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, **options)
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
        self.env = dict(os.environ, DISPLAY=":" + number.decode().strip())
        # Without a window manager Double Commander busy-loops at start.
        self.start(["openbox"], env=self.env)

    def write_config(self):
        with open(os.path.join(self.paths["config"], "doublecmd.xml"), "w") as f:
            f.write(f"""<?xml version="1.0" encoding="UTF-8"?>
<doublecmd DCVersion="1.0.10" ConfigVersion="13">
  <Behaviours><ShowSystemFiles>True</ShowSystemFiles></Behaviours>
  <FileOperations><Confirmations>0</Confirmations></FileOperations>
  <Plugins><WfxPlugins><WfxPlugin Enabled="True"><Name>Quenfold</Name>
    <Path>{self.plugin}</Path></WfxPlugin></WfxPlugins></Plugins>
</doublecmd>
""")
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
        window = subprocess.run(["timeout", "30", "xdotool", "search", "--sync", "--onlyvisible",
                                 "--pid", str(self.commander.pid)], env=self.env,
                                capture_output=True, text=True).stdout.split()
        if not window:
            raise RuntimeError("Double Commander showed no window")
        subprocess.run(["xdotool", "windowactivate", "--sync", window[0]], env=self.env)
        time.sleep(1)

    def key(self, *keys, pause=0.4):
        for key in keys:
            subprocess.run(["xdotool", "key", key], env=self.env, check=True)
            time.sleep(pause)

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

    def details(self):
        """Name and size of every entry, from the panel's clipboard copy. A link
    to a directory shows as "[name]" of size "<LNK>"."""
        self.key("F7", "F3", "F4", "F7")
        text = subprocess.run(["xclip", "-o", "-selection", "clipboard"], env=self.env,
                              capture_output=True).stdout.decode("utf-8")
        entries = {}
        for line in text.splitlines():
            name, extension, size = line.split("\t")[:3]
            if size == "<LNK>" and name.startswith("[") and name.endswith("]"):
                name = name[1:-1]
            entries[name + ("." + extension if extension else "")] = size
        return entries

    def wait_for_listing(self, count, seconds=20):
        names = []
        deadline = time.time() + seconds
        while time.time() < deadline:
            names = self.selection()
            if len(names) >= count:
                return names
            time.sleep(0.5)
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
        subprocess.run(["import", "-window", "root", path], env=self.env, check=True)

    def stop(self):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()


def make_big_tree(root, levels=20, per_level=5000):
    directory = root
    for level in range(levels):
        directory = os.path.join(directory, f"d{level}")
        os.makedirs(directory)
        for i in range(per_level):
            open(os.path.join(directory, f"f{i}"), "wb").close()


def run(session, screenshot):
    fixture = session.paths["fixture"]
    make_fixture(fixture)
    expected = oracle(fixture)
    before = tree_state(fixture)

    session.key("F2")
    names = session.wait_for_listing(len(expected))
    check("listed names", sorted(names), sorted(expected))
    details = session.details()
    check("sizes of files and directory entries", details, expected)
    if screenshot:
        session.screenshot(screenshot)

    session.cursor_to(names, "a/b/report.txt")
    session.key("F8", pause=1.5)
    copied = os.path.join(session.paths["out"], "a", "b", "report.txt")
    check("nested entry copied out",
          open(copied, "rb").read() if os.path.exists(copied) else None, b"0123456789")
    check("copy changed nothing in the tree", tree_state(fixture), before)

    session.cursor_to(names, "x")
    session.key("F9", pause=1.5)
    del before[os.path.join(fixture, "x")]
    check("delete took x and nothing else", tree_state(fixture), before)

    # A long listing: 100,000 files in 20 nested directories. Double Commander
    # 1.0 never asks a plugin to stop a listing (its progress callback answers
    # 0 even after Escape), so the listing runs to its end; every enumeration
    # must be closed then, with Escape pressed in the middle of it.
    big = session.paths["big"]
    make_big_tree(big)
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
    session.key("F12", pause=1.0)
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
