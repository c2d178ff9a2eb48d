# Sourced by the stages that run Windows programs with windows: an X server
# on a display number nobody uses.
#   start_virtual_display LOG   starts it, exports DISPLAY, sets xvfb_pid
#                               (the caller kills it)
#   wait_virtual_display        waits until it takes connections
start_virtual_display() {
  local display=90
  while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
  Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >"$1" 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$display"
}

wait_virtual_display() {
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && return 0; sleep 0.1; done
}
