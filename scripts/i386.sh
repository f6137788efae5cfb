# How 32-bit x86 programs (32-bit Wine's loader among them) run on this machine; sourced by the
# scripts that run 32-bit Windows programs.
#
# A kernel built or booted without 32-bit emulation ("32-bit emulation disabled" in its log) runs
# no 32-bit program itself. Debian's qemu-user-static can run them instead, registered with a
# binfmt_misc of a user and mount namespace of the run's own (Linux 6.7 and later), so that the
# machine's own registrations stay as they are.

i386_qemu_binfmt=':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F'

# Runs a command where qemu-i386 runs the 32-bit programs it starts.
with_qemu_i386() {
    unshare --user --map-root-user --mount bash -c \
        'mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc && printf "%s" "$0" >/proc/sys/fs/binfmt_misc/register && exec "$@"' \
        "$i386_qemu_binfmt" "$@"
}

# Prints how 32-bit Wine runs here: "native", "qemu", or "none" (no wine32, or no way to run it).
i386_wine_runner() {
    if [ -e /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
        echo native
    elif [ -e /usr/lib/wine/wine ] && [ -x /usr/bin/qemu-i386-static ] &&
         with_qemu_i386 /usr/lib/wine/wine --version >/dev/null 2>&1; then
        echo qemu
    else
        echo none
    fi
}

# Prints why 32-bit Wine cannot run here (i386_wine_runner said none), in a few words: the reason
# scripts/deps.sh gave when the mirror could not give the 32-bit group, or what is missing.
i386_skip_cause() {
    local state
    state=$(dirname "${BASH_SOURCE[0]}")/../build/deps-windows32.txt
    if [ -e /usr/lib/wine/wine ] && [ -x /usr/bin/qemu-i386-static ]; then
        echo "the kernel runs no 32-bit programs, and qemu-i386 cannot be registered in a user namespace of its own (Linux 6.7 or later)"
    elif [ -s "$state" ]; then
        echo "the 32-bit Windows packages could not be installed: $(head -n1 "$state")"
    elif [ ! -e /usr/lib/wine/wine ]; then
        echo "wine32:i386 is not installed (scripts/deps.sh windows32 installs it)"
    else
        echo "the kernel runs no 32-bit programs, and qemu-user-static is not installed"
    fi
}
