# Waits on what a started program prints, for the Win32 test scripts (sourced).
first_line() { # file: waits up to 20 s for the first line a program prints
    for _ in $(seq 200); do
        [ -s "$1" ] && head -n 1 "$1" | grep -q . && { head -n 1 "$1"; return 0; }
        sleep 0.1
    done
    return 1
}
listening_line() { # file: waits up to 20 s for the relay's "listening on" line (it may log before it)
    for _ in $(seq 200); do
        grep -m1 "listening on" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}
