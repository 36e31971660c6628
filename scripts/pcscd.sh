# Starts and stops pcscd with the vpcd virtual reader for the PC/SC tests. Sourced by test.sh:
#   pcscd_start   starts "pcscd -f" in the background and waits until the virtual reader listens
#   pcscd_stop    stops the pcscd started here, by its PID
# The PID is also kept in the file $OSTREL_PCSCD_PIDFILE, exported for the tests: a test that
# stops and restarts pcscd writes the PID of the one it started there, so that pcscd_stop stops
# that one. Without pcscd installed both functions only say so; the PC/SC tests then skip.

PCSCD_PID=""
PCSCD_VPCD_PORT=35963
export OSTREL_PCSCD_PIDFILE="${OSTREL_PCSCD_PIDFILE:-${TMPDIR:-/tmp}/ostrel-pcscd.$$.pid}"

pcscd_listening() { ss -ltn 2>/dev/null | grep -q ":$PCSCD_VPCD_PORT "; }

pcscd_start() {
  if ! command -v pcscd >/dev/null 2>&1; then
    echo "pcscd absent: the PC/SC tests will be skipped" >&2
    return 0
  fi
  if [[ ! -e /etc/reader.conf.d/vpcd ]]; then
    echo "vsmartcard-vpcd absent: the PC/SC tests will be skipped" >&2
    return 0
  fi
  if pgrep -x pcscd >/dev/null 2>&1; then
    echo "a pcscd not started here is running: the PC/SC tests use it" >&2
    return 0
  fi
  # Left behind by an unclean stop; a new pcscd refuses to start while they exist.
  rm -f /run/pcscd/pcscd.comm /run/pcscd/pcscd.pid
  pcscd -f >"${PCSCD_LOG:-${TMPDIR:-/tmp}/ostrel-pcscd.log}" 2>&1 &
  PCSCD_PID=$!
  echo "$PCSCD_PID" >"$OSTREL_PCSCD_PIDFILE"
  local tries=0
  until pcscd_listening; do
    if ! kill -0 "$PCSCD_PID" 2>/dev/null || ((++tries > 500)); then
      echo "pcscd did not start (see ${PCSCD_LOG:-${TMPDIR:-/tmp}/ostrel-pcscd.log})" >&2
      pcscd_stop
      return 0
    fi
    sleep 0.01
  done
}

pcscd_stop() {
  local pid="$PCSCD_PID"
  [[ -s "$OSTREL_PCSCD_PIDFILE" ]] && pid=$(<"$OSTREL_PCSCD_PIDFILE")
  if [[ -n "$pid" ]] && kill "$pid" 2>/dev/null; then
    local tries=0
    while kill -0 "$pid" 2>/dev/null && ((++tries < 300)); do sleep 0.01; done
    kill -9 "$pid" 2>/dev/null || true
  fi
  rm -f "$OSTREL_PCSCD_PIDFILE"
  PCSCD_PID=""
}
