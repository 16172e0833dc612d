"""Gives unsigned Windows programs and libraries the two things signing would change, so that a
signed file with its signature removed is byte for byte the unsigned one:

    pe-checksum.py FILE...          pads each to a multiple of 8 bytes, writes its PE checksum
    pe-checksum.py --check FILE...  exits 1, naming the first file that lacks either
    pe-checksum.py --signed FILE    exits 0 if the file carries a signature, 1 if not
    pe-checksum.py --which-signed FILE...
                                    prints each file that carries a signature, ended by a NUL
    pe-checksum.py --sole-signature FILE...
                                    exits 1, naming the first file and its fault, unless each
                                    holds one signature and nothing else (below)
    pe-checksum.py --certificates FILE
                                    the same for one file, and prints the certificates its
                                    signature and timestamp carry: "signature|timestamp BASE64"

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
SignedData has one SignerInfo and no field that no signature covers but its certificates,
which are its signer's chain and nothing else, and the SignerInfo's unauthenticated
attributes are at most one timestamp (an RFC 3161 token, held to the same rules, or a
countersignature) and no nested signature (Microsoft's "Windows
Authenticode Portable Executable Signature Format"; RFC 2315, section 9)."""

import array
import base64
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


SIGNED_DATA = "1.2.840.113549.1.7.2"
RFC3161 = "1.3.6.1.4.1.311.3.3.1"


class Fault(Exception):
    """What is wrong with a signature that can be read."""


def element(data, start, end):
    """The DER element at data[start:end]: (tag, content start, content end, start)."""
    if end - start < 2:
        raise ValueError("a truncated element")
    header, tag, length, start = start, data[start], data[start + 1], start + 2
    if length & 0x80:
        count = length & 0x7F
        if not 0 < count <= 4 or start + count > end:
            raise ValueError("a length it cannot read")
        length, start = int.from_bytes(data[start:start + count], "big"), start + count
    if start + length > end:
        raise ValueError("an element longer than what holds it")
    return tag, start, start + length, header


def elements(data, element_):
    """The DER elements filling an element's content exactly."""
    found, start = [], element_[1]
    while start < element_[2]:
        found.append(element(data, start, element_[2]))
        start = found[-1][2]
    return found


def der(data, element_):
    return bytes(data[element_[3]:element_[2]])


def oid(data, element_):
    tag, start, end = element_[:3]
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


def algorithm(data, element_):
    """An algorithm's identifier, without parameters or with NULL ones: nothing to hide bytes in."""
    parts = elements(data, element_)
    if element_[0] != 0x30 or not 1 <= len(parts) <= 2 or parts[1:] and der(data, parts[1]) != b"\5\0":
        raise Fault("an algorithm with parameters")
    return oid(data, parts[0])


def chain(data, certificates, signer):
    """Every certificate is the signer's or, one each, the issuer of the one before it."""
    names, seen = [], set()
    for certificate in certificates:
        # The same certificate twice, as some timestamping authorities send it, adds nothing.
        if der(data, certificate) in seen:
            continue
        seen.add(der(data, certificate))
        fields = elements(data, elements(data, certificate)[0])
        fields = fields[1:] if fields[0][0] == 0xA0 else fields
        issuer, serial, subject = (der(data, fields[i]) for i in (2, 0, 4))
        names.append((issuer + serial, issuer, subject))
    wanted = b"".join(der(data, part) for part in elements(data, signer))
    left = list(range(len(names)))
    link = [i for i in left if names[i][0] == wanted]
    if not link:
        raise Fault("its signer's certificate is not in it")
    while link:
        if len(link) > 1:
            raise Fault("two certificates for one link of its chain")
        left.remove(link[0])
        issuer, subject = names[link[0]][1:]
        link = [] if issuer == subject else [i for i in left if names[i][2] == issuer]
    if left:
        raise Fault(f"its signature carries {len(left)} certificates outside its signer's chain")


