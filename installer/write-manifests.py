"""write-manifests.py VERSION SETUP ZIP OUTDIR: writes what Windows package managers need to offer
this release, into OUTDIR:
  winget/manifests/v/Velmora/Tessivane/VERSION/  the winget manifest set, laid out as in the
      winget-pkgs repository: Velmora.Tessivane.yaml (version), .installer.yaml and
      .locale.en-US.yaml (default locale), schema 1.10.0
  scoop/tessivane.json                           a Scoop app manifest for the portable zip
Where they are downloaded from: TESSIVANE_DOWNLOAD_URL, the web folder that will hold this
version's setup and zip; the project's page: TESSIVANE_HOMEPAGE. Without them the manifests
name placeholders under example.com, to be set before they are submitted.
Refuses (exit code 1) a setup that carries no Authenticode signature, unless TESSIVANE_UNSIGNED=1
says that it is meant: package managers would hand it to users as it is.
Written by the YAML and JSON libraries, so any text in those variables stays text."""
import hashlib
import json
import os
import pathlib
import shutil
import struct
import sys

import yaml

version, setup, portable, out = sys.argv[1], pathlib.Path(sys.argv[2]), pathlib.Path(sys.argv[3]), \
    pathlib.Path(sys.argv[4])


def signed(path):
    """Whether a PE file has a certificate table (its data directory entry 4), where Authenticode
    puts the signature."""
    data = path.read_bytes()
    header = struct.unpack_from("<I", data, 0x3C)[0]
    optional = header + 24
    directories = optional + (112 if struct.unpack_from("<H", data, optional)[0] == 0x20B else 96)
    address, size = struct.unpack_from("<II", data, directories + 4 * 8)
    return data[header:header + 4] == b"PE\0\0" and address > 0 and size > 0


if not signed(setup) and os.environ.get("TESSIVANE_UNSIGNED") != "1":
    sys.exit(f"package: {setup.name} is not signed; set TESSIVANE_UNSIGNED=1 if that is meant")

homepage = os.environ.get("TESSIVANE_HOMEPAGE") or "https://example.com/tessivane"
download = (os.environ.get("TESSIVANE_DOWNLOAD_URL") or f"{homepage}/releases/{version}").rstrip("/")
if not os.environ.get("TESSIVANE_DOWNLOAD_URL"):
    print(f"package: the winget and Scoop manifests name {download}; set TESSIVANE_DOWNLOAD_URL "
          "and TESSIVANE_HOMEPAGE before submitting them", file=sys.stderr)
identifier = "Velmora.Tessivane"
schema = "1.10.0"
summary = "Lets several applications play into one MIDI output at once, through virtual MIDI ports."
# The uninstall entry setup writes under HKCU, and where it installs by default.
product_code = "Tessivane"
run_value = "Tessivane_x64"

# Setup's own exit codes (installer/tessivane.nsi, listed in installer/README.txt); 1 is NSIS's
# cancel. NSIS's 2 (aborted, also its stub's own failures) stays unmapped: it means no one thing.
# 8 (run as another account) has no response of its own in winget: "custom" shows the code.
return_codes = [
    (1, "cancelledByUser"),
    (3, "invalidParameter"),
    (4, "downgrade"),
    (5, "systemNotSupported"),
    (6, "packageInUse"),
    (7, "alreadyInstalled"),
    (8, "custom"),
    (9, "installInProgress"),
]


def sha256(path):
    return hashlib.sha256(path.read_bytes()).hexdigest()


def write_yaml(path, kind, manifest):
    # winget's tools read the schema from this first comment.
    header = f"# yaml-language-server: $schema=https://aka.ms/winget-manifest.{kind}.{schema}.schema.json\n\n"
    body = yaml.safe_dump(manifest, sort_keys=False, allow_unicode=True, width=100)
    path.write_text(header + body, encoding="utf-8")


common = {"PackageIdentifier": identifier, "PackageVersion": version}
winget = out / "winget/manifests/v/Velmora/Tessivane" / version
shutil.rmtree(winget, ignore_errors=True)
winget.mkdir(parents=True)
(out / "scoop").mkdir(parents=True, exist_ok=True)

