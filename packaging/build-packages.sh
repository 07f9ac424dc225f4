#!/usr/bin/env bash
# Builds the two release packages from a built vistrel.exe:
#   OUTDIR/vistrel-VERSION-x64.msi           the Windows Installer package (vistrel.wxs)
#   OUTDIR/vistrel-VERSION-x64-portable.zip  the exe, the HEIF libraries, their licences and
#                                            portable-readme.txt in a vistrel-VERSION folder
# Usage: build-packages.sh VISTREL_EXE ICON VERSION OUTDIR LIBHEIF_DLL LIBDE265_DLL LIBHEIF_COPYING LIBDE265_COPYING
# The two DLLs (LGPL) go beside vistrel.exe, replaceable, with their source packages' COPYING
# files as COPYING.libheif.txt and COPYING.libde265.txt.
# Needs wixl and msibuild (Debian packages wixl, msitools) and zip. Called by the "dist" target.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
exe=$(realpath "$1")
icon=$(realpath "$2")
version=$3
out=$(realpath -m "$4")
msi=$out/vistrel-$version-x64.msi
zipfile=$out/vistrel-$version-x64-portable.zip
libraries=("$(realpath "$5")" "$(realpath "$6")")
licences=("$(realpath "$7")" "$(realpath "$8")")
# Copies the libraries and their licences, under their shipped names, into folder $1.
add_libraries() {
  cp "${libraries[0]}" "$1/libheif.dll"
  cp "${libraries[1]}" "$1/libde265.dll"
  sed 's/$/\r/' "${licences[0]}" > "$1/COPYING.libheif.txt"
  sed 's/$/\r/' "${licences[1]}" > "$1/COPYING.libde265.txt"
}

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$out"

# wixl resolves source files against the current folder and rejects absolute paths.
cp "$exe" "$stage/vistrel.exe"
cp "$icon" "$stage/vistrel.ico"
add_libraries "$stage"
(cd "$stage" && wixl --arch x64 -D Version="$version" -D ExePath=vistrel.exe -D IconPath=vistrel.ico \
  -o package.msi "$here/vistrel.wxs")

# Two things wixl 0.101 cannot say, written into its tables directly:
# - it stores Root="HKMU" as 4, which Windows Installer does not know; HKMU is -1 (HKLM for a
#   per-machine install, HKCU for a per-user one);
# - it has no RemoveFile element: this row deletes vistrel.settings on uninstall, from the folder
#   in SETTINGSFOLDER, which the package sets only when REMOVESETTINGS=1.
msibuild "$stage/package.msi" \
  -q "UPDATE \`Registry\` SET \`Root\` = -1 WHERE \`Root\` = 4" \
  -q "INSERT INTO \`RemoveFile\` (\`FileKey\`, \`Component_\`, \`FileName\`, \`DirProperty\`, \`InstallMode\`)
      VALUES ('SettingsFile', 'ViewerProgram', 'vistrel.settings', 'SETTINGSFOLDER', 2)"
roots=$(msiinfo export "$stage/package.msi" Registry | tail -n +4 | cut -f2 | sort -u | tr '\n' ' ')
if [ "$roots" != "-1 " ]; then
  echo "build-packages: expected every registry value under HKMU (-1), got roots: $roots" >&2
  exit 1
fi
mv "$stage/package.msi" "$msi"

folder=$stage/vistrel-$version
mkdir "$folder"
cp "$exe" "$folder/vistrel.exe"
add_libraries "$folder"
# Windows line ends, so that every editor shows the readme as written.
sed "s/@VERSION@/$version/g; s/\$/\r/" "$here/portable-readme.txt" > "$folder/readme.txt"
rm -f "$zipfile.tmp"
(cd "$stage" && zip -q -X -r "$zipfile.tmp" "vistrel-$version")
mv "$zipfile.tmp" "$zipfile"
echo "packages: $msi"
echo "packages: $zipfile"
