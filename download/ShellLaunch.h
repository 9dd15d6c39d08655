// Opening a file with the rights of the user's desktop rather than the installer's own. The installer runs as
// administrator; a file the user's programs can write (the product saved in the Downloads folder), started from
// it, would run elevated and load whatever lies beside it. The desktop's shell runs with the user's ordinary
// rights: asked to open the file, it does what a double click in Explorer does.
#pragma once

#include <string>

namespace download {

// Has the desktop's shell open `file` with `parameters`, in the file's folder; false when there is no desktop
// shell to ask (no Explorer running) or it refuses. Never starts the file from this process.
bool OpenAsDesktopUser(const std::wstring& file, const std::wstring& parameters);

}  // namespace download
