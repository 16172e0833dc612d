"""Writes the SPDX 2.3 bill of materials of the Windows folder as shipped, or checks a folder
against the one it holds.
    windows-sbom.py write FOLDER OUT QT_SBOM EPOCH RELEASE NAME=VERSION...
    windows-sbom.py check FOLDER
    windows-sbom.py rehash FOLDER
RELEASE is the release's name (its folder in the zip). NAME=VERSION gives the program's, Qt's
and the runtimes' versions (ordering-system, qtbase, gcc-runtime, mingw-w64). The parts of Qt
come from Qt's own bill of materials (QT_SBOM): the third-party code inside the Qt libraries
and plugins the folder ships, each with its version and licence. Every file in the folder but
the document itself is listed with its SHA-256, so the document changes with the bytes it
describes and with nothing else: rehash gives the document of the same folder with other
bytes (its programs' signatures removed)."""

import hashlib
import json
import os
import re
import sys
import time

DOCUMENT = "ordering-system.spdx.json"
# Which package each shipped file belongs to, by its name in the folder.
QT_FILES = re.compile(r"^(Qt6\w+\.dll|(platforms|imageformats|styles)/.*\.dll|licenses/Qt/.*)$")
GCC_FILES = re.compile(r"^(libstdc\+\+-6\.dll|libgcc_s_seh-1\.dll|licenses/gcc-runtime/.*)$")
MINGW_FILES = re.compile(r"^(libwinpthread-1\.dll|licenses/mingw-w64/.*)$")
# The Qt targets whose code the folder ships, by their names in Qt's bill of materials.
QT_SHIPPED = {"qt-module-Core", "qt-module-Gui", "qt-module-Widgets",
              "qt-plugin-QWindowsIntegrationPlugin", "qt-plugin-QJpegPlugin",
              "qt-plugin-QModernWindowsStylePlugin", "qt-plugin-QWindowsVistaStylePlugin"}


def files_of(folder):
    names = []
    for directory, _, files in os.walk(folder):
        for name in files:
            path = os.path.relpath(os.path.join(directory, name), folder).replace(os.sep, "/")
            if path != DOCUMENT:
                names.append(path)
    return sorted(names)


def digest(path, algorithm):
    with open(path, "rb") as f:
        return hashlib.new(algorithm, f.read()).hexdigest()


def qt_parts(qt_sbom):
    """The third-party packages that the shipped Qt targets contain, from Qt's tag-value SPDX."""
    packages, edges, current = {}, {}, None
    text = open(qt_sbom, encoding="utf-8").read()
    # Multi-line values stand between <text> and </text>.
    text = re.sub(r"<text>.*?</text>", "", text, flags=re.S)
    for line in text.splitlines():
        key, _, value = line.partition(": ")
        if key == "PackageName":
            current = {"name": value}
        elif key == "SPDXID" and current is not None and "id" not in current:
            current["id"] = value
            packages[value] = current
        elif key in ("PackageVersion", "PackageLicenseConcluded") and current is not None:
            current[key] = value
        elif key == "Relationship":
            left, kind, right = value.split()
            edges.setdefault(left, []).append((kind, right))
    prefix = "SPDXRef-Package-qtbase-"
    wanted = [prefix + name for name in QT_SHIPPED if prefix + name in packages]
    seen, parts = set(wanted), []
    while wanted:
        for kind, right in edges.get(wanted.pop(), []):
            if kind in ("CONTAINS", "DEPENDS_ON") and right in packages and right not in seen:
                seen.add(right)
                wanted.append(right)
    # Bundled code, not the system's own libraries that Qt's build looked for.
    for spdx_id in sorted(seen):
        package = packages[spdx_id]
        if "3rdparty" in spdx_id and "system-3rdparty" not in spdx_id:
            parts.append(package)
    licences = dict(re.findall(r"^LicenseID: (\S+)\nExtractedText: <text>(.*?)</text>",
                               open(qt_sbom, encoding="utf-8").read(), flags=re.S | re.M))
    return parts, licences


def spdx_id(text):
    return "SPDXRef-" + re.sub(r"[^A-Za-z0-9.-]", "-", text)


