#!/usr/bin/env bash
# The README's two commands on a fresh Debian machine: makes a minimal Debian system with
# debootstrap (git, make, CMake, g++ and sudo, nothing more), clones the commit checked out into
# it, and runs `make demo`, then `make test` there as a user with password-less sudo, the way a
# newcomer would. Fails if either fails. Runs as root, or through password-less sudo.
#
#   tools/test-fresh.sh [DIST]     DIST: trixie (Debian 13, the default) or bookworm (Debian 12)
#
# The system is made in build/fresh/DIST and removed afterwards, also when the run is interrupted;
# a run that cannot remove it fails and says what is still mounted. Its packages come from the
# mirror of Debian's archive that this machine's apt uses. FRESH_BASE=<folder> copies a minimal
# system made earlier by the same debootstrap call instead of making one, to save its minutes when
# trying again; CI makes it anew. Uncommitted changes are not in the clone.
set -euo pipefail

dist=${1:-trixie}
if [[ ! "$dist" =~ ^[a-z]+$ ]]; then
  echo "usage: $0 [trixie|bookworm]" >&2
  exit 2
fi
# Physical paths throughout: findmnt and /proc/*/root report them, and through a symlink nothing
# in the system would be recognised as being in it.
root=$(cd "$(dirname "$0")/.." && pwd -P)
system=$root/build/fresh/$dist
user=newcomer

. "$root/tools/retry.sh"

# The mirror of Debian's own archive for this machine's release (CODENAME), as apt read it in the
# archive's Release file: origin and label Debian, that codename. Never merely the first source
# listed, which may be an LLVM or Docker one, and never a name of ours.
debian_mirror() {  # CODENAME
  apt-cache policy 2>/dev/null | awk -v codename="$1" '
    /^ *-?[0-9]+ [a-z+]+:\/\// { uri = $2; next }
    /^ +release / {
      fields = $0; sub(/^ +release /, "", fields); fields = "," fields ","
      if (!found && uri != "" && index(fields, ",o=Debian,") && index(fields, ",l=Debian,") &&
          index(fields, ",n=" codename ",")) { print uri; found = 1 }
    }
    { uri = "" }'
}

# Everything mounted at or below the system, deepest first.
mounts() {
  findmnt --list --noheadings --output TARGET |
    awk -v top="$system" '$0 == top || index($0, top "/") == 1' | sort -r
}

# Removes the system, never through a mount: the machine's /dev is bound inside. First ends what
# still runs in it (a Wine server outlives its programs), then unmounts, looks again, and deletes
# within the system's own file system only. Each step's failure is checked here, not left to
# errexit, which is off wherever the caller tests the result. When something stays mounted, says
# what in one line and fails, leaving the system as it is.
remove_system() {
  [ -e "$system" ] || return 0
  local signal process found mount left errors
  for signal in TERM KILL; do
    found=""
    for process in /proc/[0-9]*; do
      if [[ $process/root -ef $system ]]; then
        kill "-$signal" "${process#/proc/}" 2>/dev/null || true
        found=1
      fi
    done
    [ -n "$found" ] || break
    sleep 1
  done
  while read -r mount; do
    umount --recursive "$mount" 2>/dev/null || umount --recursive --lazy "$mount" 2>/dev/null ||
      true
  done < <(mounts)
  left=$(mounts)
  if [ -z "$left" ]; then
    errors=$(LC_ALL=C rm -rf --one-file-system "$system" 2>&1) && [ ! -e "$system" ] && return 0
    # What findmnt did not show as below the system, yet is mounted there: rm skips it, or finds
    # it busy.
    left=$(sed -n -e "s/^rm: skipping '\(.*\)', since it's on a different device$/\1/p" \
      -e "s/^rm: cannot remove '\(.*\)': Device or resource busy$/\1/p" <<<"$errors")
    if [ -z "$left" ]; then
      echo "test-fresh: cannot remove $system: $(head -n 1 <<<"$errors")" >&2
      return 1
    fi
  fi
  echo "test-fresh: cannot remove $system, still mounted:" $left >&2
  return 1
}

# The long steps run as a job that the script waits for: a signal then ends the wait at once, where
# it would otherwise wait for the step to finish first.
job=""
in_job() {
  "$@" &
  job=$!
  local status=0
  wait "$job" || status=$?
  job=""
  return $status
}

cleanup() {
  local status=$?
  trap - EXIT INT TERM HUP
  if [ -n "$job" ]; then kill -TERM "$job" 2>/dev/null || true; fi
  if ! remove_system && [ "$status" -eq 0 ]; then status=1; fi
  exit "$status"
}

