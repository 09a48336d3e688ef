#!/usr/bin/env bash
# An install into a scratch prefix puts the program, the tools, the language
# files, the menu entry, the icon, the metainfo, the manual pages and the
# completions where desktops, man and bash look for them; the
# installed program, whose folder its user cannot write, keeps its settings
# in the user's config folder and writes nothing beside itself.
set -euo pipefail
build=${1:?build folder}
scratch=$(mktemp -d)
pid=
cleanup() {
  [[ -n "$pid" ]] && kill "$pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "install: $*" >&2; exit 1; }

prefix="$scratch/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/VexoFileManager bin/vdisk bin/vexo bin/vexo-deviced \
  share/VexoFile/chs.lng share/VexoFile/eng.lng \
  share/applications/vexofilemanager.desktop \
  share/icons/hicolor/scalable/apps/vexofilemanager.svg \
  share/icons/hicolor/16x16/apps/vexofilemanager.png \
  share/icons/hicolor/48x48/apps/vexofilemanager.png \
  share/icons/hicolor/256x256/apps/vexofilemanager.png \
  share/metainfo/org.vexofilemanager.VexoFileManager.metainfo.xml \
  share/man/man1/VexoFileManager.1.gz share/man/man1/vexo.1.gz share/man/man1/vdisk.1.gz \
  share/man/man1/vexo-deviced.1.gz share/bash-completion/completions/vexo \
  share/bash-completion/completions/vdisk share/bash-completion/completions/vexo-deviced; do
  [[ -s "$prefix/$f" ]] || fail "missing $f"
done
for t in VexoFileManager vdisk vexo vexo-deviced; do
  [[ -x "$prefix/bin/$t" ]] || fail "$t is not executable"
done
entry="$prefix/share/applications/vexofilemanager.desktop"
grep -qx 'Exec=VexoFileManager' "$entry" || fail "menu entry runs something else"
grep -qx 'Icon=vexofilemanager' "$entry" || fail "menu entry names another icon"
grep -qx 'Type=Application' "$entry" || fail "menu entry is no application"
# Test programs stay in the build folder.
[[ -z "$(find "$prefix/bin" -name '*test*' -o -name '*bench*')" ]] || fail "test programs installed"

# The installed program as an ordinary user (root may write anywhere, so
# root runs it as nobody).
home="$scratch/home"
mkdir -p "$home/.config/VexoFile" "$home/tmp" "$home/docs"
ini="$home/.config/VexoFile/VexoFile.ini"
# The start folder in a roundabout spelling: the program writes back the
# folder it shows, in its plain form.
printf '[Setting]\nAutoRpc=0\nAutoVDisk=0\nPathed=1\nPath=%s\nLastPath=1\n' "$home/./docs/" >"$ini"
runner=()
if ((EUID == 0)); then
  command -v setpriv >/dev/null || { echo "setpriv is needed to run as another user"; exit 77; }
  chown -R 65534:65534 "$home"
  chmod 755 "$scratch"
  runner=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
chmod -R a+rX,go-w "$prefix"
chmod a-w "$prefix/bin"
if ((EUID == 0)) && ! "${runner[@]}" test -x "$prefix/bin/VexoFileManager"; then
  echo "the scratch folder $scratch is out of reach of other users"
  exit 77
fi
"${runner[@]}" env -i PATH=/usr/bin:/bin HOME="$home" TMPDIR="$home/tmp" QT_QPA_PLATFORM=offscreen \
  "$prefix/bin/VexoFileManager" &
pid=$!
work="$home/tmp/vexo-$( ((EUID == 0)) && echo 65534 || id -u)/VexoFile"
for _ in $(seq 100); do
  [[ -d "$work" ]] && break
  sleep 0.1
done
[[ -d "$work" ]] || fail "the program did not start"
kill -TERM "$pid"
wait "$pid" || fail "the program failed at exit"
pid=
# The last folder went back into the user's settings file, and nothing was
# written beside the program.
grep -qx "Path=$home/docs" "$ini" || { cat "$ini"; fail "settings not kept in $ini"; }
[[ ! -e "$prefix/bin/VexoFile.ini" ]] || fail "settings written beside the installed program"
echo "ok"