def write(folder, out, qt_sbom, epoch, release, versions):
    names = files_of(folder)
    files, owner = [], {}
    for name in names:
        path = os.path.join(folder, name)
        files.append({"SPDXID": spdx_id("File-" + name), "fileName": "./" + name,
                      "checksums": [{"algorithm": "SHA1", "checksumValue": digest(path, "sha1")},
                                    {"algorithm": "SHA256",
                                     "checksumValue": digest(path, "sha256")}],
                      "licenseConcluded": "NOASSERTION", "copyrightText": "NOASSERTION"})
        owner[name] = ("qtbase" if QT_FILES.match(name) else "gcc-runtime" if GCC_FILES.match(name)
                       else "mingw-w64" if MINGW_FILES.match(name) else "ordering-system")
    ours = [
        ("ordering-system", "Ordering System", "NOASSERTION"),
        ("qtbase", "Qt qtbase", "LGPL-3.0-only"),
        ("gcc-runtime", "GCC runtime libraries", "GPL-3.0-or-later WITH GCC-exception-3.1"),
        ("mingw-w64", "mingw-w64 runtime", "MIT AND BSD-3-Clause AND ZPL-2.1"),
    ]
    packages, relationships = [], []
    for key, name, licence in ours:
        packages.append({"SPDXID": spdx_id("Package-" + key), "name": name,
                         "versionInfo": versions[key], "downloadLocation": "NOASSERTION",
                         "filesAnalyzed": True, "licenseConcluded": licence,
                         "licenseDeclared": licence, "copyrightText": "NOASSERTION",
                         "hasFiles": [f["SPDXID"] for f, n in zip(files, names) if owner[n] == key]})
    relationships.append({"spdxElementId": "SPDXRef-DOCUMENT", "relationshipType": "DESCRIBES",
                          "relatedSpdxElement": spdx_id("Package-ordering-system")})
    for key, _, _ in ours[1:]:
        relationships.append({"spdxElementId": spdx_id("Package-ordering-system"),
                              "relationshipType": "DEPENDS_ON",
                              "relatedSpdxElement": spdx_id("Package-" + key)})
    parts, licences = qt_parts(qt_sbom)
    for part in parts:
        packages.append({"SPDXID": spdx_id("Package-qtbase-" + part["name"]), "name": part["name"],
                         "versionInfo": part.get("PackageVersion", "NOASSERTION"),
                         "downloadLocation": "NOASSERTION",
                         "filesAnalyzed": False,
                         "licenseConcluded": part.get("PackageLicenseConcluded", "NOASSERTION"),
                         "licenseDeclared": "NOASSERTION", "copyrightText": "NOASSERTION"})
        relationships.append({"spdxElementId": spdx_id("Package-qtbase"),
                              "relationshipType": "CONTAINS",
                              "relatedSpdxElement": packages[-1]["SPDXID"]})
    # The texts of the licences SPDX has no identifier for, as Qt's document gives them.
    used = {ref for p in packages for ref in re.findall(r"LicenseRef-[\w.-]+", p["licenseConcluded"])}
    extracted = [{"licenseId": ref, "extractedText": licences.get(ref, "NOASSERTION")}
                 for ref in sorted(used)]
    document = {
        "spdxVersion": "SPDX-2.3", "dataLicense": "CC0-1.0", "SPDXID": "SPDXRef-DOCUMENT",
        "name": release + "-" + versions["ordering-system"],
        "documentNamespace": "",
        "creationInfo": {"created": time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(epoch)),
                         "creators": ["Tool: ordering-system windows-sbom.py"]},
        "hasExtractedLicensingInfos": extracted,
        "packages": packages, "files": files, "relationships": relationships,
    }
    save(document, out)


def save(document, out):
    """Names the document after its files' digests, and writes it."""
    contents = hashlib.sha256("".join(f["checksums"][1]["checksumValue"]
                                      for f in document["files"]).encode())
    document["documentNamespace"] = ("https://spdx.org/spdxdocs/" + document["name"] + "-"
                                     + contents.hexdigest())
    with open(out, "w", encoding="utf-8", newline="\n") as f:
        json.dump(document, f, indent=1, ensure_ascii=False)
        f.write("\n")


def rehash(folder):
    path = os.path.join(folder, DOCUMENT)
    with open(path, encoding="utf-8") as f:
        document = json.load(f)
    for entry in document["files"]:
        name = os.path.join(folder, entry["fileName"][2:])
        entry["checksums"] = [{"algorithm": "SHA1", "checksumValue": digest(name, "sha1")},
                              {"algorithm": "SHA256", "checksumValue": digest(name, "sha256")}]
    save(document, path)


def check(folder):
    """Exits non-zero, saying which, when a file differs from the document or one is missing."""
    try:
        with open(os.path.join(folder, DOCUMENT), encoding="utf-8") as f:
            document = json.load(f, object_pairs_hook=unique_keys)
        entries = [(entry["fileName"], {c["algorithm"]: c["checksumValue"]
                                        for c in entry["checksums"]})
                   for entry in document["files"]]
    except (OSError, ValueError, KeyError, TypeError) as error:
        sys.exit(f"{DOCUMENT} cannot be read: {error}")
    listed = {}
    for name, checksums in entries:
        if not name.startswith("./") or name[2:] in listed:
            sys.exit(f"{DOCUMENT} names {name} wrongly or twice")
        listed[name[2:]] = checksums
    present = files_of(folder)
    faults = [name + " is not in " + DOCUMENT for name in present if name not in listed]
    faults += [name + ", in " + DOCUMENT + ", is missing" for name in listed if name not in present]
    faults += [name + " differs from its digests in " + DOCUMENT for name in present
               if name in listed and any(listed[name].get(algorithm.upper())
                                         != digest(os.path.join(folder, name), algorithm)
                                         for algorithm in ("sha1", "sha256"))]
    if faults:
        sys.exit("\n".join(faults))
    parts = [p for p in document["packages"] if p["SPDXID"].startswith("SPDXRef-Package-qtbase-")]
    print(f"{DOCUMENT}: {len(listed)} files with their SHA-256, {len(parts)} parts of Qt")


def unique_keys(pairs):
    keys = [key for key, _ in pairs]
    if len(keys) != len(set(keys)):
        raise ValueError("a key given twice")
    return dict(pairs)


if __name__ == "__main__":
    if sys.argv[1] == "write":
        write(sys.argv[2], sys.argv[3], sys.argv[4], int(sys.argv[5]), sys.argv[6],
              dict(arg.split("=", 1) for arg in sys.argv[7:]))
    elif sys.argv[1] == "rehash":
        rehash(sys.argv[2])
    else:
        check(sys.argv[2])
