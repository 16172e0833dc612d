"""Writes the SPDX 2.3 bill of materials of the Windows folder as shipped, or checks a folder
against the one it holds.
    windows-sbom.py write FOLDER OUT QT_SBOM EPOCH RELEASE NAME=VALUE...
    windows-sbom.py check FOLDER
    windows-sbom.py rehash FOLDER
RELEASE is the release's name (its folder in the zip). NAME=VALUE gives the program's, Qt's
and the runtimes' versions (ordering-system, qtbase: Debian's version of its source package,
gcc-runtime, mingw-w64), the Debian packages they come from (qtbase.source=SOURCE,
gcc-runtime.deb and mingw-w64.deb=BINARY/ARCH/SOURCE/SOURCE_VERSION), the build root's
release (distro=debian-13) and the program's supplier (supplier=PUBLISHER). The parts of Qt
come from Qt's own bill of materials (QT_SBOM): the third-party code inside the Qt libraries
and plugins the folder ships, one package for each library, with its version, licence, purl
and CPE. Every package carries the identifiers a scanner matches it by. Every file in the
folder but the document itself is listed with its SHA-256, so the document changes with the
bytes it describes and with nothing else: rehash gives the document of the same folder with
other bytes (its programs' signatures removed)."""

import hashlib
import json
import os
import re
import sys
import time
from urllib.parse import quote

HERE = os.path.dirname(os.path.abspath(__file__))
# The release's names, as names.txt beside this script sets them.
with open(os.path.join(HERE, "names.txt"), encoding="utf-8") as names:
    NAMES = dict(line.rstrip("\n").split("=", 1) for line in names if re.match("[a-z]", line))
DOCUMENT = NAMES["sbom"]
# The libraries and plugins the folder ships (shipped.txt): name, package, Qt target or not.
with open(os.path.join(HERE, "shipped.txt"), encoding="utf-8") as shipped:
    SHIPPED = [line.split() for line in shipped if line.strip() and not line.startswith("#")]
LICENCE_FOLDERS = {"licenses/Qt/": "qtbase", "licenses/gcc-runtime/": "gcc-runtime",
                   "licenses/mingw-w64/": "mingw-w64"}
# The Qt targets whose code the folder ships, by their names in Qt's bill of materials.
QT_SHIPPED = {("qt-plugin-" if "/" in name else "qt-module-") + target.removeprefix("Qt6::")
              for name, package, target in SHIPPED if package == "qtbase"}


def owner(name):
    """The package a file of the folder belongs to, by its name there."""
    for shipped, package, _ in SHIPPED:
        if name == shipped:
            return package
    for folder, package in LICENCE_FOLDERS.items():
        if name.startswith(folder):
            return package
    return "ordering-system"


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


def checksums(path):
    return [{"algorithm": "SHA1", "checksumValue": digest(path, "sha1")},
            {"algorithm": "SHA256", "checksumValue": digest(path, "sha256")}]


def read_tag_value(path):
    """Qt's tag-value SPDX document: its packages by SPDXID, its relationships by their left
    side, and the texts of its LicenseRef- licences."""
    packages, edges, licences, current, licence = {}, {}, {}, None, None
    text = open(path, encoding="utf-8").read()
    # A value between <text> and </text> may span lines, and hold what looks like a key.
    for key, value in re.findall(r"^(\w+): (<text>.*?</text>|[^\n]*)$", text, flags=re.S | re.M):
        if value.startswith("<text>"):
            value = value[len("<text>"):-len("</text>")]
        if key == "PackageName":
            current = {"name": value, "title": value, "refs": []}
        elif key in ("FileName", "LicenseID"):
            current = None
            licence = value if key == "LicenseID" else None
        elif key == "ExtractedText" and licence:
            licences[licence] = value
        elif key == "Relationship":
            left, kind, right = value.split()
            edges.setdefault(left, []).append((kind, right))
        elif current is None:
            continue
        elif key == "SPDXID" and "id" not in current:
            current["id"] = value
            packages[value] = current
        elif key == "ExternalRef":
            current["refs"].append(value.split()[-1])
        elif key == "PackageComment":
            # Qt names the code in its own words in the comment's "Name:" line.
            title = re.search(r"^\s*Name: (.+)$", value, flags=re.M)
            if title:
                current["title"] = title.group(1).strip()
        else:
            current.setdefault(key, value)
    return packages, edges, licences


# Qt's own identifiers: those of the qtbase repository, which it also gives to each part.
QT_OWN = re.compile(r"^(pkg:github/qt/|pkg:generic/TheQtCompany/|cpe:2\.3:a:qt:)")


