#!/usr/bin/env bash
# Packages the existing build with CPack (no second build), unpacks the
# package into a scratch root and checks it there: where the files are, the
# dependencies, the AppStream metainfo, the manual pages, each tool's --help
# and bash completion, and that lintian finds no errors.
#   package_test.sh BUILD [pack|check|lintian]   one step (pack first), or all
# The package stays in BUILD/package-test for the steps after pack.
set -euo pipefail
build=${1:?build folder}
step=${2:-all}
for tool in cpack dpkg-deb dpkg-shlibdeps file appstreamcli lintian; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/bootstrap installs it)"; exit 77; }
done
completion=/usr/share/bash-completion/bash_completion
[[ -r $completion ]] || { echo "bash-completion is missing (scripts/bootstrap installs it)"; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "package: $*" >&2; exit 1; }

out="$build/package-test"
if [[ $step == pack || $step == all ]]; then
  rm -rf "$out"
  cpack --config "$build/CPackConfig.cmake" -B "$out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; fail "cpack failed"; }
fi
debs=("$out"/vexofilemanager_*.deb)
[[ ${#debs[@]} == 1 && -f ${debs[0]} ]] || fail "no single package in $out"
deb=${debs[0]}

# Warnings are shown, errors fail.
lintian_check() {
  local status=0
  lintian --fail-on error --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1 || status=$?
  grep -v 'root privileges' "$scratch/lintian.log" || true
  ((status == 0)) || fail "lintian reports errors"
}
case $step in
  pack) echo "ok"; exit 0 ;;
  lintian) lintian_check; echo "ok"; exit 0 ;;
  check | all) ;;
  *) fail "unknown step $step" ;;
esac

# Qt's platform plugins are loaded, not linked: dpkg-shlibdeps cannot see them.
depends=$(dpkg-deb -f "$deb" Depends)
for pkg in qt6-qpa-plugins libqt6widgets6 libzstd1 libc6; do
  [[ ", $depends," == *", $pkg "* || ", $depends," == *", $pkg,"* ]] || fail "Depends lacks $pkg: $depends"
done

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
usr="$root/usr"
for f in bin/VexoFileManager bin/vdisk bin/vexo bin/vexo-deviced \
  share/VexoFile/chs.lng share/VexoFile/eng.lng \
  share/applications/vexofilemanager.desktop \
  share/metainfo/org.vexofilemanager.VexoFileManager.metainfo.xml \
  share/icons/hicolor/scalable/apps/vexofilemanager.svg \
  share/icons/hicolor/48x48/apps/vexofilemanager.png \
  share/bash-completion/completions/vexo share/bash-completion/completions/vdisk \
  share/bash-completion/completions/vexo-deviced \
  share/doc/vexofilemanager/copyright share/doc/vexofilemanager/changelog.gz; do
  [[ -s "$usr/$f" ]] || fail "missing /usr/$f"
done
[[ -z "$(find "$root" -name '*test*' -o -name '*bench*' -o -name '*.a')" ]] || fail "test files packaged"
if file "$usr"/bin/* | grep -q 'not stripped'; then fail "unstripped programs"; fi
if ldd "$usr/bin/VexoFileManager" | grep -q 'not found'; then fail "the program misses libraries"; fi

metainfo="$usr/share/metainfo/org.vexofilemanager.VexoFileManager.metainfo.xml"
appstreamcli validate --no-net "$metainfo" >"$scratch/appstream.log" 2>&1 ||
  { cat "$scratch/appstream.log"; fail "AppStream metainfo does not validate"; }

# Each tool's manual page documents its exit status, and each tool answers
# --help from the unpacked package, on stdout, with status 0.
for tool in vexo vdisk vexo-deviced; do
  page="$usr/share/man/man1/$tool.1.gz"
  [[ -s $page ]] || fail "no manual page for $tool"
  zcat "$page" | grep -q '^\.SH EXIT STATUS' || fail "$tool(1) has no EXIT STATUS"
  out=$(env -i PATH="$usr/bin:/usr/bin:/bin" "$tool" --help) || fail "$tool --help failed"
  [[ $out == "usage: $tool "* ]] || fail "$tool --help says: $out"
done
[[ -s "$usr/share/man/man1/VexoFileManager.1.gz" ]] || fail "no manual page for the program"

# Completion from the package: names in an image come from vdisk itself.
image="$scratch/img"
printf 'x' >"$scratch/notes.txt"
"$usr/bin/vdisk" "$image" format --size 4 >/dev/null
"$usr/bin/vdisk" "$image" put "$scratch/notes.txt" >/dev/null
"$usr/bin/vdisk" "$image" put "$scratch/notes.txt" nice.csv >/dev/null
completions=$(PATH="$usr/bin:$PATH" bash -c '
  source "$1"
  for tool in vexo vdisk vexo-deviced; do source "$2/$tool"; done
  ask() { # FUNCTION WORDS...: the candidates for the last word
    local fn=$1; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}; COMPREPLY=()
    "$fn" "$1" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf "%s " "${COMPREPLY[@]}"; echo
  }
  ask _vdisk vdisk "$3" ""
  ask _vdisk vdisk "$3" get n
  ask _vexo vexo --port /dev/ttyS0 ""
  ask _vexo_deviced vexo-deviced --st
' completion "$completion" "$usr/share/bash-completion/completions" "$image")
expected="ls get put rm mv format check 
notes.txt nice.csv 
ls get put rm mv df check-device 
--stdio "
[[ $completions == "$expected" ]] || fail "completion gave:
$completions"

[[ $step == check ]] || lintian_check
echo "ok"
