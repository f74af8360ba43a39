#!/usr/bin/env bash
# write-manifests.sh VERSION SETUP ZIP OUTDIR: writes what Windows package managers need to offer
# this release, into OUTDIR:
#   winget/manifests/v/Velmora/Tessivane/VERSION/  the winget manifest set, laid out as in the
#       winget-pkgs repository: Velmora.Tessivane.yaml (version), .installer.yaml and
#       .locale.en-US.yaml (default locale), schema 1.10.0
#   scoop/tessivane.json                           a Scoop app manifest for the portable zip
# Where they are downloaded from: TESSIVANE_DOWNLOAD_URL, the web folder that will hold this
# version's setup and zip; the project's page: TESSIVANE_HOMEPAGE. Without them the manifests
# name placeholders under example.com, to be set before they are submitted.
set -euo pipefail
version=$1 setup=$2 zip=$3 out=$4

homepage=${TESSIVANE_HOMEPAGE:-https://example.com/tessivane}
download=${TESSIVANE_DOWNLOAD_URL:-$homepage/releases/$version}
download=${download%/}
if [ -z "${TESSIVANE_DOWNLOAD_URL:-}" ]; then
  echo "package: the winget and Scoop manifests name $download; set TESSIVANE_DOWNLOAD_URL" \
    "and TESSIVANE_HOMEPAGE before submitting them" >&2
fi
id=Velmora.Tessivane
schema=1.10.0
setup_sha=$(sha256sum "$setup" | cut -d' ' -f1)
zip_sha=$(sha256sum "$zip" | cut -d' ' -f1)
summary="Lets several applications play into one MIDI output at once, through virtual MIDI ports."

winget="$out/winget/manifests/v/Velmora/Tessivane/$version"
rm -rf "$winget" && mkdir -p "$winget" "$out/scoop"

cat >"$winget/$id.yaml" <<YAML
# yaml-language-server: \$schema=https://aka.ms/winget-manifest.version.$schema.schema.json

PackageIdentifier: $id
PackageVersion: "$version"
DefaultLocale: en-US
ManifestType: version
ManifestVersion: $schema
YAML

# The exit codes are setup's own (installer/tessivane.nsi, listed in installer/README.txt).
# ProductCode is the name of the uninstall entry setup writes under HKCU.
cat >"$winget/$id.installer.yaml" <<YAML
# yaml-language-server: \$schema=https://aka.ms/winget-manifest.installer.$schema.schema.json

PackageIdentifier: $id
PackageVersion: "$version"
Platform:
  - Windows.Desktop
MinimumOSVersion: 10.0.18362.0
InstallerType: nullsoft
Scope: user
InstallModes:
  - interactive
  - silent
  - silentWithProgress
InstallerSwitches:
  Silent: /S
  SilentWithProgress: /S
  InstallLocation: /D=<INSTALLPATH>
UpgradeBehavior: install
ExpectedReturnCodes:
  - InstallerReturnCode: 2
    ReturnResponse: packageInUse
  - InstallerReturnCode: 3
    ReturnResponse: invalidParameter
  - InstallerReturnCode: 4
    ReturnResponse: downgrade
  - InstallerReturnCode: 5
    ReturnResponse: systemNotSupported
ProductCode: Tessivane
AppsAndFeaturesEntries:
  - DisplayName: Tessivane
    Publisher: Velmora
    DisplayVersion: "$version"
    ProductCode: Tessivane
InstallationMetadata:
  DefaultInstallLocation: '%LOCALAPPDATA%\Programs\Tessivane'
Installers:
  - Architecture: x64
    InstallerUrl: $download/$(basename "$setup")
    InstallerSha256: ${setup_sha^^}
ManifestType: installer
ManifestVersion: $schema
YAML

cat >"$winget/$id.locale.en-US.yaml" <<YAML
# yaml-language-server: \$schema=https://aka.ms/winget-manifest.defaultLocale.$schema.schema.json

PackageIdentifier: $id
PackageVersion: "$version"
PackageLocale: en-US
Publisher: Velmora
PackageName: Tessivane
PackageUrl: $homepage
License: MIT
Copyright: Copyright (c) Velmora
ShortDescription: "$summary"
Description: >-
  Tessivane opens each MIDI output you choose once and offers two virtual MIDI ports for it, so
  that any number of applications can play into the same device; it also offers a loopback pair.
  It waits in the notification area. It needs the teVirtualMIDI driver, installed separately.
Moniker: tessivane
Tags:
  - midi
  - virtual-midi
  - music
ManifestType: defaultLocale
ManifestVersion: $schema
YAML

cat >"$out/scoop/tessivane.json" <<JSON
{
    "version": "$version",
    "description": "$summary",
    "homepage": "$homepage",
    "license": "MIT",
    "notes": "Tessivane needs the teVirtualMIDI driver, installed separately from its vendor.",
    "architecture": {
        "64bit": {
            "url": "$download/$(basename "$zip")",
            "hash": "$zip_sha"
        }
    },
    "bin": "tessivane.exe",
    "shortcuts": [
        [
            "tessivane.exe",
            "Tessivane"
        ]
    ]
}
JSON