make_system() {  # MIRROR
  remove_system || return 1
  debootstrap --variant=minbase --include=ca-certificates,git,make,cmake,g++,sudo \
    "$dist" "$system" "$1" >"$system.log" 2>&1 || { tail -5 "$system.log" >&2; return 1; }
}

# A new system: a copy of FRESH_BASE, or debootstrap's.
prepare_system() {
  mkdir -p "$(dirname "$system")"
  if [ -n "${FRESH_BASE:-}" ]; then
    echo "test-fresh: copying the minimal $dist system in $FRESH_BASE"
    cp -a "$FRESH_BASE" "$system"
    return
  fi
  local codename mirror
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  mirror=$(debian_mirror "$codename")
  if [ -z "$mirror" ]; then
    echo "test-fresh: apt knows no mirror of Debian's archive for this machine's release" \
      "(${codename:-no codename in /etc/os-release}); run apt-get update" >&2
    return 1
  fi
  echo "test-fresh: making a minimal $dist system with debootstrap from $mirror"
  retry in_job make_system "$mirror"
}

# The clone shares no file with this repository: a plain local clone hardlinks the object files,
# and handing them to the newcomer would give this repository, and every clone sharing its
# objects, to a user of this machine with the same uid.
clone_into() {  # FOLDER COMMIT
  git clone --quiet --no-local --no-checkout "$root" "$1" &&
    git -C "$1" checkout --quiet --detach "$2"
}

# Makes FOLDER OWNER's (uid:gid), refusing if any file in it has a link elsewhere.
hand_over() {  # FOLDER OWNER
  local shared
  shared=$(find "$1" -type f -links +1 -print -quit) || return 1
  if [ -n "$shared" ]; then
    echo "test-fresh: $shared has another link, maybe outside the fresh system: its owner stays" >&2
    return 1
  fi
  chown -R --no-dereference "$2" "$1"
}

seconds() {
  echo $(($(date +%s) - $1))
}

if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
    exec sudo -n "$0" "$@"
  fi
  echo "test-fresh: making a Debian system needs root, or sudo without a password" >&2
  exit 1
fi

commit=$(git -C "$root" rev-parse HEAD)
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
  echo "note: the fresh system builds commit ${commit:0:12}; the uncommitted changes are not in it"
fi

# A system left by a run that was killed outright goes first, the same careful way: a new one is
# never made on top of one that could not be removed.
remove_system || exit 1

trap cleanup EXIT
trap 'echo "test-fresh: interrupted; removing the fresh system" >&2; exit 130' INT
trap 'echo "test-fresh: stopped; removing the fresh system" >&2; exit 143' TERM HUP

start=$(date +%s)
prepare_system
figures=("$([ -n "${FRESH_BASE:-}" ] && echo copy || echo debootstrap) $(seconds "$start")")
echo "test-fresh: the system is ready after $(seconds "$start") s"

cp /etc/resolv.conf "$system/etc/resolv.conf"
mount -t proc proc "$system/proc"
# Each on its own line: errexit would let a failure before an && pass.
mount --rbind /dev "$system/dev"
mount --make-rslave "$system/dev"
mount --rbind /sys "$system/sys"
mount --make-rslave "$system/sys"

chroot "$system" useradd --create-home --shell /bin/bash "$user"
echo "$user ALL=(ALL) NOPASSWD: ALL" >"$system/etc/sudoers.d/$user"
chmod 440 "$system/etc/sudoers.d/$user"
clone=/home/$user/fraywick
clone_into "$system$clone" "$commit"
hand_over "$system$clone" "$(chroot "$system" id -u "$user"):$(chroot "$system" id -g "$user")"

# As the newcomer, with a login's environment and nothing of this one's.
as_newcomer() {
  chroot "$system" runuser -u "$user" -- env -i HOME="/home/$user" USER="$user" \
    PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 bash -c "cd ~/fraywick && $*"
}

failed=""
for command in "make demo" "make test"; do
  start=$(date +%s)
  echo "test-fresh: $dist: $command"
  if in_job as_newcomer "$command"; then
    echo "test-fresh: $dist: $command passed in $(seconds "$start") s"
  else
    echo "test-fresh: $dist: $command FAILED after $(seconds "$start") s"
    failed="$failed, $command"
  fi
  figures+=("${command#make } $(seconds "$start")")
done
echo "test-fresh: seconds on the fresh $dist system:"
printf '  %-12s %6s\n' ${figures[*]}
if [ -n "$failed" ]; then
  echo "test-fresh: on a fresh $dist system, these failed: ${failed#, }"
  exit 1
fi
echo "test-fresh: on a fresh $dist system, make demo and make test pass (commit ${commit:0:12})"
