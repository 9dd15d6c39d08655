# The most bytes the installer may have: the stripped default build (Release) that users download. The ctest entry
# installer_size checks it, and tools/bench-size.sh prints it beside the measured size.
set(WAYFARER_SIZE_BUDGET 614400)