def qt_parts(qt_sbom):
    """Qt itself and the third-party libraries that the shipped Qt targets contain, from Qt's
    tag-value SPDX: one package per library, however many of Qt's packages stand for it."""
    packages, edges, licences = read_tag_value(qt_sbom)
    prefix = "SPDXRef-Package-qtbase-"
    wanted = sorted(prefix + name for name in QT_SHIPPED if prefix + name in packages)
    qt = {"version": packages["SPDXRef-Package-qtbase"]["PackageVersion"],
          "originator": packages["SPDXRef-Package-qtbase"]["PackageSupplier"],
          "cpes": sorted({ref for spdx_id in wanted for ref in packages[spdx_id]["refs"]
                          if ref.startswith("cpe:2.3:a:qt:")})}
    seen = set(wanted)
    while wanted:
        for kind, right in edges.get(wanted.pop(), []):
            if kind in ("CONTAINS", "DEPENDS_ON") and right in packages and right not in seen:
                seen.add(right)
                wanted.append(right)
    # Bundled code, not the system's own libraries that Qt's build looked for. Qt lists one
    # library under several names (its target, its private module, each attribution entry):
    # those that name the same upstream release are one library.
    groups = {}
    for spdx_id in sorted(seen):
        if "3rdparty" not in spdx_id or "system-3rdparty" in spdx_id:
            continue
        package = packages[spdx_id]
        upstream = sorted(ref for ref in package["refs"] if not QT_OWN.match(ref))
        key = (tuple(ref for ref in upstream if ref.startswith("cpe:")) or tuple(upstream)
               or spdx_id)
        groups.setdefault(key, []).append(package)
    parts = [merge(members) for _, members in sorted(groups.items(), key=lambda g: str(g[0]))]
    names = [part["key"] for part in parts]
    for part in parts:
        if names.count(part["key"]) > 1:
            part["key"] += "-" + part["version"]
    return qt, parts, licences


def merge(members):
    """One package of the members that Qt's bill of materials gives for one library."""
    lead = min(members, key=lambda p: (len(p["title"]), p["title"]))
    upstream = sorted({ref for p in members for ref in p["refs"] if not QT_OWN.match(ref)})
    cpes = [ref for ref in upstream if ref.startswith("cpe:")]
    purls = [ref for ref in upstream if ref.startswith("pkg:")]
    if not upstream:
        # Code with no release of its own: Qt's name for where it lies in qtbase.
        purls = sorted(ref for ref in lead["refs"] if ref.startswith("pkg:github/qt/"))[:1]
    product = cpes[0].split(":")[4] if cpes else None
    if not product and purls and not purls[0].startswith("pkg:github/qt/"):
        product = re.split(r"[@?#]", purls[0])[0].rsplit("/", 1)[-1]
    key = product or lead["name"].rsplit("_Attribution_", 1)[-1]
    locations = sorted({p.get("PackageDownloadLocation", "NOASSERTION")
                        for p in members} - {"NOASSERTION"})
    return {"key": key, "name": lead["title"],
            "version": lead.get("PackageVersion", "NOASSERTION"),
            "supplier": lead.get("PackageSupplier", "NOASSERTION"),
            "download": locations[0] if locations else "NOASSERTION",
            "licence": all_of(p.get("PackageLicenseConcluded", "NOASSERTION") for p in members),
            "purls": purls, "cpes": cpes,
            "from": sorted(p["name"] for p in members)}


def all_of(expressions):
    """The licence expressions joined by AND, each term once, in a fixed order."""
    terms = set()
    for expression in expressions:
        if expression in ("NOASSERTION", "NONE"):
            continue
        tokens = re.findall(r"\(|\)|[^\s()]+", expression)
        depth, split, start = 0, [], 0
        for index, token in enumerate(tokens):
            depth += (token == "(") - (token == ")")
            if depth == 0 and token == "OR":
                split = None
                break
            if depth == 0 and token == "AND":
                split.append(tokens[start:index])
                start = index + 1
        # A choice (OR) binds looser than AND: joined to others, it needs its parentheses.
        for term in [tokens] if split is None else split + [tokens[start:]]:
            terms.add((" ".join(term).replace("( ", "(").replace(" )", ")"), split is None))
    if len(terms) == 1:
        return terms.pop()[0]
    return " AND ".join(sorted(f"({term})" if choice else term
                               for term, choice in terms)) or "NOASSERTION"


def spdx_id(text):
    return "SPDXRef-" + re.sub(r"[^A-Za-z0-9.-]", "-", text)


def deb_purl(package, version, distro, arch, source=None, source_version=None):
    """A Debian package's purl; the source package, which Debian's security tracker files
    its fixes under, as the upstream qualifier."""
    qualifiers = {"arch": arch, "distro": distro}
    if source and source != package:
        qualifiers["upstream"] = source + ("" if source_version == version
                                           else "@" + source_version)
    return (f"pkg:deb/debian/{package}@{quote(version, safe='')}?" + "&".join(
        f"{key}={quote(value, safe='')}" for key, value in sorted(qualifiers.items())))


def references(purls, cpes):
    return ([{"referenceCategory": "PACKAGE-MANAGER", "referenceType": "purl",
              "referenceLocator": purl} for purl in purls]
            + [{"referenceCategory": "SECURITY", "referenceType": "cpe23Type",
                "referenceLocator": cpe} for cpe in cpes])