write_yaml(winget / f"{identifier}.yaml", "version", {
    **common,
    "DefaultLocale": "en-US",
    "ManifestType": "version",
    "ManifestVersion": schema,
})

write_yaml(winget / f"{identifier}.installer.yaml", "installer", {
    **common,
    "Platform": ["Windows.Desktop"],
    "MinimumOSVersion": "10.0.18362.0",
    "InstallerType": "nullsoft",
    "Scope": "user",
    "InstallModes": ["interactive", "silent", "silentWithProgress"],
    "InstallerSwitches": {"Silent": "/S", "SilentWithProgress": "/S",
                          "InstallLocation": "/D=<INSTALLPATH>"},
    "UpgradeBehavior": "install",
    "ExpectedReturnCodes": [{"InstallerReturnCode": code, "ReturnResponse": response}
                            for code, response in return_codes],
    "ProductCode": product_code,
    "AppsAndFeaturesEntries": [{"DisplayName": "Tessivane", "Publisher": "Velmora",
                                "DisplayVersion": version, "ProductCode": product_code}],
    "InstallationMetadata": {"DefaultInstallLocation": r"%LOCALAPPDATA%\Programs\Tessivane"},
    "Installers": [{"Architecture": "x64", "InstallerUrl": f"{download}/{setup.name}",
                    "InstallerSha256": sha256(setup).upper()}],
    "ManifestType": "installer",
    "ManifestVersion": schema,
})

write_yaml(winget / f"{identifier}.locale.en-US.yaml", "defaultLocale", {
    **common,
    "PackageLocale": "en-US",
    "Publisher": "Velmora",
    "PackageName": "Tessivane",
    "PackageUrl": homepage,
    "License": "MIT",
    "Copyright": "Copyright (c) Velmora",
    "ShortDescription": summary,
    "Description": "Tessivane opens each MIDI output you choose once and offers two virtual MIDI "
                   "ports for it, so that any number of applications can play into the same device; "
                   "it also offers a loopback pair. It waits in the notification area. It needs the "
                   "teVirtualMIDI driver, installed separately.",
    "Moniker": "tessivane",
    "Tags": ["midi", "virtual-midi", "music"],
    "ManifestType": "defaultLocale",
    "ManifestVersion": schema,
})

# Scoop keeps each version in apps\tessivane\<version> and starts it through apps\tessivane\current;
# the program's "Launch on startup" names whichever it runs from. Uninstalling removes that Run
# value, and only one pointing into the app's folder: another copy's stays. (Scoop runs this on
# "update" too, where $cmd says so and the value, through current, stays good.)
uninstall_script = [
    "$run = 'HKCU:\\Software\\Microsoft\\Windows\\CurrentVersion\\Run'",
    f"$value = (Get-ItemProperty -Path $run -Name '{run_value}' -ErrorAction SilentlyContinue).'{run_value}'",
    "$app = Split-Path -Parent $dir",
    "if ($cmd -ne 'update' -and $value -and "
    "$value.StartsWith(\"$app\\\", [StringComparison]::OrdinalIgnoreCase)) {",
    f"    Remove-ItemProperty -Path $run -Name '{run_value}'",
    "}",
]

scoop = {
    "version": version,
    "description": summary,
    "homepage": homepage,
    "license": "MIT",
    "notes": "Tessivane needs the teVirtualMIDI driver, installed separately from its vendor.",
    "architecture": {"64bit": {"url": f"{download}/{portable.name}", "hash": sha256(portable)}},
    # The diagnostics tool on the path, for its command line; not the tray program, which needs
    # only its shortcut (a shim would start it from a console and wait for it).
    "bin": ["tessivane-check.exe"],
    "shortcuts": [["tessivane.exe", "Tessivane"], ["tessivane-check.exe", "Tessivane diagnostics"]],
    "uninstaller": {"script": uninstall_script},
}
(out / "scoop/tessivane.json").write_text(json.dumps(scoop, indent=4, ensure_ascii=False) + "\n",
                                          encoding="utf-8")
