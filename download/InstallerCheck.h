// A transport can hide a cut: before a downloaded installer is run, it must be whole.
#pragma once

#include <string>

// An empty text when the file at `path` is a complete program (every section and the signature table lie
// inside the file) or a complete archive (its end record is present); otherwise the failure text.
std::wstring CheckInstallerIsWhole(const std::wstring& path);
