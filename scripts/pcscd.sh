# Start and stop pcscd with the vpcd virtual reader for the PC/SC tests. Sourced by test.sh.
PCSCD_PID=""
pcscd_start() { :; }
pcscd_stop() { :; }
