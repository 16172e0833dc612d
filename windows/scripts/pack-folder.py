"""Packs a folder into a zip or a tar that depends only on its files' names and bytes:
    pack-folder.py PARENT FOLDER ARCHIVE EPOCH
ARCHIVE ending in .tar makes a tar, anything else a zip. Entries are sorted, every time in
the archive is EPOCH (UTC), programs and folders get mode 755 and the rest 644, and no owner,
access or creation time is recorded. CPack's ZIP generator pins the times but keeps the order
in which the file system lists the files."""

import io
import os
import sys
import tarfile
import time
import zipfile

parent, folder, out, epoch = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])

names = []
for directory, _, files in os.walk(os.path.join(parent, folder)):
    relative = os.path.relpath(directory, parent).replace(os.sep, "/")
    names.append(relative + "/")
    names += [relative + "/" + name for name in files]


def mode(name):
    return 0o755 if name.endswith(("/", ".exe", ".dll")) else 0o644


def contents(name):
    with open(os.path.join(parent, name), "rb") as source:
        return source.read()


if out.endswith(".tar"):
    with tarfile.open(out + ".part", "w", format=tarfile.GNU_FORMAT) as archive:
        for name in sorted(names):
            info = tarfile.TarInfo(name.rstrip("/"))
            info.mtime, info.mode = epoch, mode(name)
            if name.endswith("/"):
                info.type = tarfile.DIRTYPE
                archive.addfile(info)
            else:
                data = contents(name)
                info.size = len(data)
                archive.addfile(info, io.BytesIO(data))
else:
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # zip times begin in 1980
    with zipfile.ZipFile(out + ".part", "w") as archive:
        for name in sorted(names):
            info = zipfile.ZipInfo(name, stamp)
            info.create_system = 3  # the modes below are Unix ones
            if name.endswith("/"):
                info.external_attr = (0o40000 | mode(name)) << 16 | 0x10
                archive.writestr(info, b"")
                continue
            info.external_attr = (0o100000 | mode(name)) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, contents(name), compresslevel=9)
os.replace(out + ".part", out)
