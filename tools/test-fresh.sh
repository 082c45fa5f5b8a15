#!/usr/bin/env bash
# The README's two commands on a fresh Debian machine: makes a minimal Debian system with
# debootstrap (git, make, CMake, g++ and sudo, nothing more), clones the commit checked out into
# it, and runs `make demo`, then `make test` there as a user with password-less sudo, the way a
# newcomer would. Fails if either fails. Runs as root, or through password-less sudo.
#
#   tools/test-fresh.sh [DIST]     DIST: trixie (Debian 13, the default) or bookworm (Debian 12)
#
# The system is made in build/fresh/DIST and removed afterwards, also when the run is interrupted.
# Its packages come from the mirror this machine's apt uses. FRESH_BASE=<folder> copies a minimal
# system made earlier by the same debootstrap call instead of making one, to save its minutes when
# trying again; CI makes it anew. Uncommitted changes are not in the clone.
set -euo pipefail

dist=${1:-trixie}
root=$(cd "$(dirname "$0")/.." && pwd)
if [[ ! "$dist" =~ ^[a-z]+$ ]]; then
  echo "usage: $0 [trixie|bookworm]" >&2
  exit 2
fi
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
system=$root/build/fresh/$dist
user=newcomer

# The mirror this machine's apt uses: the first one named in its sources, never a name of ours.
mirror() {
  local sources
  sources=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null || true)
  sed -n 's/^URIs: *\([^ ]*\).*/\1/p' <<<"$sources" | grep -v security | head -n 1 && return
  cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    sed -n 's/^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*\) .*/\2/p' | grep -v security | head -n 1
}

# Everything below $system that is mounted, deepest first.
mounts() {
  findmnt --list --noheadings --output TARGET | grep -F "$system/" | sort -r || true
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

# Never delete through a mount: the machine's /dev is bound inside the system. First end what
# still runs in it (a Wine server outlives its programs), then unmount, look again, and delete
# within the system's own file system only.
cleanup() {
  local status=$?
  trap - EXIT INT TERM HUP
  if [ -n "$job" ]; then kill -TERM "$job" 2>/dev/null || true; fi
  if [ -d "$system" ]; then
    local process
    for signal in TERM KILL; do
      for process in /proc/[0-9]*; do
        if [ "$(readlink "$process/root" 2>/dev/null)" = "$system" ]; then
          kill "-$signal" "${process#/proc/}" 2>/dev/null || true
        fi
      done
      sleep 1
    done
    local mount
    while read -r mount; do
      umount --recursive "$mount" 2>/dev/null || umount --recursive --lazy "$mount" 2>/dev/null ||
        true
    done < <(mounts)
    if [ -n "$(mounts)" ]; then
      echo "test-fresh: still mounted below $system, so it is left as it is:" $(mounts) >&2
      exit 1
    fi
    rm -rf --one-file-system "$system"
  fi
  exit $status
}
trap cleanup EXIT
trap 'echo "test-fresh: interrupted; removing the fresh system" >&2; exit 130' INT
trap 'echo "test-fresh: stopped; removing the fresh system" >&2; exit 143' TERM HUP

. "$root/tools/retry.sh"

seconds() {
  echo $(($(date +%s) - $1))
}

# A system left by a run that was killed outright goes first, the same careful way.
if [ -d "$system" ]; then
  (trap - EXIT; cleanup) || exit 1
  trap cleanup EXIT
fi
mkdir -p "$(dirname "$system")"

start=$(date +%s)
if [ -n "${FRESH_BASE:-}" ]; then
  echo "test-fresh: copying the minimal $dist system in $FRESH_BASE"
  cp -a "$FRESH_BASE" "$system"
else
  source=$(mirror)
  [ -n "$source" ] || { echo "test-fresh: this machine's apt names no mirror" >&2; exit 1; }
  echo "test-fresh: making a minimal $dist system with debootstrap"
  make_system() {
    rm -rf --one-file-system "$system"
    debootstrap --variant=minbase --include=ca-certificates,git,make,cmake,g++,sudo \
      "$dist" "$system" "$source" >"$system.log" 2>&1 || { tail -5 "$system.log" >&2; return 1; }
  }
  retry in_job make_system
fi
echo "test-fresh: the system is ready after $(seconds "$start") s"

cp /etc/resolv.conf "$system/etc/resolv.conf"
mount -t proc proc "$system/proc"
mount --rbind /dev "$system/dev" && mount --make-rslave "$system/dev"
mount --rbind /sys "$system/sys" && mount --make-rslave "$system/sys"

chroot "$system" useradd --create-home --shell /bin/bash "$user"
echo "$user ALL=(ALL) NOPASSWD: ALL" >"$system/etc/sudoers.d/$user"
chmod 440 "$system/etc/sudoers.d/$user"
clone=/home/$user/fraywick
git clone --quiet --no-checkout "$root" "$system$clone"
git -C "$system$clone" checkout --quiet --detach "$commit"
chroot "$system" chown -R "$user:$user" "$clone"

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
done
if [ -n "$failed" ]; then
  echo "test-fresh: on a fresh $dist system, these failed: ${failed#, }"
  exit 1
fi
echo "test-fresh: on a fresh $dist system, make demo and make test pass (commit ${commit:0:12})"
