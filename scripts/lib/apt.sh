# shellcheck shell=bash
# Debian package installs that survive a half-synced mirror: sourced by
# scripts/setup.sh and scripts/wine-vm.sh.
#
# A mirror in the middle of a sync serves some index files that do not match
# its Release file ("File has unexpected size ... Mirror sync in progress?").
# `apt-get update` then fails although every other index was fetched, so it is
# retried a few times and, when it still fails, the installs go on with the
# indexes apt has: a package that really cannot be installed fails there.
#
# Settings (environment): BRELVIX_APT_TRIES (3), BRELVIX_APT_PAUSE (seconds
# between tries, 5).

# The line of apt's output that says why it failed: its last error line, or
# its last line when it printed no error line. Reads apt's output on stdin.
apt_reason() {
  awk 'NF { last = $0 } /^E: / { error = $0 } END { print (error != "" ? error : last) }'
}

# Runs `apt-get update` until it succeeds, at most BRELVIX_APT_TRIES times.
# Never fails: when the last try fails, one line on stderr says which index
# failed, and the caller installs from what was fetched. $1 names the caller
# in that line.
apt_update_retried() {
  local who=$1 tries=${BRELVIX_APT_TRIES:-3} pause=${BRELVIX_APT_PAUSE:-5} try output
  for ((try = 1; try <= tries; try++)); do
    if output=$(apt-get update -q 2>&1); then
      return 0
    fi
    ((try < tries)) && sleep "$pause"
  done
  # A failed fetch names the index; apt's closing error line does not.
  local failed
  failed=$(grep -m1 '^E: Failed to fetch' <<<"$output" || true)
  [ -n "$failed" ] || failed=$(apt_reason <<<"$output")
  echo "$who: apt-get update failed $tries times ($failed); installing from the indexes it fetched" >&2
  return 0
}

# Prints, one a line, the packages among the arguments that are not installed.
apt_missing() {
  local package
  for package in "$@"; do
    if ! dpkg-query -W -f='${Status}\n' "$package" 2>/dev/null | grep -q 'install ok installed'; then
      echo "$package"
    fi
  done
}

# Installs the packages given, in one apt-get call (downloads retried by apt
# itself). On failure prints apt's reason on stdout (see apt_reason) and
# returns 1; apt's full output goes to stderr either way.
apt_install() {
  local output status=0
  output=$(DEBIAN_FRONTEND=noninteractive apt-get install -y -q -o Acquire::Retries=3 "$@" 2>&1) ||
    status=$?
  printf '%s\n' "$output" >&2
  if [ "$status" -ne 0 ]; then
    apt_reason <<<"$output"
    return 1
  fi
}
