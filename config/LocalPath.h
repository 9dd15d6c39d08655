// Paths named by the server are only ever looked up on this machine's own drives. An elevated process that
// opens "\\host\share\..." hands the user's Windows credentials to that host, and device and "\\?\" paths reach
// past the file system's own rules, so such a path counts as absent before any file-system call is made.
#pragma once

#include <string>
#include <string_view>

// Whether `path` is a plain local path: a drive letter, a colon and a separator ("C:\" or "C:/"), then names
// that are neither ".." (nor another run of dots) nor a reserved device name, with no further colon, no
// wildcard and no control character. UNC, "\\?\", "\\.\", "\??\", root-relative, drive-relative ("C:x",
// "C:..\x") and relative paths are not, whichever separators they use.
bool IsPlainLocalPath(std::wstring_view path);

// Answers whether a file or folder exists; PathFileExistsW unless a test puts its own in place.
using FileProbe = bool (*)(const wchar_t* path);
bool ProbeFileSystem(const wchar_t* path);

// Whether `path` names an existing file or folder. Only a plain local path is handed to `probe`; any other is
// absent without a call.
bool LocalFileExists(const std::wstring& path, FileProbe probe = ProbeFileSystem);
