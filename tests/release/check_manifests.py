#!/usr/bin/python3
"""Checks the package managers' manifests that the zip's build wrote beside it:

    check_manifests.py FOLDER ZIP VERSION RELEASES_URL

FOLDER holds winget/ and quillhaven.json, ZIP is the release zip, VERSION what
its exe's -version says, RELEASES_URL the download address the build was given.
The rules are the fields that winget's manifest schema 1.12.0 and Scoop's app
manifest require, and the forms they accept; each one broken is a manifest
that the package manager refuses or that installs the wrong file.
"""

import hashlib
import json
import os
import re
import sys
import zipfile

import yaml

MANIFEST_VERSION = "1.12.0"
IDENTIFIER = re.compile(r'^[^.\s\\/:*?"<>|\x01-\x1f]{1,32}(\.[^.\s\\/:*?"<>|\x01-\x1f]{1,32}){1,7}$')
LOCALE = re.compile(r"^([a-zA-Z]{2,3}|[iI]-[a-zA-Z]+|[xX]-[a-zA-Z]{1,8})(-[a-zA-Z]{1,8})*$")
URL = re.compile(r"^[Hh][Tt][Tt][Pp][Ss]?://.+$")
SHA256 = re.compile(r"^[A-Fa-f0-9]{64}$")
ARCHITECTURES = {"x86", "x64", "arm", "arm64", "neutral"}

# Every field each winget manifest may hold at its top level (a misspelt one
# makes winget refuse the set), and those it must hold.
COMMON = {"PackageIdentifier", "PackageVersion", "ManifestType", "ManifestVersion"}
WINGET_FIELDS = {
    "version": COMMON | {"DefaultLocale"},
    "defaultLocale": COMMON | {
        "PackageLocale", "Publisher", "PublisherUrl", "PublisherSupportUrl", "PrivacyUrl",
        "Author", "PackageName", "PackageUrl", "License", "LicenseUrl", "Copyright",
        "CopyrightUrl", "ShortDescription", "Description", "Moniker", "Tags", "Agreements",
        "Documentations", "ReleaseNotes", "ReleaseNotesUrl", "PurchaseUrl",
        "InstallationNotes", "Icons"},
    "installer": COMMON | {
        "Channel", "InstallerLocale", "Platform", "MinimumOSVersion", "InstallerType",
        "NestedInstallerType", "NestedInstallerFiles", "Scope", "InstallModes",
        "InstallerSwitches", "InstallerSuccessCodes", "ExpectedReturnCodes", "UpgradeBehavior",
        "Commands", "Protocols", "FileExtensions", "Dependencies", "PackageFamilyName",
        "ProductCode", "Capabilities", "RestrictedCapabilities", "Markets",
        "InstallerAbortsTerminal", "ReleaseDate", "InstallLocationRequired",
        "RequireExplicitUpgrade", "DisplayInstallWarnings", "UnsupportedOSArchitectures",
        "UnsupportedArguments", "AppsAndFeaturesEntries", "ElevationRequirement",
        "InstallationMetadata", "DownloadCommandProhibited", "RepairBehavior",
        "ArchiveBinariesDependOnPath", "Authentication", "Installers"},
}
WINGET_REQUIRED = {
    "version": COMMON | {"DefaultLocale"},
    "defaultLocale": COMMON | {"PackageLocale", "Publisher", "PackageName", "License",
                               "ShortDescription"},
    "installer": COMMON | {"Installers"},
}
# (field, least, most characters) of the texts winget bounds.
LENGTHS = [("Publisher", 2, 256), ("PackageName", 2, 256), ("License", 3, 512),
           ("ShortDescription", 3, 256), ("Description", 3, 10000), ("Moniker", 1, 40),
           ("Author", 2, 256), ("Copyright", 3, 512)]

failures = []


def check(condition, what):
    if condition:
        print(f"ok: {what}")
    else:
        failures.append(what)
        print(f"FAIL: {what}", file=sys.stderr)
    return condition


def check_url(url, what):
    return check(isinstance(url, str) and URL.match(url) and len(url) <= 2048,
                 f"{what} is an http(s) address: {url}")


