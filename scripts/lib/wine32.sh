# shellcheck shell=bash
# Whether 32-bit Wine runs on this machine, found by running it: sourced by
# scripts/test.sh and scripts/bench.sh.
#
# `wine --version` proves nothing: with only 64-bit Wine installed, the
# `wine` command answers through the 64-bit loader, and the 32-bit programs
# fail later ("... is a 32-bit installation, it cannot support 64-bit
# applications"). So the decision runs the 32-bit loader itself, and, when
# that fails, a 32-bit program of a few bytes, to tell a kernel that runs no
# 32-bit program from a broken Wine.
#
# Settings (environment): BRELVIX_WINE32_LOADER, the 32-bit loader
# (/usr/lib/wine/wine, from Debian's wine32).

# Writes a 32-bit x86 Linux program to the file $1: it makes the exit system
# call with status 42 and nothing else, so that only a kernel that runs
# 32-bit programs gives back 42.
write_i386_probe() {
  {
    # ELF header: 32-bit, little-endian, executable, i386, entry 0x08048054,
    # one program header at 52.
    printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\010'
    printf '\64\0\0\0\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0'
    # Program header: the whole file loaded at 0x08048000, readable and
    # executable, 94 bytes.
    printf '\1\0\0\0\0\0\0\0\0\200\4\010\0\200\4\010\136\0\0\0\136\0\0\0\5\0\0\0\0\20\0\0'
    # mov ebx, 42; xor eax, eax; inc eax; int 0x80 (exit).
    printf '\273\52\0\0\0\61\300\100\315\200'
  } >"$1"
  chmod 755 "$1"
}

# Whether this kernel runs a 32-bit program.
kernel_runs_i386() {
  local dir status=0
  dir=$(mktemp -d)
  write_i386_probe "$dir/probe"
  "$dir/probe" 2>/dev/null || status=$?
  rm -rf "$dir"
  [ "$status" -eq 42 ]
}

# Sets wine32_case to one of
#   works      the 32-bit loader answered: the 32-bit programs run here;
#   missing    32-bit Wine is not installed (or could not be installed);
#   no-kernel  it is installed, but this kernel runs no 32-bit program;
#   broken     it is installed and the kernel runs 32-bit programs, but the
#              loader fails;
# and wine32_reason to a few words of why.
wine32_decide() {
  local loader=${BRELVIX_WINE32_LOADER:-/usr/lib/wine/wine} output
  if [ ! -e "$loader" ]; then
    wine32_case=missing
    wine32_reason="no 32-bit loader $loader"
  elif output=$(WINEDEBUG=-all "$loader" --version 2>&1); then
    wine32_case=works
    wine32_reason="its loader answered: ${output##*$'\n'}"
  elif ! kernel_runs_i386; then
    wine32_case=no-kernel
    wine32_reason="$loader: ${output##*$'\n'}"
  else
    wine32_case=broken
    wine32_reason="$loader: ${output##*$'\n'}"
  fi
}

# Which case it was, in a few words, for the one line the caller prints.
wine32_line() {
  case $wine32_case in
    works) echo "32-bit Wine runs here ($wine32_reason)" ;;
    missing) echo "32-bit Wine is not installed ($wine32_reason)" ;;
    no-kernel) echo "32-bit Wine is installed but this kernel runs no 32-bit program ($wine32_reason)" ;;
    broken) echo "32-bit Wine is installed but its loader fails ($wine32_reason)" ;;
  esac
}
