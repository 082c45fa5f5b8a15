#!/usr/bin/env bash
# tools/test-fresh.sh, the whole script, run from a path with a symlink in it on a stand-in
# repository, with stand-ins for the programs that would make and enter a real system (debootstrap,
# chroot, apt-cache) and tmpfs in place of the machine's /proc, /dev and /sys (a removal that
# deletes through a mount then harms nothing). Each row asks whether a removal fails (umount fails,
# or findmnt misses a mount, as it did for a path that was not physical) and whether a system is
# left from a killed run. Wanted: a run passes when every removal works, and then the stand-in
# repository keeps every owner while the clone is the newcomer's, the mirror is Debian's archive of
# this machine's release, nothing stays mounted; a removal that fails fails the run with one line
# naming what is still mounted, and a leftover that cannot be removed stops the run before a new
# system is made. Needs root and a mount namespace of its own (unshare -m): skipped without.
set -uo pipefail

if [ "${1:-}" != --in-namespace ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "fresh_system_test: skipped: needs root (owners, mounts)"
    exit 77
  fi
  if ! unshare --mount --propagation private true 2>/dev/null; then
    echo "fresh_system_test: skipped: no mount namespace of its own (unshare -m)"
    exit 77
  fi
  # What it mounts is seen nowhere else, and goes with the namespace.
  exec unshare --mount --propagation private -- "$0" --in-namespace
fi

here=$(cd "$(dirname "$0")/../.." && pwd -P)
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
if [ -z "$codename" ]; then
  echo "fresh_system_test: skipped: /etc/os-release names no release codename"
  exit 77
fi
work=$(mktemp -d)
real_mount=$(command -v mount)
real_umount=$(command -v umount)
real_findmnt=$(command -v findmnt)

# Everything mounted below the work folder, deepest first, by the real findmnt.
mounted() {
  "$real_findmnt" --list --noheadings --output TARGET | awk -v w="$work/" 'index($0, w) == 1' |
    sort -r
}
unmount_all() {
  local target
  for target in $(mounted); do "$real_umount" --recursive "$target" 2>/dev/null; done
}
trap 'unmount_all; rm -rf --one-file-system "$work"' EXIT

# The stand-in repository, reached through a symlink, as from /tmp/link -> /work/checkout.
repo=$work/real
mkdir -p "$repo/tools"
cp "$here/tools/test-fresh.sh" "$here/tools/retry.sh" "$repo/tools/"
git -C "$repo" init --quiet
git -C "$repo" add tools
git -C "$repo" -c user.name=test -c user.email=test@invalid commit --quiet -m "stand-in"
ln -s real "$work/link"
script=$work/link/tools/test-fresh.sh
system=$repo/build/fresh/trixie

bin=$work/bin
mkdir -p "$bin"
stand_in() {  # NAME, script on stdin
  { echo '#!/bin/sh'; cat; } >"$bin/$1"
  chmod +x "$bin/$1"
}
# Third-party sources first, one of them for this very codename; Debian's archive last.
stand_in apt-cache <<EOF
cat <<'POLICY'
Package files:
 100 /var/lib/dpkg/status
     release a=now
 500 http://llvm.mirror.invalid/$codename llvm-toolchain-$codename-16/main amd64 Packages
     release n=llvm-toolchain-$codename-16,c=main,b=amd64
 500 https://docker.mirror.invalid/linux/debian $codename/stable amd64 Packages
     release o=Docker,a=$codename,n=$codename,l=Docker CE,c=stable,b=amd64
 500 http://debian.mirror.invalid/debian-security $codename-security/main amd64 Packages
     release v=1,o=Debian,a=stable-security,n=$codename-security,l=Debian-Security,c=main,b=amd64
 500 http://debian.mirror.invalid/debian $codename/main amd64 Packages
     release v=1.2,o=Debian,a=stable,n=$codename,l=Debian,c=main,b=amd64
Pinned packages:
POLICY
EOF
stand_in debootstrap <<EOF
shift \$((\$# - 3))
echo "\$3" >"$work/mirror"
mkdir -p "\$2/etc/sudoers.d" "\$2/proc" "\$2/dev" "\$2/sys"
EOF
# The system has no programs: answers what the script asks of it, and notes whether the clone is
# the newcomer's when the newcomer runs make.
stand_in chroot <<EOF
system=\$1
shift
case \$1 in
  useradd) mkdir -p "\$system/home/newcomer" ;;
  id) echo 4242 ;;
  runuser) find "\$system/home/newcomer/fraywick" ! -uid 4242 | head -n 1 >>"$work/not-handed-over"
           echo "\$*" >>"$work/made" ;;
