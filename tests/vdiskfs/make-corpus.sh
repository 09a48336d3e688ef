#!/usr/bin/env bash
# Regenerates the fuzz seed images in corpus/ (committed; run by hand):
#   tests/vdiskfs/make-corpus.sh BUILD_DIR
# Small FAT12 and FAT16 volumes made by mkfs.fat, filled by mtools and by
# our vdisk tool, then cut after their last non-zero byte (the fuzz target
# reads the rest of the declared volume as zeros).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
vdisk="$(cd "${1:?usage: make-corpus.sh BUILD_DIR}" && pwd)/bin/vdisk"
out="$here/corpus"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8

printf 'hello\n' > a.txt
head -c 3000 /dev/zero | tr '\0' 'x' > mid.bin
head -c 9000 /dev/zero | tr '\0' 'y' > big.bin
cp a.txt 'Mixed Case.Txt'
cp a.txt '测试.txt'
cp a.txt 'a_name_longer_than_seventeen.txt'

cut_zeros() { # trims trailing zero bytes
  python3 -c 'import sys; p=sys.argv[1]; b=open(p,"rb").read().rstrip(b"\0"); open(p,"wb").write(b)' "$1"
}

rm -f "$out"/*.img
mkfs.fat -C -r 32 -s 1 -f 1 empty12.img 40 >/dev/null
mkfs.fat -C -r 32 -s 1 names12.img 48 >/dev/null
mcopy -i names12.img a.txt 'Mixed Case.Txt' '测试.txt' a_name_longer_than_seventeen.txt ::
mmd -i names12.img ::sub
mcopy -i names12.img a.txt ::sub/inner.txt
mcopy -i names12.img mid.bin ::gone.bin
mdel -i names12.img ::gone.bin
mkfs.fat -C -r 16 -s 1 chains12.img 48 >/dev/null
"$vdisk" chains12.img put mid.bin big.bin a.txt
"$vdisk" chains12.img rm mid.bin
"$vdisk" chains12.img put big.bin 'Long Name 2.bin'
mkfs.fat -C -F 16 -r 32 -s 1 fat16.img 2200 >/dev/null
"$vdisk" fat16.img put a.txt mid.bin big.bin
"$vdisk" fat16.img mv a.txt '长名字.txt'
for img in *.img; do
  fsck.fat -n "$img" >/dev/null
  cut_zeros "$img"
  cp "$img" "$out/"
done

# A damaged one for the write fuzzer: a.txt's chain runs on into big.bin's
# (cross-linked), and "Long Name 2.bin" runs into a cluster marked free.
python3 - "$out/chains12.img" "$out/damaged12.img" <<'PY'
import struct, sys
b = bytearray(open(sys.argv[1], "rb").read())
bps, _, res, nfats, root, _, _, spf = struct.unpack_from("<HBHBHHBH", b, 11)
b += bytes(max(0, (res + nfats * spf) * bps + root * 32 - len(b)))
def fat(c, value=None):
    at = res * bps + c + c // 2
    pair = b[at] | b[at + 1] << 8
    if value is None:
        return pair >> 4 if c & 1 else pair & 0xFFF
    pair = (pair & 0x000F) | value << 4 if c & 1 else (pair & 0xF000) | value
    for copy in range(nfats):
        struct.pack_into("<H", b, res * bps + copy * spf * bps + c + c // 2, pair)
first = {}
for i in range(root):
    e = (res + nfats * spf) * bps + i * 32
    if b[e] not in (0, 0xE5) and b[e + 11] != 0x0F:
        first[bytes(b[e:e + 11])] = struct.unpack_from("<H", b, e + 26)[0]
big = first[b"BIG     BIN"]
fat(first[b"A       TXT"], fat(fat(big)))
fat(fat(fat(first[b"LONGNA~1BIN"])), 0)
open(sys.argv[2], "wb").write(bytes(b).rstrip(b"\0"))
PY
ls -l "$out"