def write(folder, out, qt_sbom, epoch, release, facts):
    names = files_of(folder)
    files = [{"SPDXID": spdx_id("File-" + name), "fileName": "./" + name,
              "checksums": checksums(os.path.join(folder, name)),
              "licenseConcluded": "NOASSERTION", "copyrightText": "NOASSERTION"} for name in names]
    qt, parts, licences = qt_parts(qt_sbom)
    distro = facts["distro"]
    debian = "Organization: Debian"
    qt_source, qt_version = facts["qtbase.source"], facts["qtbase"]
    ours = [("ordering-system", {
        "name": NAMES["product"], "supplier": "Organization: " + facts["supplier"],
        "downloadLocation": "NOASSERTION", "primaryPackagePurpose": "APPLICATION",
        "licenseConcluded": "NOASSERTION",
        # No registry carries it: the generic type names it without claiming one.
        "externalRefs": references(
            [f"pkg:generic/{NAMES['program']}@" + quote(facts["ordering-system"], safe="")], [])})]
    ours.append(("qtbase", {
        "name": "Qt qtbase", "supplier": debian, "originator": qt["originator"],
        # The Qt source archive published beside the release, where the publisher names it;
        # else the purl alone says where: a Debian mirror of the scanner's own choosing.
        "downloadLocation": facts.get("qtbase.location") or "NOASSERTION",
        "primaryPackagePurpose": "LIBRARY",
        "licenseConcluded": "LGPL-3.0-only",
        "sourceInfo": f"Qt {qt['version']} as Debian's source package {qt_source} {qt_version}",
        "externalRefs": references([deb_purl(qt_source, qt_version, distro, "source")],
                                   qt["cpes"])}))
    for key, name, originator, licence, cpe in [
        ("gcc-runtime", "GCC runtime libraries", "Organization: Free Software Foundation",
         "GPL-3.0-or-later WITH GCC-exception-3.1", "cpe:2.3:a:gnu:gcc:{}:*:*:*:*:*:*:*"),
        ("mingw-w64", "mingw-w64 runtime", "Organization: mingw-w64 project",
         "MIT AND BSD-3-Clause AND ZPL-2.1", None),
    ]:
        binary, arch, source, source_version = facts[key + ".deb"].split("/")
        upstream = facts[key].split(":")[-1].split("-")[0]
        ours.append((key, {
            "name": name, "supplier": debian, "originator": originator,
            "downloadLocation": "NOASSERTION",
            "primaryPackagePurpose": "LIBRARY", "licenseConcluded": licence,
            "sourceInfo": f"Debian's package {binary} {facts[key]}, from its source package "
                          f"{source} {source_version}",
            "externalRefs": references(
                [deb_purl(binary, facts[key], distro, arch, source, source_version)],
                [cpe.format(upstream)] if cpe else [])}))
    packages, relationships = [], []
    for key, fields in ours:
        package = {"SPDXID": spdx_id("Package-" + key), "name": fields.pop("name"),
                   "versionInfo": facts[key]}
        package.update(fields)
        package.update({"filesAnalyzed": True, "licenseDeclared": package["licenseConcluded"],
                        "copyrightText": "NOASSERTION",
                        "hasFiles": [f["SPDXID"] for f, n in zip(files, names) if owner(n) == key]})
        packages.append(package)
    relationships.append({"spdxElementId": "SPDXRef-DOCUMENT", "relationshipType": "DESCRIBES",
                          "relatedSpdxElement": spdx_id("Package-ordering-system")})
    for key, _ in ours[1:]:
        relationships.append({"spdxElementId": spdx_id("Package-ordering-system"),
                              "relationshipType": "DEPENDS_ON",
                              "relatedSpdxElement": spdx_id("Package-" + key)})
    for part in parts:
        packages.append({"SPDXID": spdx_id("Package-qtbase-" + part["key"]), "name": part["name"],
                         "versionInfo": part["version"], "supplier": part["supplier"],
                         "downloadLocation": part["download"], "primaryPackagePurpose": "LIBRARY",
                         "filesAnalyzed": False, "licenseConcluded": part["licence"],
                         "licenseDeclared": "NOASSERTION", "copyrightText": "NOASSERTION",
                         "comment": "Inside Qt's libraries; Qt's bill of materials lists it as "
                                    + ", ".join(part["from"]),
                         "externalRefs": references(part["purls"], part["cpes"])})
        relationships.append({"spdxElementId": spdx_id("Package-qtbase"),
                              "relationshipType": "CONTAINS",
                              "relatedSpdxElement": packages[-1]["SPDXID"]})
    # The texts of the licences SPDX has no identifier for, as Qt's document gives them.
    used = {ref for p in packages
            for ref in re.findall(r"LicenseRef-[\w.-]+", p["licenseConcluded"])}
    extracted = [{"licenseId": ref, "extractedText": licences.get(ref, "NOASSERTION")}
                 for ref in sorted(used)]
    document = {
        "spdxVersion": "SPDX-2.3", "dataLicense": "CC0-1.0", "SPDXID": "SPDXRef-DOCUMENT",
        "name": release + "-" + facts["ordering-system"],
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
        entry["checksums"] = checksums(name)
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
