"""Gives unsigned Windows programs and libraries the two things signing would change, so that a
signed file with its signature removed is byte for byte the unsigned one:

    pe-checksum.py FILE...          pads each to a multiple of 8 bytes, writes its PE checksum
    pe-checksum.py --check FILE...  exits 1, naming the first file that lacks either
    pe-checksum.py --signed FILE    exits 0 if the file carries a signature, 1 if not
    pe-checksum.py --sole-signature FILE...
                                    exits 1, naming the first file and its fault, unless each
                                    holds one signature and nothing else (below)

A signature starts on an 8-byte boundary: signing pads with zero bytes, and removing it keeps
them and writes the checksum anew. The checksum is the one imagehlp's CheckSumMappedFile
computes: the file as 16-bit little-endian words (the checksum field counted as zero, an odd
last byte as a word of its own) added with the carry folded back into the low 16 bits after
each addition, plus the file's length. Microsoft documents the function, not the sum; the
sum is analysed in "An Analysis of the Windows PE Checksum Algorithm" (CodeProject, 2008),
and it gives what osslsigncode and Wine's imagehlp compute.

osslsigncode verify passes a file whose own signature fails when another one nested under it
verifies, and it reads no bytes the signature does not cover: an unauthenticated attribute, or
bytes after the signature in its certificate table. Windows judges the first signature only.
So a signed file must end in its certificate table, which holds one WIN_CERTIFICATE of
revision 2 and type PKCS_SIGNED_DATA, its PKCS#7 SignedData and at most 7 bytes of zeros; the
SignedData has one SignerInfo, whose unauthenticated attributes are at most one timestamp (an
RFC 3161 token or a countersignature) and no nested signature (Microsoft's "Windows
Authenticode Portable Executable Signature Format"; RFC 2315, section 9)."""

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


# The attributes a SignerInfo may carry unsigned: a timestamp, as an RFC 3161 token or as a
# PKCS #9 countersignature.
TIMESTAMPS = {"1.3.6.1.4.1.311.3.3.1", "1.2.840.113549.1.9.6"}
KNOWN = {"1.3.6.1.4.1.311.2.4.1": "a nested signature",
         "1.3.6.1.4.1.42921.1.2.1": "osslsigncode's unauthenticated blob"}


def element(data, start, end):
    """The DER element at data[start:end] as (tag, content start, content end)."""
    if end - start < 2:
        raise ValueError("a truncated element")
    tag, length, start = data[start], data[start + 1], start + 2
    if length & 0x80:
        count = length & 0x7F
        if not 0 < count <= 4 or start + count > end:
            raise ValueError("a length it cannot read")
        length, start = int.from_bytes(data[start:start + count], "big"), start + count
    if start + length > end:
        raise ValueError("an element longer than what holds it")
    return tag, start, start + length


def elements(data, start, end):
    """The DER elements filling data[start:end] exactly."""
    found = []
    while start < end:
        found.append(element(data, start, end))
        start = found[-1][2]
    return found


def oid(data, element):
    tag, start, end = element
    if tag != 0x06 or start == end:
        raise ValueError("no object identifier where one belongs")
    numbers, value = [], 0
    for byte in data[start:end]:
        value = value << 7 | byte & 0x7F
        if not byte & 0x80:
            numbers.append(value)
            value = 0
    first = min(numbers[0] // 40, 2)
    return ".".join(map(str, [first, numbers[0] - 40 * first] + numbers[1:]))


def only(found, tag, what):
    if len(found) != 1 or found[0][0] != tag:
        raise ValueError(f"{len(found)} {what} where one belongs")
    return found[0]


def sole_signature(data, name):
    """The fault of a signed file's certificate table, or None when it holds one signature."""
    _, certificates = layout(data, name)
    at, size = struct.unpack_from("<II", data, certificates)
    if at % 8 or size < 8 or at + size != len(data):
        return "its certificate table is not the 8-byte aligned end of the file"
    length, revision, kind = struct.unpack_from("<IHH", data, at)
    if (revision, kind) != (0x0200, 2):
        return f"a certificate of revision {revision:#x}, type {kind}, not an Authenticode signature"
    table = data[at + 8:at + size]
    try:
        signature = element(table, 0, len(table))
        end = signature[2]
        if not end <= length - 8 <= end + 7 or size != 8 + end + -(8 + end) % 8 or any(table[end:]):
            return "its certificate table holds more than one signature and its padding"
        content = elements(table, signature[1], end)
        if len(content) != 2 or oid(table, content[0]) != "1.2.840.113549.1.7.2":
            return "its signature is no PKCS #7 SignedData"
        fields = elements(table, *only(elements(table, *content[1][1:]), 0x30, "SignedData")[1:])
        signers = elements(table, *fields[-1][1:])
        if fields[-1][0] != 0x31 or len(signers) != 1:
            return f"{len(signers) if fields[-1][0] == 0x31 else 'no'} signers where one belongs"
        signer = elements(table, *signers[0][1:])
        unsigned = elements(table, *signer[-1][1:]) if signer[-1][0] == 0xA1 else []
        kinds = [oid(table, elements(table, *attribute[1:])[0]) for attribute in unsigned]
        if len(kinds) > 1 or set(kinds) - TIMESTAMPS:
            return ("its signature carries unsigned attributes besides a timestamp: "
                    + ", ".join(KNOWN.get(kind, kind) for kind in kinds))
        for attribute in unsigned:
            only(elements(table, *elements(table, *attribute[1:])[1][1:]), 0x30, "timestamps")
    except (ValueError, IndexError) as error:
        return f"its signature cannot be read: {error}"
    return None


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
    if arguments[:1] == ["--sole-signature"]:
        for name in arguments[1:]:
            with open(name, "rb") as source:
                fault = sole_signature(source.read(), name)
            if fault:
                sys.exit(f"{name}: {fault}")
        return
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
