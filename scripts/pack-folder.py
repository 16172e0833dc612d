"""Packs a folder into a zip that depends only on its files' names and bytes:
    zip-folder.py PARENT FOLDER ZIP EPOCH
Entries are sorted, every time in the zip is EPOCH (UTC), programs and folders get mode 755
and the rest 644, and no owner, access or creation time is recorded. CPack's ZIP generator
pins the times but keeps the order in which the file system lists the files."""

import os
import sys
import time
import zipfile

parent, folder, out, epoch = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
stamp = time.gmtime(max(epoch, 315532800))[:6]  # zip times begin in 1980

names = []
for directory, _, files in os.walk(os.path.join(parent, folder)):
    relative = os.path.relpath(directory, parent).replace(os.sep, "/")
    names.append(relative + "/")
    names += [relative + "/" + name for name in files]

with zipfile.ZipFile(out + ".part", "w") as archive:
    for name in sorted(names):
        info = zipfile.ZipInfo(name, stamp)
        info.create_system = 3  # the modes below are Unix ones
        if name.endswith("/"):
            info.external_attr = (0o40755 << 16) | 0x10
            archive.writestr(info, b"")
            continue
        mode = 0o755 if name.endswith((".exe", ".dll")) else 0o644
        info.external_attr = (0o100000 | mode) << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        with open(os.path.join(parent, name), "rb") as source:
            archive.writestr(info, source.read(), compresslevel=9)
os.replace(out + ".part", out)
