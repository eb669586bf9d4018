#!/usr/bin/env bash
# Exits 0 when this host's kernel runs i386 programs itself, non-zero when it refuses them (some
# hosts run 64-bit user code only) or hands them to qemu's emulation, under which every Wine
# process takes most of a minute to start. It tries a 93-byte static i386 program that only
# exits, so the answer needs no i386 package.
set -u
[ "$(head -n 1 /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null)" = enabled ] && exit 1
program=$(mktemp)
trap 'rm -f "$program"' EXIT
# ELF header, one loadable segment at 0x08048000, then: mov eax,1; xor ebx,ebx; int 0x80.
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$program"
chmod +x "$program"
"$program" 2>/dev/null
