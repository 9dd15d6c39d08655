// Placeholders such as "{commonpf}" or "{commonappdata}" let one path text work on 32-bit and 64-bit Windows and
// for any user; the tables of ConfigurationManager map each name to this machine's folder.
#pragma once

#include <windows.h>
#include <shtypes.h>

#include <string>

#include "config/ConfigurationManager.h"

// Replaces every "{name}" of every table entry, walking the table in its order, so that a value that is itself
// a placeholder ("{commonpf}" → "{commonpf64}") is replaced when its own entry comes later. A name without an
// entry stays in the path.
std::wstring ExpandPathPlaceholders(std::wstring path, const PlaceholderTable& table);

// The known folder for the current user, or "" when it cannot be resolved.
std::wstring GetKnownFolderPath(REFKNOWNFOLDERID id);

// True only when this (32-bit) process is known to run under WOW64, that is on 64-bit Windows.
bool IsWow64();

// Fills `pathPlaceholders` with commonpf, localappdata, commonappdata, programdata, commonpf32 and, under WOW64,
// commonpf64, which also goes alone into `pf64Placeholders`. Both tables are cleared first.
void BuildPathPlaceholderTables(PlaceholderTable& pathPlaceholders, PlaceholderTable& pf64Placeholders);
