#!/usr/bin/env python3
"""Holds the Windows release's bill of materials to what scanners need: valid SPDX 2.3
(spdx/spdx-schema.json), licences of the SPDX lists and, on every package, a supplier, a
version, a purl or CPE naming it alone and a relationship reaching it. Each row spoils the
document once, and the check must refuse it, saying why.
    windows-sbom-test.py DOCUMENT"""

import copy
import json
import os
import re
import sys

import jsonschema

SCHEMA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "spdx", "spdx-schema.json")
LISTS = "/usr/share/nodejs/"  # Debian's node-spdx-license-ids and node-spdx-exceptions
# Newer than Debian 12's licence list (3.0.12 of spdx-license-ids): Unicode-3.0 came with 3.23.
NEWER = {"Unicode-3.0"}
SYNTAX = {"purl": re.compile(r"^pkg:[a-z.+-]+(/[^/@?#\s]+)+(@[^?#\s]+)?(\?[^#\s]+)?(#\S+)?$"),
          "cpe23Type": re.compile(r"^cpe:2\.3:[aho*-](:([^:\s\\]|\\.)+){10}$")}
SUPPLIER = re.compile(r"^((Person|Organization): \S.*|NOASSERTION)$")


def licence_faults(expression, licences, exceptions, defined):
    if expression in ("NOASSERTION", "NONE"):
        return []
    tokens = re.findall(r"\(|\)|[^\s()]+", expression)
    faults, shape = [], []
    for index, token in enumerate(tokens):
        if token in ("(", ")", "AND", "OR", "WITH"):
            shape.append(token)
        elif index and tokens[index - 1] == "WITH":
            shape.append("e")
            if token not in exceptions:
                faults.append(f"{token} is no SPDX licence exception")
        else:
            shape.append("x")
            name = token.removesuffix("+")
            if name.startswith("LicenseRef-") and name not in defined:
                faults.append(f"{name} is not in hasExtractedLicensingInfos")
            elif not name.startswith("LicenseRef-") and name not in licences:
                faults.append(f"{name} is not on the SPDX licence list")
    shape, before = " ".join(shape), None
    while shape != before:
        before, shape = shape, re.sub(r"x WITH e|\( x \)|x (AND|OR) x", "x", shape)
    return faults + ([] if shape == "x" else [f"'{expression}' is no licence expression"])


def faults(document, validator, licences, exceptions):
    errors = sorted(validator.iter_errors(document), key=lambda e: str(list(e.absolute_path)))
    if errors:
        return [f"not SPDX 2.3: {e.message[:160]} at {'/'.join(map(str, e.absolute_path))}"
                for e in errors]
    defined = {info["licenseId"] for info in document.get("hasExtractedLicensingInfos", [])}
    edges = {}
    for r in document.get("relationships", []):
        edges.setdefault(r["spdxElementId"], []).append(r["relatedSpdxElement"])
    reached, todo = set(), ["SPDXRef-DOCUMENT"]
    while todo:
        for right in set(edges.get(todo.pop(), [])) - reached:
            reached.add(right)
            todo.append(right)
    found, named = [], {}
    for package in document.get("packages", []):
        name = package["name"]
        for field in ("licenseConcluded", "licenseDeclared"):
            found += [f"{name}: {field}: {fault}" for fault in licence_faults(
                package.get(field, "NOASSERTION"), licences, exceptions, defined)]
        if not SUPPLIER.match(package.get("supplier", "")):
            found.append(f"{name}: no supplier (Organization:, Person: or NOASSERTION)")
        if not package.get("versionInfo"):
            found.append(f"{name}: no versionInfo")
        if package["SPDXID"] not in reached:
            found.append(f"{name}: no relationship reaches it from the document")
        refs = [(r["referenceType"], r["referenceLocator"])
                for r in package.get("externalRefs", [])]
        if not any(kind in ("purl", "cpe23Type") for kind, _ in refs):
            found.append(f"{name}: neither a purl nor a CPE")
        for kind, locator in refs:
            if kind in SYNTAX and not SYNTAX[kind].match(locator):
                found.append(f"{name}: {locator} is no {kind}")
            if locator in named:
                found.append(f"{name}: {locator} also names {named[locator]}")
            named.setdefault(locator, name)
    return found


QT, GCC = "SPDXRef-Package-qtbase", "SPDXRef-Package-gcc-runtime"
FREETYPE = "SPDXRef-Package-qtbase-freetype"
# Each spoils one field (a package by its SPDXID, then the field; None removes it), and the
# refusal must say so.
ROWS = [
    ((FREETYPE, "externalRefs"), None, "neither a purl nor a CPE"),
    ((QT, "licenseConcluded"), "MIT AND Burger-1.0", "Burger-1.0 is not on the SPDX licence list"),
    ((GCC, "licenseConcluded"), "GPL-3.0-or-later WITH Fries-exception",
     "Fries-exception is no SPDX licence exception"),
    ((QT, "licenseDeclared"), "LicenseRef-Secret", "not in hasExtractedLicensingInfos"),
    ((FREETYPE, "licenseConcluded"), "MIT AND", "'MIT AND' is no licence expression"),
    ((QT, "supplier"), None, "no supplier"),
    ((GCC, "supplier"), "Debian", "no supplier"),
    ((FREETYPE, "versionInfo"), None, "no versionInfo"),
    ((QT, "downloadLocation"), None, "not SPDX 2.3: 'downloadLocation' is a required property"),
    (("relationships", 0, "relationshipType"), "EATS", "not SPDX 2.3: 'EATS' is not one of"),
    ((GCC, "externalRefs"), lambda d: d["packages"][0]["externalRefs"], "also names Ordering"),
    ((FREETYPE, "SPDXID"), "SPDXRef-Package-lost", "no relationship reaches it"),
    ((QT, "externalRefs", 0, "referenceLocator"), "pkg:qt6-base@6.8.2", "is no purl"),
    ((QT, "externalRefs", -1, "referenceLocator"), "cpe:2.3:a:qt:qt:6.8.2", "is no cpe23Type"),
]


def spoil(document, path, value):
    where = document
    for step in path[:-1]:
        where = (next(p for p in document["packages"] if p["SPDXID"] == step)
                 if str(step).startswith("SPDXRef-") else where[step])
    if value is None:
        where.pop(path[-1])
    else:
        where[path[-1]] = value(document) if callable(value) else value


def load(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def main():
    genuine, schema = load(sys.argv[1]), load(SCHEMA)
    lists = (jsonschema.validators.validator_for(schema)(schema),
             set(load(LISTS + "spdx-license-ids/index.json")) | NEWER,
             set(load(LISTS + "spdx-exceptions/index.json")))
    said = faults(genuine, *lists)
    print("\n    ".join([("FAIL" if said else "ok  ") + " the genuine document, "
                         f"{len(genuine['packages'])} packages"] + said))
    failed = int(bool(said))
    for path, value, expected in ROWS:
        document = copy.deepcopy(genuine)
        try:
            spoil(document, path, value)
            said = faults(document, *lists)
        except (StopIteration, KeyError, IndexError) as error:
            said = [f"cannot be spoilt so: {error!r}"]
        what = "/".join(map(str, path)) + (" removed" if value is None else " spoilt")
        refused = [fault for fault in said if expected in fault]
        print(f"ok   refuses {what}: {refused[0]}" if refused
              else f"FAIL does not refuse {what} with '{expected}': {said}")
        failed += not refused
    print(f"{len(ROWS) + 1 - failed} passed, {failed} failed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
