#!/usr/bin/env python3
"""Packs a folder into a zip whose bytes depend on the files alone.

usage: make-zip.py ZIP FOLDER EPOCH NAME...

The entries are NAME... in the order given, each folder before its files;
every entry carries the time EPOCH (seconds since 1970, UTC: the commit's
time, as SOURCE_DATE_EPOCH gives it) and the same attributes, and the files
are compressed at one fixed level. Two runs over the same files give the
same zip byte for byte, whenever and wherever they run.
"""
import os
import sys
import time
import zipfile

FILE_MODE = 0o100644 << 16
FOLDER_MODE = (0o040755 << 16) | 0x10  # and the MS-DOS directory flag


def entry(name, when, mode):
    info = zipfile.ZipInfo(name, date_time=when)
    info.create_system = 3  # Unix, so that the mode bits above are read
    info.external_attr = mode
    return info


def main():
    out, folder, epoch = sys.argv[1:4]
    names = sys.argv[4:]
    # Zip times are local times of the MS-DOS kind, from 1980 on, in steps of
    # two seconds; the epoch is taken as UTC.
    when = time.gmtime(max(int(epoch), 315532800))[:6]
    folders = []
    with zipfile.ZipFile(out, "w") as z:
        for name in names:
            parent = os.path.dirname(name)
            if parent and parent not in folders:
                folders.append(parent)
                z.writestr(entry(parent + "/", when, FOLDER_MODE), b"")
            with open(os.path.join(folder, name), "rb") as f:
                data = f.read()
            info = entry(name, when, FILE_MODE)
            info.compress_type = zipfile.ZIP_DEFLATED
            z.writestr(info, data, compresslevel=9)
    return 0


if __name__ == "__main__":
    sys.exit(main())
