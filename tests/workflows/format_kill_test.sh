#!/usr/bin/env bash
# Formats blank virtual cards with ostrel-card, killing each run at a random moment and then
# formatting the same card again, as an operator would. Afterwards: no serial is on two cards,
# every serial on a card is in the journal as given to that card, and no journal entry says a
# format was written and verified that its card does not hold. Prints the figures.
# usage: format_kill_test.sh OSTREL_CARD [RUNS]
set -euo pipefail

program=$1
runs=${2:-60}
work=$(mktemp -d /tmp/ostrel-kill-XXXXXX)
trap 'rm -rf "$work"' EXIT
config=$work/c.ini
journal=$work/j.sqlite
first=1000181 # the series crosses the marker rule's jump on the way
printf '[Format]\nNextSerial=%s\n' "$first" >"$config"

format() {
  "$program" --reader "sim:$1" --config "$config" --journal "$journal" format >/dev/null 2>&1
}

# The serial in bytes 13..16 of a card file, empty for a card that holds none (FF FF FF FF).
card_serial() {
  local hex
  hex=$(awk '/^00:/ { hi = substr($5, 3, 6) } /^01:/ { lo = substr($2, 1, 2) }
             END { print hi lo }' "$1")
  [[ $hex == FFFFFFFF ]] || echo $((16#$hex))
}

# How long one format takes here: the kills fall anywhere within it, and a little after.
start=$(date +%s%N)
"$program" card new "$work/probe.card"
format "$work/probe.card"
delay=$((($(date +%s%N) - start) / 1000000 * 3 / 2 + 1))

killed=0
for ((i = 0; i < runs; i++)); do
  card=$work/card$i.card
  "$program" card new "$card"
  "$program" --reader "sim:$card" --config "$config" --journal "$journal" format \
    >/dev/null 2>&1 &
  pid=$!
  ms=$((RANDOM % delay))
  sleep "$(printf '%d.%03d' $((ms / 1000)) $((ms % 1000)))"
  kill -9 "$pid" 2>/dev/null || true
  status=0
  { wait "$pid"; } 2>/dev/null || status=$?
  if ((status == 137)); then
    killed=$((killed + 1))
    format "$card" || true # the operator tries the card again
  fi
done

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# However the runs were killed, the station can still format the next card.
"$program" card new "$work/after.card"
format "$work/after.card" || fail "a blank card formatted after the kills was refused"

# Format entries of the journal: reader, serial, outcome (CSV fields 5, 7 and 13).
"$program" --journal "$journal" journal --csv | tail -n +2 | tr -d '\r' |
  awk -F, '$6 == "formatage" { print $5 "," $7 "," $13 }' >"$work/formats"

declare -A holder
held=0
for ((i = 0; i < runs; i++)); do
  card=$work/card$i.card
  serial=$(card_serial "$card")
  [[ -n $serial ]] || continue
  held=$((held + 1))
  if [[ -n ${holder[$serial]:-} ]]; then
    fail "serial $serial on ${holder[$serial]} and on $card"
  fi
  holder[$serial]=$card
  grep -q "^sim:$card,$serial," "$work/formats" || fail "serial $serial on $card, not in the journal"
done
while IFS=, read -r reader serial outcome; do
  [[ $outcome == "écrite et vérifiée" ]] || continue
  [[ $(card_serial "${reader#sim:}") == "$serial" ]] ||
    fail "the journal says ${reader#sim:} holds $serial"
done <"$work/formats"

# Serials the series gave up: taken from the configuration but on no card.
next=$(awk -F= '/^NextSerial=/ { print $2 }' "$config")
taken=0
for ((s = first; s < next; taken++)); do
  n=$((s + 1))
  if (((n >> 8 & 255) != 0x42)); then
    upper=$((n >> 16))
    (((n >> 8 & 255) > 0x42)) && upper=$((upper + 1))
    n=$((upper << 16 | 0x42 << 8))
  fi
  s=$n
done
echo "killed formats: $runs runs, $killed killed, $held cards holding a serial," \
  "${#holder[@]} distinct serials, $((taken - held)) gaps, $(wc -l <"$work/formats") journal entries"
((failures == 0))
