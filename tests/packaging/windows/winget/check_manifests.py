#!/usr/bin/python3
"""Checks the winget manifests that scripts/build-windows filled in.

    check_manifests.py <schema> <manifest folder> <msi> <ProductCode>

Each manifest is held against its type's part of the schema
(manifest-1.6.0.json beside this file: the required fields and the patterns
of winget's manifest schema 1.6.0); the four agree on the package and its
version; the file names are the ones winget's repository expects; the
installer manifest names the MSI's own SHA-256 and ProductCode. Then the
same check is run on broken copies, each of which it must refuse: a check
that passes everything would pass these too.
"""
import copy
import hashlib
import pathlib
import sys

import jsonschema
import yaml

KINDS = ("version", "installer", "defaultLocale", "locale")


def problems(schema, manifests, msi_sha256, product_code):
    """What is wrong with the manifests, {file name: YAML data}; [] when nothing."""
    found = []
    by_kind = {}
    for name, data in manifests.items():
        if not isinstance(data, dict):
            found.append(f"{name}: not a mapping of fields")
            continue
        kind = data.get("ManifestType")
        if kind not in KINDS:
            found.append(f"{name}: ManifestType {kind!r} is none of {', '.join(KINDS)}")
            continue
        validator = jsonschema.Draft202012Validator(schema[kind])
        for error in sorted(validator.iter_errors(data), key=lambda e: list(e.absolute_path)):
            where = "/".join(str(part) for part in error.absolute_path) or "(top)"
            found.append(f"{name}: {where}: {error.message}")
        by_kind.setdefault(kind, []).append((name, data))
    for kind in ("version", "installer", "defaultLocale"):
        if len(by_kind.get(kind, [])) != 1:
            found.append(f"there must be one {kind} manifest, not {len(by_kind.get(kind, []))}")
    if found:
        return found

    _, version = by_kind["version"][0]
    identifier, package_version = version["PackageIdentifier"], version["PackageVersion"]
    for name, data in manifests.items():
        for field, wanted in (("PackageIdentifier", identifier), ("PackageVersion", package_version)):
            if data.get(field) != wanted:
                found.append(f"{name}: {field} {data.get(field)!r}, the version manifest says {wanted!r}")
        kind = data["ManifestType"]
        expected = {"version": f"{identifier}.yaml", "installer": f"{identifier}.installer.yaml"}.get(
            kind, f"{identifier}.locale.{data.get('PackageLocale')}.yaml")
        if name != expected:
            found.append(f"{name}: a {kind} manifest of {identifier} is named {expected}")
    _, default_locale = by_kind["defaultLocale"][0]
    if default_locale["PackageLocale"] != version["DefaultLocale"]:
        found.append(f"the default locale manifest is {default_locale['PackageLocale']}, "
                     f"the version manifest names {version['DefaultLocale']}")

    _, installer = by_kind["installer"][0]
    if installer.get("InstallerType") != "msi":
        found.append(f"InstallerType is {installer.get('InstallerType')!r}, not msi")
    scopes = sorted(entry.get("Scope", "") for entry in installer["Installers"])
    if scopes != ["machine", "user"]:
        found.append(f"the installers' scopes are {scopes}, not machine and user")
    for entry in installer["Installers"]:
        if entry["InstallerSha256"].upper() != msi_sha256.upper():
            found.append(f"the {entry.get('Scope')} installer's SHA-256 {entry['InstallerSha256']} "
                         f"is not the MSI's {msi_sha256}")
    codes = [installer.get("ProductCode")] + [e.get("ProductCode") for e in installer.get("AppsAndFeaturesEntries", [])]
    for code in codes:
        if code != product_code:
            found.append(f"ProductCode {code!r} is not the MSI's {product_code}")
    return found


def broken_copies(manifests):
    """(what is broken, the manifests with it) for faults the check must find."""
    def changed(name_part, change):
        broken = copy.deepcopy(manifests)
        name = next(n for n in broken if name_part(n))
        change(broken[name])
        return broken

    installer = lambda n: n.endswith(".installer.yaml")
    version = lambda n: n.count(".") == 2
    zh = lambda n: n.endswith(".locale.zh-CN.yaml")
    en = lambda n: n.endswith(".locale.en-US.yaml")
    first = lambda data: data["Installers"][0]
    renamed = copy.deepcopy(manifests)
    renamed["RDRCONF.yaml"] = renamed.pop(next(n for n in renamed if version(n)))
    return [
        ("a required field missing", changed(en, lambda d: d.pop("License"))),
        ("an identifier of one part", changed(version, lambda d: d.update(PackageIdentifier="RDRCONF"))),
        ("a SHA-256 of 63 digits", changed(installer, lambda d: first(d).update(InstallerSha256="A" * 63))),
        ("another file's SHA-256", changed(installer, lambda d: first(d).update(InstallerSha256="A" * 64))),
        ("a URL without https", changed(installer, lambda d: first(d).update(InstallerUrl="ftp://x/y.msi"))),
        ("an unknown scope", changed(installer, lambda d: first(d).update(Scope="system"))),
        ("a misspelt field", changed(installer, lambda d: d.update(InstallerTyp="msi"))),
        ("a version of a number, not a string", changed(zh, lambda d: d.update(PackageVersion=1.0))),
        ("another ProductCode", changed(installer, lambda d: d.update(ProductCode="{00000000-0000-0000-0000-000000000000}"))),
        ("a bad locale", changed(zh, lambda d: d.update(PackageLocale="zh_CN"))),
        ("a manifest version of two fields", changed(version, lambda d: d.update(ManifestVersion="1.6"))),
        ("a wrong file name", renamed),
    ]


def main():
    if len(sys.argv) != 5:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    schema_path, folder, msi, product_code = sys.argv[1:]
    schema = yaml.safe_load(pathlib.Path(schema_path).read_text(encoding="utf-8"))
    msi_sha256 = hashlib.sha256(pathlib.Path(msi).read_bytes()).hexdigest()
    manifests = {path.name: yaml.safe_load(path.read_text(encoding="utf-8"))
                 for path in sorted(pathlib.Path(folder).glob("*.yaml"))}
    if len(manifests) != 4:
        print(f"winget: {folder} holds {len(manifests)} manifests, not 4", file=sys.stderr)
        return 1
    found = problems(schema, manifests, msi_sha256, product_code)
    for problem in found:
        print(f"winget: {problem}", file=sys.stderr)
    if found:
        return 1
    passed_broken = [what for what, broken in broken_copies(manifests)
                     if not problems(schema, broken, msi_sha256, product_code)]
    for what in passed_broken:
        print(f"winget: the check passed manifests with {what}", file=sys.stderr)
    if passed_broken:
        return 1
    print(f"winget: {', '.join(manifests)} hold to the schema 1.6.0 and name the MSI "
          f"(SHA-256 {msi_sha256.upper()}, ProductCode {product_code}); each of "
          f"{len(broken_copies(manifests))} broken copies is refused")
    return 0


if __name__ == "__main__":
    sys.exit(main())
