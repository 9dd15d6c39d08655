// The messages a file download posts to the window that watches it. The numbers are fixed: the pages that show
// the progress know them, and the window's other messages follow them.
#pragma once

#include <windows.h>

// wParam: the share of the file on disk, in percent.
constexpr UINT WM_DOWNLOAD_PROGRESS = WM_USER + 1;
// The length is unknown: the bar shows that something is moving.
constexpr UINT WM_DOWNLOAD_MARQUEE = WM_USER + 2;
