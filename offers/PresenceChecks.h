// The rules that admit or refuse an offer by what is already on the machine: registry keys, values and data,
// files, running programs, App Paths, a recent uninstall, the browser, an old Internet Explorer and a stored
// no-show date. One instance serves one evaluation run and keeps the listings it builds for the whole run.
#pragma once

#include <string>

class Package;

class PresenceChecks {
public:
    // Each check returns the reason the offer is refused for, or an empty text when it passes. A registry text
    // that should be a number and is not raises the standard library's conversion error, which ends the run.

    // "r", then "ir", then "rvn", then "rvd".
    std::string CheckRegistry(const Package& offer);
    // "fe", then "ife".
    std::string CheckFiles(const Package& offer);
    // "a", "iapp" and "eapp", "cmdu", the browser, the Internet Explorer version and the "pn" no-show date.
    std::string CheckMachineState(const Package& offer);
};
