# Sourced by the scripts that run Windows programs: which build their tests run on this machine.
# Debian's Wine runs 32-bit Windows programs through a 32-bit Linux loader. Some machines' kernels run 64-bit code
# only; there the tests run on the x86-64 build of the same sources (presets x64, <flavour>-x64) in a 64-bit
# Wine prefix, and the tests of a 32-bit Windows prefix are left out.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    WAYFARER_TEST_SUFFIX=""
    WAYFARER_TEST_BUILD=build
else
    WAYFARER_TEST_SUFFIX="-x64"
    WAYFARER_TEST_BUILD=build-x64
    [ -n "${WAYFARER_ARCH_QUIET:-}" ] || echo "This machine runs no 32-bit code (its kernel refuses 32-bit programs), so Wine cannot run the 32-bit" \
         "installer here: the tests run on the x86-64 build of the same sources ($WAYFARER_TEST_BUILD/), in a" \
         "64-bit Windows prefix only. The 32-bit installer is still built." >&2
fi
export WAYFARER_TEST_SUFFIX WAYFARER_TEST_BUILD
# The preset of the build the tests and the demo run: default, or x64 on a machine without 32-bit code.
WAYFARER_TEST_PRESET=default
[ -z "$WAYFARER_TEST_SUFFIX" ] || WAYFARER_TEST_PRESET=x64
export WAYFARER_TEST_PRESET
