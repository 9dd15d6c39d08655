# Sourced by the scripts that run Windows programs: how this machine runs the 32-bit installer, and so which build
# the tests and the demo run.
#
# Debian's Wine starts every 32-bit Windows program through its 32-bit loader, a 32-bit Linux program. Some
# machines' kernels run 64-bit code only ("IA-32 emulation off"). There tools/sandbox.sh gives its command a
# private user and mount namespace with a binfmt_misc instance of its own that hands 32-bit Linux programs to qemu's
# user-mode emulator: Wine's 32-bit side runs emulated, its 64-bit side (the server, the system processes) natively,
# and the tests run the shipped 32-bit build exactly as on a machine with 32-bit code. Only where the emulator
# cannot be had (no qemu-i386 of version 10 or later, or a kernel without binfmt_misc in user namespaces, before
# 6.7) do the tests fall back to the x86-64 build of the same sources (presets x64, <flavour>-x64) in a 64-bit
# prefix.
#
# WAYFARER_I386 says which: native, emulated or none. A value already set (inside the sandbox) is kept.
wayfarer_i386_probe() {
    if /usr/lib/wine/wine --version >/dev/null 2>&1; then
        echo native
        return
    fi
    # Debian 12's own qemu 7.2 ignores Wine's address reservation and spends some 45 s starting each process.
    if qemu-i386 --version 2>/dev/null | grep -qE 'version ([1-9][0-9])\.' &&
        unshare --user --map-root-user --mount --fork -- \
            sh -c 'mount -t binfmt_misc wayfarer /proc/sys/fs/binfmt_misc' >/dev/null 2>&1; then
        echo emulated
        return
    fi
    echo none
}
# What a script that was handed the answer already said is not said again.
if [ -n "${WAYFARER_I386:-}" ]; then
    WAYFARER_ARCH_QUIET=1
else
    WAYFARER_I386=$(wayfarer_i386_probe)
fi
export WAYFARER_I386

if [ "$WAYFARER_I386" != none ]; then
    WAYFARER_TEST_SUFFIX=""
    WAYFARER_TEST_BUILD=build
    if [ "$WAYFARER_I386" = emulated ] && [ -z "${WAYFARER_ARCH_QUIET:-}" ]; then
        echo "This machine runs no 32-bit code (its kernel refuses 32-bit programs): the 32-bit installer and its" \
             "tests run under Wine with Wine's 32-bit loader in qemu's user-mode emulator (tools/sandbox.sh)." >&2
    fi
else
    WAYFARER_TEST_SUFFIX="-x64"
    WAYFARER_TEST_BUILD=build-x64
    [ -n "${WAYFARER_ARCH_QUIET:-}" ] || echo "This machine runs no 32-bit code and has no user-mode emulator for it" \
         "(qemu-i386 10 or later, binfmt_misc in a user namespace): the tests run on the x86-64 build of the same" \
         "sources ($WAYFARER_TEST_BUILD/), in a 64-bit Windows prefix only. The 32-bit installer is still built." >&2
fi
export WAYFARER_TEST_SUFFIX WAYFARER_TEST_BUILD
# The preset of the build the tests and the demo run.
WAYFARER_TEST_PRESET=default
[ -z "$WAYFARER_TEST_SUFFIX" ] || WAYFARER_TEST_PRESET=x64
export WAYFARER_TEST_PRESET
