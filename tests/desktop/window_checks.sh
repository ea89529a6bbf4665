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
