# Checks on the windows of a virtual display, shared by the desktop scripts (sourced).

# Visible windows whose title is exactly $1 (xdotool's search ignores case: the menus are
# titled "varlowe", the main window "Varlowe").
windows_titled() {
    local window
    for window in $(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null); do
        [ "$(xdotool getwindowname "$window" 2>/dev/null)" = "$1" ] && echo "$window"
    done
    return 0
}

# A capture's ladder is painted with its first row selected (the selection's yellow): its
# pass is over and the progress box, which holds the keys from the window, has gone.
ladder_painted() {
    import -window root -depth 8 rgb:- 2>/dev/null | python3 -c '
import sys
data = sys.stdin.buffer.read()
at = data.find(b"\xff\xff\x00")
while at >= 0 and at % 3:
    at = data.find(b"\xff\xff\x00", at + 1)
sys.exit(0 if at >= 0 else 1)'
}

# Ends the script with a message; a script may define its own (to show its logs) after this.
fail() {
    echo "$*"
    exit 1
}

# wait_for WHAT SECONDS COMMAND...: runs the check until it holds, else fails.
wait_for() {
    local what=$1 end=$((SECONDS + $2))
    shift 2
    until "$@"; do
        [ $SECONDS -lt $end ] || fail "timed out waiting for $what"
        sleep 0.05
    done
}

# value GROUP KEY: the stored value of a setting in the file $config.
value() {
    awk -v group="[$1]" -v key="$2" '
        /^\[/ { inside = ($0 == group); next }
        inside && index($0, key "=") == 1 { print substr($0, length(key) + 2) }' "$config"
}

# require_tools TOOL...: exit 77 (skipped) when one is missing.
require_tools() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "$tool is not installed: skipped"; exit 77; }
    done
}

# For the EXIT trap: ends the program $1 (when one was started) and waits for it, so that it
# writes no settings into the scratch folder $2 while that is removed, then removes it. Never
# fails: a cleanup that fails would turn a passed script into a failed one.
end_and_remove() {
    if [ -n "$1" ]; then
        kill "$1" 2>/dev/null || true
        wait "$1" 2>/dev/null || true
    fi
    rm -rf "$2" || true
}