def signed_data(data, info, found, kind):
    """Checks a ContentInfo of SignedData: one signer, no field that no signature covers
    but its certificates, which must be its signer's chain (found gets them, as (kind, DER)),
    and at most a timestamp unsigned."""
    content = elements(data, info)
    if len(content) != 2 or oid(data, content[0]) != SIGNED_DATA:
        raise Fault("no PKCS #7 SignedData")
    fields = elements(data, only(elements(data, content[1]), 0x30, "SignedData"))
    if [f[0] for f in fields] not in ([2, 0x31, 0x30, 0xA0, 0x31], [2, 0x31, 0x30, 0x31]):
        raise Fault("its SignedData holds other fields than a signature's")
    signers = elements(data, fields[-1])
    if len(signers) != 1:
        raise Fault(f"{len(signers)} signers where one belongs")
    signer = elements(data, signers[0])
    if [f[0] for f in signer] not in ([2, 0x30, 0x30, 0xA0, 0x30, 4], [2, 0x30, 0x30, 0xA0, 0x30, 4, 0xA1]):
        raise Fault("its signer holds other fields than a signature's")
    digests = elements(data, fields[1])
    algorithm(data, signer[2])
    algorithm(data, signer[4])
    if len(digests) != 1 or der(data, digests[0]) != der(data, signer[2]):
        raise Fault("its digest algorithms are not its signer's one")
    certificates = elements(data, fields[3]) if fields[3][0] == 0xA0 else []
    chain(data, certificates, signer[1])
    found += [(kind, der(data, certificate)) for certificate in certificates]
    unsigned = elements(data, signer[6]) if len(signer) > 6 else []
    kinds = [oid(data, elements(data, attribute)[0]) for attribute in unsigned]
    if kind == "timestamp" and kinds or len(kinds) > 1 or set(kinds) - TIMESTAMPS:
        raise Fault("its signature carries unsigned attributes besides a timestamp: "
                    + ", ".join(KNOWN.get(kind, kind) for kind in kinds))
    for attribute, stamp in zip(unsigned, kinds):
        value = only(elements(data, elements(data, attribute)[1]), 0x30, "timestamps")
        if stamp == RFC3161:
            signed_data(data, value, found, "timestamp")
        elif [f[0] for f in elements(data, value)] != [2, 0x30, 0x30, 0xA0, 0x30, 4]:
            raise Fault("its countersignature holds other fields than a signature's")


def only(found, tag, what):
    if len(found) != 1 or found[0][0] != tag:
        raise ValueError(f"{len(found)} {what} where one belongs")
    return found[0]


def sole_signature(data, name, found=None):
    """The fault of a signed file's certificate table, or None when it holds one signature;
    found gets the certificates it carries."""
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
        signed_data(table, signature, [] if found is None else found, "signature")
    except Fault as fault:
        return str(fault)
    except (ValueError, IndexError) as error:
        return f"its signature cannot be read: {error}"
    return None


def checksum(data, field):
    counted = bytes(data[:field]) + b"\0\0\0\0" + bytes(data[field + 4:])
    words = array.array("H", counted[: len(counted) & ~1])
    if sys.byteorder == "big":
        words.byteswap()
    # Folding the carry once at the end gives what folding it after each addition does.
    total = sum(words) + (counted[-1] if len(counted) % 2 else 0)
    while total > 0xFFFF:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def main(arguments):
    check = arguments[:1] == ["--check"]
    if arguments[:1] == ["--signed"]:
        with open(arguments[1], "rb") as source:
            data = source.read()
        _, certificates = layout(data, arguments[1])
        sys.exit(0 if struct.unpack_from("<II", data, certificates) != (0, 0) else 1)
    if arguments[:1] == ["--which-signed"]:
        for name in arguments[1:]:
            with open(name, "rb") as source:
                data = source.read()
            _, certificates = layout(data, name)
            if struct.unpack_from("<II", data, certificates) != (0, 0):
                sys.stdout.write(name + "\0")
        return
    if arguments[:1] == ["--certificates"]:
        found = []
        with open(arguments[1], "rb") as source:
            fault = sole_signature(source.read(), arguments[1], found)
        if fault:
            sys.exit(f"{arguments[1]}: {fault}")
        for kind, certificate in found:
            print(kind, base64.b64encode(certificate).decode())
        return
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