esac
EOF
stand_in mount <<EOF
for target; do :; done
case " \$* " in *" --make-rslave "*) exit 0 ;; esac
exec $real_mount -t tmpfs stand-in "\$target"
EOF
stand_in umount <<EOF
[ -z "\${FAIL_UMOUNT:-}" ] || exit 32
exec $real_umount "\$@"
EOF
stand_in findmnt <<EOF
[ -z "\${BLIND_FINDMNT:-}" ] || exit 0
exec $real_findmnt "\$@"
EOF

failures=0
passed=0
fail() {
  echo "FAILED: $row: $*"
  failures=$((failures + 1))
}

# left from a killed run | FAIL_UMOUNT | BLIND_FINDMNT | wanted status
while IFS='|' read -r leftover fail_umount blind_findmnt wanted; do
  row="leftover=$leftover umount-fails=${fail_umount:-no} findmnt-blind=${blind_findmnt:-no}"
  before=$failures
  rm -f "$work/mirror" "$work/made" "$work/not-handed-over"
  if [ "$leftover" = yes ]; then
    mkdir -p "$system/proc"
    "$real_mount" -t tmpfs leftover "$system/proc"
    touch "$system/proc/the-machines-own"
  fi
  PATH="$bin:$PATH" FAIL_UMOUNT=$fail_umount BLIND_FINDMNT=$blind_findmnt \
    "$script" trixie >"$work/out" 2>"$work/err"
  status=$?
  if [ "$wanted" = pass ]; then
    [ $status -eq 0 ] || fail "status $status, wanted 0: $(cat "$work/err")"
    [ ! -e "$system" ] || fail "the system is still there"
    [ "$(cat "$work/mirror" 2>/dev/null)" = http://debian.mirror.invalid/debian ] ||
      fail "debootstrap's mirror was '$(cat "$work/mirror" 2>/dev/null)'"
    [ "$(grep -c . "$work/made" 2>/dev/null)" = 2 ] ||
      fail "make demo and make test did not both run"
    [ ! -s "$work/not-handed-over" ] || fail "not the newcomer's: $(cat "$work/not-handed-over")"
  else
    [ $status -ne 0 ] || fail "status 0 although the system could not be removed"
    lines=$(grep -c "still mounted:.* $system/proc\( \|$\)" "$work/err")
    [ "$lines" = 1 ] ||
      fail "wanted one line naming $system/proc as still mounted, got: $(cat "$work/err")"
  fi
  if [ "$leftover" = yes ] && [ "$wanted" = fail ]; then
    [ ! -e "$work/mirror" ] || fail "a new system was made on top of the one left"
    [ -e "$system/proc/the-machines-own" ] || fail "deleted through the mount"
  fi
  owners=$(find "$repo" -path "$repo/build" -prune -o ! -uid 0 -print | head -n 3)
  [ -z "$owners" ] || fail "the repository's files changed owner: $owners"
  [ -n "$blind_findmnt$fail_umount" ] || [ -z "$(mounted)" ] || fail "left mounted: $(mounted)"
  unmount_all
  rm -rf --one-file-system "$repo/build"
  [ $failures -ne $before ] || passed=$((passed + 1))
done <<'EOF'
no|||pass
yes|||pass
yes|1||fail
yes||1|fail
no|1||fail
no||1|fail
EOF

echo "fresh_system: $passed passed, $failures failed"
exit $((failures > 0))
