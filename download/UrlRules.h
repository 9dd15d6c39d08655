// Rules that turn a package's installer source into a place to fetch it from and a file to save it to. Plain
// text rules over plain data: they know no window and touch no disk.
#pragma once

#include <string>
#include <vector>

// The text after the last "/" of `url` (everything, query included); empty when there is no "/".
std::wstring LastUrlSegment(const std::wstring& url);

// `url` when it is an http or https address (path_rules::IsHttpUrl), otherwise `filesBaseUrl` (which ends in "/")
// followed by `url`: a path or a bare file name is relative to the file endpoint.
std::wstring MakeAbsoluteUrl(const std::wstring& url, const std::wstring& filesBaseUrl);

// The name under which the installer fetched from `url` is saved in the work folder: the URL's last path
// segment without query or fragment, with characters a file name cannot hold replaced by "_", and ".exe" added
// when it has no extension (a program is only started by its name when it ends in one). A name that is already
// in `takenNames` (compared without case) gets " (2)", " (3)", ... before its extension, so that two packages
// never share a file. The result is added to `takenNames`.
std::wstring MakeSavedFileName(const std::wstring& url, std::vector<std::wstring>& takenNames);
