#!/usr/bin/env python3
"""Checks the calling convention of the 32-bit DLL's exports from its machine
code, independently of the plugin's header: Total Commander calls them
__stdcall, so each export must return with "ret N", N being the byte count of
its parameters as the host interface defines them. A header that lost WINAPI
would compile both sides to cdecl and pass every other test.

usage: check-stdcall.py OBJDUMP DLL
"""
import re
import subprocess
import sys

# Parameters of each export, in 4-byte stack slots on 32-bit Windows.
PARAMETER_BYTES = {
    "FsInit": 16, "FsStatusInfo": 12, "FsGetDefRootName": 8, "FsLinksToLocalFiles": 0,
    "FsGetLocalName": 8, "FsFindFirst": 8, "FsFindNext": 8, "FsFindClose": 4,
    "FsGetFile": 16, "FsRenMovFile": 20, "FsDeleteFile": 4, "FsRemoveDir": 4,
    "FsSetAttr": 8, "FsSetTime": 16, "FsExecuteFile": 12, "FsExtractCustomIcon": 12,
}


def exports(objdump, dll):
    headers = subprocess.run([objdump, "-p", dll], capture_output=True, text=True,
                             check=True).stdout
    base = int(re.search(r"^ImageBase\s+([0-9a-f]+)", headers, re.M).group(1), 16)
    addresses = {int(index): int(rva, 16) for index, rva in
                 re.findall(r"\[\s*(\d+)\] \+base\[\s*\d+\] ([0-9a-f]+) Export RVA", headers)}
    names = re.findall(r"^\s*\[\s*(\d+)\] (Fs\w+)$", headers, re.M)
    return {name: base + addresses[int(index)] for index, name in names}


def first_return(objdump, dll, address):
    code = subprocess.run([objdump, "-d", "--no-show-raw-insn", f"--start-address={address}",
                           f"--stop-address={address + 0x1000}", dll],
                          capture_output=True, text=True, check=True).stdout
    for line in code.splitlines():
        match = re.search(r"\tret\s*(\$0x[0-9a-f]+)?", line)
        if match:
            return int(match.group(1)[1:], 16) if match.group(1) else 0
    return None


def main():
    objdump, dll = sys.argv[1], sys.argv[2]
    found = exports(objdump, dll)
    failed = sorted(set(PARAMETER_BYTES) ^ set(found))
    for name in failed:
        print(f"FAIL: {name} is {'missing' if name in PARAMETER_BYTES else 'not expected'}")
    for name, address in sorted(found.items()):
        expected = PARAMETER_BYTES.get(name)
        returned = first_return(objdump, dll, address)
        if expected is not None and returned != expected:
            print(f"FAIL: {name} returns with ret {returned}, expected ret {expected}")
            failed.append(name)
    if not failed:
        print(f"ok: {len(found)} exports are stdcall, each popping its parameters")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
