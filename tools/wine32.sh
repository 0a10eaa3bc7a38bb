#!/bin/sh
# Whether this host can start Wine's 32-bit loader, asked in one place:
#   wine32.sh            prints "yes" (exit 0) or "no" (exit 1)
#   wine32.sh --loader   prints the Wine loader to start programs with
#                        here: `wine`, or the 64-bit loader where the
#                        32-bit one cannot run (64-bit programs only)
# Some machines' kernels cannot run 32-bit programs at all; starting the
# loader there fails (ENOEXEC, or the process dies at once), which counts
# as "no" like a missing loader does. WENDREL_WINE32=yes|no answers
# without asking the kernel: the test command sets it once for its run,
# and `WENDREL_WINE32=no` tries a host that cannot on one that can.
loader32=/usr/lib/wine/wine
loader64=/usr/lib/wine/wine64

case ${WENDREL_WINE32:-} in
  yes) can=yes ;;
  no) can=no ;;
  *)
    can=no
    if [ -x "$loader32" ] && "$loader32" --version >/dev/null 2>&1; then
      can=yes
    fi ;;
esac

if [ "${1:-}" = --loader ]; then
  if [ "$can" = no ] && [ -x "$loader64" ]; then
    echo "$loader64"
  else
    echo wine
  fi
  exit 0
fi
echo "$can"
[ "$can" = yes ]
