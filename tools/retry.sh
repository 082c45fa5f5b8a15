# shellcheck shell=sh
# retry COMMAND [ARGUMENT...]: a download that fails is tried twice more, a little later, before
# it counts as a failure. Sourced by the scripts that fetch packages (install-tools.sh,
# test-fresh.sh), so COMMAND may be one of their functions.
retry() {
  retry_try=1
  until "$@"; do
    [ $retry_try -lt 3 ] || return 1
    echo "$(basename "$0"): '$1' failed; trying again in $((retry_try * 15)) s" >&2
    sleep $((retry_try * 15))
    retry_try=$((retry_try + 1))
  done
}
