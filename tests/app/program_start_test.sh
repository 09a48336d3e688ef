#!/usr/bin/env bash
# The real program on a first start in an empty folder: it creates its
# settings file and work folder, and a SIGTERM (the desktop logging out)
# closes it normally, which removes the work folder again.
set -euo pipefail
program=${1:?program}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/bin" "$scratch/tmp"
cp "$program" "$scratch/bin/"
export TMPDIR="$scratch/tmp" QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$scratch/config"
"$scratch/bin/$(basename "$program")" &
pid=$!
ini="$scratch/bin/VexoFile.ini"
work="$scratch/tmp/vexo-$(id -u)/VexoFile"
for _ in $(seq 100); do
  [[ -f "$ini" && -d "$work" ]] && break
  sleep 0.1
done
[[ -f "$ini" ]] || { echo "no settings file"; kill $pid; exit 1; }
[[ -d "$work" ]] || { echo "no work folder"; kill $pid; exit 1; }
kill -TERM $pid
wait $pid || { echo "program failed at exit"; exit 1; }
[[ ! -e "$work" ]] || { echo "work folder left behind"; exit 1; }
grep -qx 'AppName=VexoFileManager' "$ini"
[[ $(grep -c '=' "$ini") -eq 13 ]] || { echo "unexpected entries"; cat "$ini"; exit 1; }
! grep -q AutoVDisk "$ini"
echo "ok"
