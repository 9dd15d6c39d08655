// What a file download or a check of its file comes to, for whoever only reads the verdict.
#pragma once

#include <string>
#include <utility>

// (succeeded, error text). The text is meaningful only when the flag is false.
using DownloadResult = std::pair<bool, std::wstring>;