def load_yaml(path):
    with open(path, encoding="utf-8") as f:
        document = yaml.safe_load(f)
    check(isinstance(document, dict), f"{os.path.basename(path)} is a YAML mapping")
    return document if isinstance(document, dict) else {}


def check_winget(folder, zip_names, zip_url, zip_sha256, version):
    names = sorted(os.listdir(folder))
    version_files = [n for n in names if n.count(".") == 2 and n.endswith(".yaml")]
    if not check(len(version_files) == 1, f"one version manifest among {names}"):
        return
    identifier = version_files[0][: -len(".yaml")]
    check(IDENTIFIER.match(identifier) is not None, f"PackageIdentifier {identifier} is well formed")
    manifest = load_yaml(os.path.join(folder, version_files[0]))
    locale = manifest.get("DefaultLocale", "")
    check(LOCALE.match(str(locale)) is not None, f"DefaultLocale {locale} is a locale")
    files = {"version": version_files[0],
             "defaultLocale": f"{identifier}.locale.{locale}.yaml",
             "installer": f"{identifier}.installer.yaml"}
    check(names == sorted(files.values()), f"the folder holds the three manifests alone: {names}")

    manifests = {}
    for kind, name in files.items():
        if not os.path.exists(os.path.join(folder, name)):
            continue
        m = load_yaml(os.path.join(folder, name))
        manifests[kind] = m
        fields = set(m)
        check(WINGET_REQUIRED[kind] <= fields,
              f"{name} holds {sorted(WINGET_REQUIRED[kind] - fields) or 'every required field'}")
        check(fields <= WINGET_FIELDS[kind],
              f"{name} holds no unknown field: {sorted(fields - WINGET_FIELDS[kind])}")
        check(m.get("ManifestType") == kind, f"{name}: ManifestType {kind}")
        check(m.get("ManifestVersion") == MANIFEST_VERSION, f"{name}: ManifestVersion {MANIFEST_VERSION}")
        check(m.get("PackageIdentifier") == identifier, f"{name}: PackageIdentifier {identifier}")
        # A string: YAML reads an unquoted 1.10 as a number.
        check(m.get("PackageVersion") == version, f"{name}: PackageVersion {version}")

    m = manifests.get("defaultLocale", {})
    check(m.get("PackageLocale") == locale, f"PackageLocale is the default locale {locale}")
    for field, least, most in LENGTHS:
        if field in m:
            text = m[field]
            check(isinstance(text, str) and least <= len(text) <= most,
                  f"{field} is a text of {least} to {most} characters")
    for field in ("PublisherUrl", "PackageUrl", "LicenseUrl", "ReleaseNotesUrl"):
        if field in m:
            check_url(m[field], field)

    m = manifests.get("installer", {})
    installers = m.get("Installers")
    if not check(isinstance(installers, list) and installers, "Installers is a list of one or more"):
        return
    for installer in installers:
        # A field of the installer itself, or of the manifest for all of them.
        def field(name):
            return installer.get(name, m.get(name))
        check(field("Architecture") in ARCHITECTURES, f"Architecture {field('Architecture')}")
        check(field("Architecture") == "x64", "Architecture x64: the exe is 64-bit")
        check(field("InstallerType") == "zip", "InstallerType zip")
        check(field("NestedInstallerType") == "portable", "NestedInstallerType portable")
        nested = field("NestedInstallerFiles")
        if check(isinstance(nested, list) and len(nested) == 1, "one NestedInstallerFiles entry"):
            check(nested[0].get("RelativeFilePath") in zip_names,
                  f"RelativeFilePath {nested[0].get('RelativeFilePath')} is in the zip")
            check(nested[0].get("RelativeFilePath") == "quillhaven.exe", "RelativeFilePath quillhaven.exe")
            check(nested[0].get("PortableCommandAlias") == "quillhaven", "PortableCommandAlias quillhaven")
        check_url(field("InstallerUrl"), "InstallerUrl")
        check(field("InstallerUrl") == zip_url, f"InstallerUrl is the zip's: {zip_url}")
        sha = str(field("InstallerSha256"))
        check(SHA256.match(sha) is not None, "InstallerSha256 is 64 hex digits")
        check(sha.lower() == zip_sha256, "InstallerSha256 is the zip's")


