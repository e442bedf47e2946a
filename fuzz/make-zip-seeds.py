#!/usr/bin/env python3
"""Writes small ZIP archives of every layout the installer's ZIP readers know
into a folder, as seeds of the archive targets: stored and deflated entries,
folders, a data descriptor after the data, zip64 records, a name flagged as
UTF-8, a self-extractor's stub before the archive, an archive comment, and an
empty archive.

    make-zip-seeds.py <folder>
"""
import io
import os
import sys
import zipfile


class Unseekable(io.RawIOBase):
    """A stream that cannot seek back, so that entries are followed by a data
    descriptor as a streaming writer leaves them."""

    def __init__(self):
        self.buffer = io.BytesIO()

    def writable(self):
        return True

    def write(self, data):
        return self.buffer.write(data)


def archive(path, entries, comment=b"", prefix=b"", zip64=False, stream=False):
    target = Unseekable() if stream else io.BytesIO()
    # Python writes zip64 records only for what passes the limit: a limit of 0
    # gives every size and offset its zip64 field, and the zip64 end records.
    limit = zipfile.ZIP64_LIMIT
    if zip64:
        zipfile.ZIP64_LIMIT = 0
    try:
        with zipfile.ZipFile(target, "w") as zf:
            for name, data, method in entries:
                info = zipfile.ZipInfo(name, date_time=(2024, 1, 1, 0, 0, 0))
                info.compress_type = method
                if stream:
                    with zf.open(info, "w") as out:
                        out.write(data)
                else:
                    zf.writestr(info, data)
            zf.comment = comment
    finally:
        zipfile.ZIP64_LIMIT = limit
    with open(path, "wb") as out:
        out.write(prefix + (target.buffer if stream else target).getvalue())


def main():
    folder = sys.argv[1]
    os.makedirs(folder, exist_ok=True)
    stored, deflated = zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED
    text = b"Brimvale agent component\r\n" * 8
    archive(os.path.join(folder, "stored.zip"), [("bvlres.dll", text, stored)])
    archive(os.path.join(folder, "deflated.zip"),
            [("cef/", b"", stored), ("cef/locales/ko.pak", text, deflated), ("cef/icudtl.dat", b"ICU", deflated)])
    archive(os.path.join(folder, "zip64.zip"), [("big.bin", text, deflated), ("small.txt", b"x", stored)],
            zip64=True)
    archive(os.path.join(folder, "descriptor.zip"), [("webview/index.html", text, deflated)], stream=True)
    archive(os.path.join(folder, "utf8-name.zip"), [("webview/\uc548\ub0b4.html", b"<p>", deflated)])
    archive(os.path.join(folder, "stub-and-comment.zip"), [("a.txt", b"a", stored)],
            comment=b"Brimvale", prefix=b"MZ" + b"\0" * 62)
    archive(os.path.join(folder, "empty.zip"), [])


if __name__ == "__main__":
    main()
