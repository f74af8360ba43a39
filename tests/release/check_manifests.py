"""check_manifests.py DIST VERSION: checks the winget and Scoop manifests in DIST against the
release files there, VERSION, setup's exit codes and, when they are set, TESSIVANE_HOMEPAGE and
TESSIVANE_DOWNLOAD_URL. Prints the winget product code, then the Apps & features entry it
promises as FIELD=VALUE lines, for comparing with what setup wrote."""
import hashlib
import json
import os
import pathlib
import re
import sys
import zipfile

import yaml

dist, version = pathlib.Path(sys.argv[1]), sys.argv[2]
setup = dist / f"Tessivane-{version}-x64-setup.exe"
portable = dist / f"Tessivane-{version}-x64.zip"
schema = "1.10.0"


def check(ok, what):
    if not ok:
        sys.exit(f"FAIL: {what}")


def sha256(path):
    return hashlib.sha256(path.read_bytes()).hexdigest()


# The fields winget's schemas require of each file, besides the four every file has.
required = {
    "version": ["DefaultLocale"],
    "installer": ["Installers"],
    "defaultLocale": ["PackageLocale", "Publisher", "PackageName", "License", "ShortDescription"],
}
folder = dist / "winget/manifests/v/Velmora/Tessivane" / version
manifests = {}
for path in sorted(folder.glob("*.yaml")):
    text = path.read_text(encoding="utf-8")
    manifest = yaml.safe_load(text)
    kind = manifest.get("ManifestType")
    check(kind in required and kind not in manifests, f"{path.name}: ManifestType {kind}")
    common = ["PackageIdentifier", "PackageVersion", "ManifestType", "ManifestVersion"]
    for field in common + required[kind]:
        check(manifest.get(field) not in (None, "", []), f"{path.name} lacks {field}")
    # A string, not a number that YAML made of "1.10".
    for field, expected in [("PackageVersion", version), ("ManifestVersion", schema),
                            ("PackageIdentifier", "Velmora.Tessivane")]:
        check(manifest[field] == expected, f"{path.name}: {field} {manifest[field]!r}")
    check(f"winget-manifest.{kind}.{schema}.schema.json" in text.splitlines()[0],
          f"{path.name}: schema line")
    manifests[kind] = manifest
check(sorted(manifests) == sorted(required), f"winget files: {sorted(manifests)}")

installer = manifests["installer"]
check(installer.get("InstallerType") == "nullsoft" and installer.get("Scope") == "user",
      "not a per-user nullsoft installer")
switches = installer.get("InstallerSwitches", {})
check(switches.get("Silent") == "/S" and switches.get("SilentWithProgress") == "/S",
      f"switches {switches}")
check(len(installer["Installers"]) == 1, "one installer expected")
entry = installer["Installers"][0]
url = entry.get("InstallerUrl", "")
check(url.startswith("https://") and url.endswith("/" + setup.name), f"InstallerUrl {url}")
check(entry.get("InstallerSha256", "").lower() == sha256(setup), "InstallerSha256 is not setup's")
apps = installer.get("AppsAndFeaturesEntries", [{}])[0]
check(installer.get("ProductCode") and apps.get("ProductCode") == installer["ProductCode"],
      "ProductCode")
check(apps.get("DisplayVersion") == version, f"DisplayVersion {apps.get('DisplayVersion')!r}")
# Every outcome of setup's own is mapped, and so is the user's cancel; NSIS's 2 means no one thing.
nsi = (pathlib.Path(__file__).resolve().parents[2] / "installer/tessivane.nsi").read_text()
codes = {name: int(code) for name, code in re.findall(r"^!define (EXIT_\w+) (\d+)", nsi, re.M)}
own = set(codes.values())
mapped = {entry["InstallerReturnCode"]: entry["ReturnResponse"]
          for entry in installer.get("ExpectedReturnCodes", [])}
check(set(mapped) == own | {1} and mapped[1] == "cancelledByUser" and min(own) > 2,
      f"ExpectedReturnCodes {mapped}, setup's own codes {sorted(own)}")
# The two that winget acts on: it waits and retries while another install runs, and asks to
# close the application.
check(mapped[codes["EXIT_SETUP_RUNNING"]] == "installInProgress" and
      mapped[codes["EXIT_IN_USE"]] == "packageInUse", f"ExpectedReturnCodes {mapped}")

scoop = json.loads((dist / "scoop/tessivane.json").read_text(encoding="utf-8"))
for field in ["version", "description", "homepage", "license", "architecture", "bin", "shortcuts"]:
    check(scoop.get(field), f"the Scoop manifest lacks {field}")
check(scoop["version"] == version, f"Scoop version {scoop['version']!r}")
scoop_download = scoop["architecture"].get("64bit", {})
scoop_url = scoop_download.get("url", "")
check(scoop_url.endswith("/" + portable.name), f"Scoop url {scoop_url}")
check(scoop_download.get("hash") == sha256(portable), "the Scoop hash is not the zip's")
names = zipfile.ZipFile(portable).namelist()
check(all(bin in names for bin in scoop["bin"]) and all(shortcut[0] in names for shortcut in scoop["shortcuts"]),
      "Scoop's bin or shortcut is not in the zip")
check("tessivane.exe" not in scoop["bin"], "Scoop puts a shim of the tray program on the path")
removal = "\n".join(scoop.get("uninstaller", {}).get("script", []))
check("Remove-ItemProperty" in removal and "Tessivane_x64" in removal,
      "Scoop's uninstaller leaves the program's Run value")

# What was asked for, whatever characters it holds.
homepage, download = os.environ.get("TESSIVANE_HOMEPAGE"), os.environ.get("TESSIVANE_DOWNLOAD_URL")
if homepage:
    check(manifests["defaultLocale"]["PackageUrl"] == homepage == scoop["homepage"],
          f"homepage {manifests['defaultLocale']['PackageUrl']!r}, {scoop['homepage']!r}")
if download:
    check(url == f"{download}/{setup.name}" and scoop_url == f"{download}/{portable.name}",
          f"download addresses {url!r}, {scoop_url!r}")

print(installer["ProductCode"])
for field in ["DisplayName", "Publisher", "DisplayVersion"]:
    print(f"{field}={apps[field]}")
