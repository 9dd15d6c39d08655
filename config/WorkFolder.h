// The end of the work folder (made by CreateUniqueTempFolder, ConfigurationManager.h): the installers are
// downloaded into it and run from it, and it goes when the wizard ends. What an installer that still runs may use
// stays until the next reboot, and nothing outside the folder is ever touched.
#pragma once

#include <string>
#include <vector>

// Deletes `path` and everything below it. A junction or directory link is removed itself, never followed. The
// files and folders of `inUse`, and what cannot be deleted now because it is held open or refused, are left for
// deletion at the next reboot, contents before their folders; a missing `path` is no error.
void DeleteDirectoryTree(const std::wstring& path, const std::vector<std::wstring>& inUse = {});
