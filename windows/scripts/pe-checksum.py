"""Gives unsigned Windows programs and libraries the two things signing would change, so that a
signed file with its signature removed is byte for byte the unsigned one:

    pe-checksum.py FILE...          pads each to a multiple of 8 bytes, writes its PE checksum
    pe-checksum.py --check FILE...  exits 1, naming the first file that lacks either
    pe-checksum.py --signed FILE    exits 0 if the file carries a signature, 1 if not

A signature starts on an 8-byte boundary: signing pads with zero bytes, and removing it keeps
them and writes the checksum anew. The checksum is the one imagehlp's CheckSumMappedFile
computes: the file as 16-bit little-endian words (the checksum field counted as zero, an odd
last byte as a word of its own) added with the carry folded back into the low 16 bits after
each addition, plus the file's length. Microsoft documents the function, not the sum; the
sum is analysed in "An Analysis of the Windows PE Checksum Algorithm" (CodeProject, 2008),
and it gives what osslsigncode and Wine's imagehlp compute."""

import struct
import sys


def layout(data, name):
    """The offsets of the checksum field and of the certificate table's directory entry."""
    if data[:2] != b"MZ" or len(data) < 0x40:
        sys.exit(f"{name}: not a Windows program or library")
    header = struct.unpack_from("<I", data, 0x3C)[0]
    if data[header:header + 4] != b"PE\0\0":
        sys.exit(f"{name}: not a Windows program or library")
    optional = header + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    if magic not in (0x10B, 0x20B):
        sys.exit(f"{name}: unknown optional header {magic:#x}")
    directories = optional + (96 if magic == 0x10B else 112)
    return optional + 64, directories + 4 * 8


def checksum(data, field):
    total = 0
    words = data[:field] + b"\0\0\0\0" + data[field + 4:]
    if len(words) % 2:
        words += b"\0"
    for (word,) in struct.iter_unpack("<H", words):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def main(arguments):
    check = arguments[:1] == ["--check"]
    if arguments[:1] == ["--signed"]:
        with open(arguments[1], "rb") as source:
            data = source.read()
        _, certificates = layout(data, arguments[1])
        sys.exit(0 if struct.unpack_from("<II", data, certificates) != (0, 0) else 1)
    for name in arguments[1:] if check else arguments:
        with open(name, "rb") as source:
            data = bytearray(source.read())
        field, certificates = layout(data, name)
        signed = struct.unpack_from("<II", data, certificates) != (0, 0)
        if check:
            if not signed and len(data) % 8:
                sys.exit(f"{name}: {len(data)} bytes, not a multiple of 8")
            if struct.unpack_from("<I", data, field)[0] != checksum(data, field):
                sys.exit(f"{name}: its PE checksum is not the true one")
            continue
        if signed:
            sys.exit(f"{name}: already signed; padding it would break the signature")
        data += bytes(-len(data) % 8)
        struct.pack_into("<I", data, field, checksum(data, field))
        with open(name, "wb") as target:
            target.write(data)


if __name__ == "__main__":
    main(sys.argv[1:])
