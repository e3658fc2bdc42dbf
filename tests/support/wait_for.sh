# Sourced by the shell tests.
# Waits up to $2 seconds (default 5) for the condition $1; false when it never came.
wait_for() {
  local deadline=$((SECONDS + ${2:-5}))
  while ! eval "$1"; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.1
  done
}
