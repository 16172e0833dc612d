#!/usr/bin/env python3
"""Holds the Windows release's bill of materials to what scanners and readers need: valid
SPDX 2.3 (spdx/spdx-schema.json), licence expressions of the SPDX licence list, and on every
package the minimum elements: a supplier, a name, a version, a purl or a CPE naming it alone,
where it comes from, and a relationship that reaches it from the program. Then each row
spoils the document once, and the check must refuse it, saying why.
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
PURL = re.compile(r"^pkg:[a-z.+-]+(/[^/@?#\s]+)+(@[^?#\s]+)?(\?[^#\s]+)?(#\S+)?$")
CPE = re.compile(r"^cpe:2\.3:[aho*-](:([^:\s\\]|\\.)+){10}$")
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
    errors = sorted(validator.iter_errors(document), key=lambda e: list(e.absolute_path))
    if errors:
        return [f"not SPDX 2.3: {e.message[:160]} at {'/'.join(map(str, e.absolute_path))}"
                for e in errors]
    defined = {info["licenseId"] for info in document.get("hasExtractedLicensingInfos", [])}
    edges = {}
    for r in document.get("relationships", []):
        edges.setdefault(r["spdxElementId"], []).append(r["relatedSpdxElement"])
    reached, todo = set(), list(edges.get("SPDXRef-DOCUMENT", []))
    while todo:
        if todo[-1] in reached:
            todo.pop()
            continue
        reached.add(todo[-1])
        todo += edges.get(todo.pop(), [])
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
            if kind == "purl" and not PURL.match(locator):
                found.append(f"{name}: {locator} is no purl")
            if kind == "cpe23Type" and not CPE.match(locator):
                found.append(f"{name}: {locator} is no CPE 2.3 name")
            if locator in named:
                found.append(f"{name}: {locator} also names {named[locator]}")
            named.setdefault(locator, name)
    return found


def package(document, spdx_id):
    return next(p for p in document["packages"] if p["SPDXID"] == spdx_id)


QT, GCC = "SPDXRef-Package-qtbase", "SPDXRef-Package-gcc-runtime"
FREETYPE = "SPDXRef-Package-qtbase-freetype"
# What is spoilt, how, and what the refusal must say.
ROWS = [
    ("a package without identifiers", lambda d: package(d, FREETYPE).pop("externalRefs"),
     "neither a purl nor a CPE"),
    ("a licence not on the list",
     lambda d: package(d, QT).update(licenseConcluded="MIT AND Burger-1.0"),
     "Burger-1.0 is not on the SPDX licence list"),
    ("an exception not on the list",
     lambda d: package(d, GCC).update(licenseConcluded="GPL-3.0-or-later WITH Fries-exception"),
     "Fries-exception is no SPDX licence exception"),
    ("a licence text not given",
     lambda d: package(d, QT).update(licenseDeclared="LicenseRef-Secret"),
     "LicenseRef-Secret is not in hasExtractedLicensingInfos"),
    ("an expression cut short",
     lambda d: package(d, FREETYPE).update(licenseConcluded="MIT AND"),
     "'MIT AND' is no licence expression"),
    ("a missing supplier", lambda d: package(d, QT).pop("supplier"), "no supplier"),
    ("a supplier without its kind", lambda d: package(d, GCC).update(supplier="Debian"),
     "no supplier"),
    ("a missing version", lambda d: package(d, FREETYPE).pop("versionInfo"), "no versionInfo"),
    ("a schema violation: no downloadLocation", lambda d: package(d, QT).pop("downloadLocation"),
     "'downloadLocation' is a required property"),
    ("a schema violation: an unknown relationship",
     lambda d: d["relationships"][0].update(relationshipType="EATS"),
     "not SPDX 2.3: 'EATS' is not one of"),
    ("a library listed twice",
     lambda d: d["packages"].append(dict(package(d, FREETYPE), SPDXID=FREETYPE + "-again")),
     "also names Freetype"),
    ("a part nothing contains",
     lambda d: d["relationships"].remove(next(r for r in d["relationships"]
                                              if r["relatedSpdxElement"] == FREETYPE)),
     "no relationship reaches it"),
    ("a purl without its type",
     lambda d: package(d, QT)["externalRefs"][0].update(referenceLocator="pkg:qt6-base@6.8.2"),
     "is no purl"),
    ("a CPE cut short",
     lambda d: package(d, QT)["externalRefs"][-1].update(referenceLocator="cpe:2.3:a:qt:qt:6.8.2"),
     "is no CPE 2.3 name"),
]


def main():
    with open(sys.argv[1], encoding="utf-8") as f:
        genuine = json.load(f)
    with open(SCHEMA, encoding="utf-8") as f:
        schema = json.load(f)
    validator = jsonschema.validators.validator_for(schema)(schema)
    with open(LISTS + "spdx-license-ids/index.json", encoding="utf-8") as f:
        licences = set(json.load(f)) | NEWER
    with open(LISTS + "spdx-exceptions/index.json", encoding="utf-8") as f:
        exceptions = set(json.load(f))
    passed = failed = 0
    said = faults(genuine, validator, licences, exceptions)
    if said:
        failed += 1
        print("FAIL the genuine document is refused:\n    " + "\n    ".join(said))
    else:
        passed += 1
        print(f"ok   the genuine document: SPDX 2.3, {len(genuine['packages'])} packages, each "
              "with its supplier, version and purl or CPE, licences of the SPDX list")
    for what, spoil, expected in ROWS:
        document = copy.deepcopy(genuine)
        try:
            spoil(document)
        except (StopIteration, KeyError, IndexError) as error:
            said = [f"cannot be spoilt so: {error!r}"]
        else:
            said = faults(document, validator, licences, exceptions)
        if any(expected in fault for fault in said):
            passed += 1
            print(f"ok   refuses {what}: {next(f for f in said if expected in f)}")
        else:
            failed += 1
            print(f"FAIL does not refuse {what} with '{expected}': {said}")
    print(f"{passed} passed, {failed} failed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
