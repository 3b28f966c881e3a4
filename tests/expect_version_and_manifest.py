#!/usr/bin/python3
"""Reads back what the program says it is in its properties: the version
resource's strings and the application manifest, through wrestool.

    expect_version_and_manifest.py EXE NAME VERSION [COPYRIGHT]
"""

import os
import re
import subprocess
import sys


def resource(exe, kind):
    return subprocess.run(["wrestool", "-x", "--raw", "--type=%d" % kind, exe], check=True, capture_output=True).stdout


def version_strings(block):
    """The StringFileInfo values: UTF-16 key, zero padding, UTF-16 value."""
    text = block.decode("utf-16-le", errors="replace")
    return dict(re.findall(r"([A-Za-z]+)\x00+([^\x00]+)\x00", text))


def main():
    exe, name, version = sys.argv[1:4]
    copyright_line = sys.argv[4] if len(sys.argv) > 4 else None
    faults = []
    strings = version_strings(resource(exe, 16))
    wanted = {"ProductName": name, "CompanyName": name, "FileDescription": name + " musicdisk",
              "ProductVersion": version, "FileVersion": version, "OriginalFilename": os.path.basename(exe)}
    for key, value in wanted.items():
        if strings.get(key) != value:
            faults.append("version resource: %s is %r, not %r" % (key, strings.get(key), value))
    if copyright_line is not None and strings.get("LegalCopyright") != copyright_line:
        faults.append("version resource: LegalCopyright is %r, not %r" % (strings.get("LegalCopyright"), copyright_line))
    if not strings.get("LegalCopyright", "").startswith("Copyright "):
        faults.append("version resource: no copyright line (%r)" % strings.get("LegalCopyright"))
    manifest = resource(exe, 24).decode("utf-8", errors="replace")
    for needed in ('level="asInvoker"', "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}", "<description>%s</description>" % name):
        if needed not in manifest:
            faults.append("manifest: %s missing" % needed)
    for fault in faults:
        print(fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
