#!/usr/bin/env python3
"""Packs files into a zip that is the same bytes on every run: the entries in
the order given, each with the same time stamp and permissions.

    make_release_zip.py OUT.zip EPOCH FOLDER NAME...

NAME is a path inside FOLDER with "/" separators; it is also the entry's name.
EPOCH (seconds since 1970, UTC) is the entries' time; zip cannot hold times
before 1980, so earlier ones become 1 January 1980.
"""
import sys
import time
import zipfile


def main(out, epoch, folder, names):
    stamp = max(time.gmtime(int(epoch))[:6], (1980, 1, 1, 0, 0, 0))
    with zipfile.ZipFile(out, "w") as archive:
        for name in names:
            entry = zipfile.ZipInfo(name, date_time=stamp)
            entry.compress_type = zipfile.ZIP_DEFLATED
            entry.create_system = 0  # MS-DOS: no Unix owner or mode bits
            entry.external_attr = 0
            with open(f"{folder}/{name}", "rb") as source:
                archive.writestr(entry, source.read(), compresslevel=9)


if __name__ == "__main__":
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:])
