#!/bin/sh
# The main job: installs what is missing, builds the stub, packs a sample product into
# an installer and runs it unattended under Wine, then shows what was installed.
set -eu
cd "$(dirname "$0")"
tools/install-deps.sh --no-i386-root
for preset in win32 win64 host; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
done
work=build/sample
rm -rf "$work"
mkdir -p "$work"
tools/make-sample.sh "$work/product"
pack() {
    build/host/tools/vopa-pack --stub "$1" --files "$work/product" --out "$2" \
        --title "Vopa 1.00 セットアップ" --program-files --folder Vopa --program Vopa.exe
}
pack build/win32/app/vopa-stub.exe "$work/vopa-setup.exe"       # the release (PE32)
pack build/win64/app/vopa-stub.exe "$work/vopa-setup-x64.exe"   # the one Wine runs here
echo "== the release installer"
build/host/tools/vopa-pack --test "$work/vopa-setup.exe"
echo "== running the installer unattended under Wine: -m -d -t lzh zip"
status=0
VOPA_WINE_PREFIX="$PWD/$work/wine" tests/wine/run-in-wine.sh "$work/vopa-setup-x64.exe" -m -d -t lzh zip || status=$?
echo "exit status: $status"
echo "== installed files"
(cd "$work/wine/drive_c/Program Files/Vopa" && find . -type f -exec ls -l --time-style=+%F.%T {} + | awk '{print $5, $6, $7}')
echo "== shortcuts"
find "$work/wine/drive_c" -name 'Vopa.lnk' | sed "s|$work/wine/drive_c/||"
echo "== registry"
for key in 'HKLM\SoftWare\Microsoft\Windows\CurrentVersion\Uninstall\Vopa' 'HKCR\.lzh' 'HKCR\.zip' \
           'HKCR\VopaArchive\Shell\Open\command' 'HKCR\CLSID\{8E4B2D17-93A6-4F5C-B1E0-6C2A9D47F3B5}'; do
    WINEPREFIX="$PWD/$work/wine" WINEDEBUG=-all wine reg query "$key" 2>/dev/null | tr -d '\r' | sed '/^$/d'
done
exit $status