def check_scoop(path, zip_names, zip_url, zip_sha256, version, sums):
    with open(path, encoding="utf-8") as f:
        m = json.load(f)
    check(isinstance(m, dict), "quillhaven.json is a JSON object")
    check(m.get("version") == version, f"version {version}")
    check(isinstance(m.get("description"), str) and m["description"], "a description")
    check_url(m.get("homepage"), "homepage")
    license_ = m.get("license")
    check(isinstance(license_, str) and license_ or isinstance(license_, dict) and "identifier" in license_,
          f"license {license_}")
    check("url" not in m and "hash" not in m, "url and hash only under architecture")
    arch = m.get("architecture", {}).get("64bit", {})
    check(arch.get("url") == zip_url, f"architecture.64bit.url is the zip's: {zip_url}")
    hash_ = str(arch.get("hash", "")).lower().removeprefix("sha256:")
    check(re.fullmatch(r"[0-9a-f]{64}", hash_) is not None, "architecture.64bit.hash is a SHA-256")
    check(hash_ == zip_sha256, "architecture.64bit.hash is the zip's")
    bins = m.get("bin")
    bins = [bins] if isinstance(bins, str) else bins or []
    check(bins and all(b in zip_names for b in bins), f"bin {bins} is in the zip")

    # checkver finds the version in the newest release's SHA256SUMS.
    checkver = m.get("checkver", {})
    check_url(checkver.get("url"), "checkver.url")
    check(str(checkver.get("url")).endswith("/SHA256SUMS"), "checkver reads SHA256SUMS")
    found = re.search(checkver.get("regex", "(?!)"), sums)
    check(found is not None and found.group(1) == version,
          f"checkver.regex finds {version} in SHA256SUMS")

    # autoupdate, with Scoop's variables filled in as for this release, gives
    # this manifest's address and finds the zip's hash in SHA256SUMS.
    update = m.get("autoupdate", {}).get("architecture", {}).get("64bit", {})
    url = str(update.get("url", "")).replace("$version", version)
    check(url == zip_url, "autoupdate.url for this version is the zip's")
    base = zip_url.rsplit("/", 1)[0]
    hash_url = str(update.get("hash", {}).get("url", "")).replace("$baseurl", base)
    check(hash_url == base + "/SHA256SUMS", "autoupdate reads the hash from SHA256SUMS beside the zip")
    pattern = str(update.get("hash", {}).get("regex", "(?!)"))
    pattern = pattern.replace("$sha256", "([a-fA-F0-9]{64})").replace(
        "$basename", re.escape(zip_url.rsplit("/", 1)[1]))
    found = re.search(pattern, sums)
    check(found is not None and found.group(1).lower() == zip_sha256,
          "autoupdate.hash.regex finds the zip's hash in SHA256SUMS")


def main():
    folder, zip_path, version, releases = sys.argv[1:]
    zip_name = os.path.basename(zip_path)
    with open(zip_path, "rb") as f:
        zip_sha256 = hashlib.sha256(f.read()).hexdigest()
    with zipfile.ZipFile(zip_path) as z:
        zip_names = set(z.namelist())
    with open(os.path.join(folder, "SHA256SUMS"), encoding="utf-8") as f:
        sums = f.read()
    check(f"{zip_sha256}  {zip_name}" in sums.splitlines(), "SHA256SUMS holds the zip's hash")
    zip_url = f"{releases}/download/v{version}/{zip_name}"
    check_winget(os.path.join(folder, "winget"), zip_names, zip_url, zip_sha256, version)
    check_scoop(os.path.join(folder, "quillhaven.json"), zip_names, zip_url, zip_sha256, version, sums)
    if failures:
        sys.exit(f"{len(failures)} manifest check(s) failed")


if __name__ == "__main__":
    main()
