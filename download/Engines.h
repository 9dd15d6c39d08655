// The two ways the installer fetches: WinHTTP, and WinINet as the rescue for what WinHTTP cannot reach (a proxy
// only WinINet takes from the system). Each is a transfer function: it takes a plan, runs one attempt, and
// returns what the attempt came to; it keeps nothing between attempts. Their headers collide, so each has its own
// translation unit.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "download/Attempt.h"
#include "download/DownloadLimits.h"

namespace download {

// Each engine's failure text begins with its tag; a file download's text is WinHTTP's, then WinINet's.
inline constexpr wchar_t kWinHttpTag[] = L"[WINHTTP] ";
inline constexpr wchar_t kWinInetTag[] = L" [WININET]";

// Whether a WinHTTP error is a verdict on the server rather than a mishap on the way: its certificate (expired,
// of another host, of an unknown CA, revoked) or its TLS versions were refused. WinINet would reach the same
// verdict or, taking its TLS versions from the system, accept: such a failure is final.
bool IsWinHttpVerdict(unsigned long code);

// One WinHTTP attempt at the file `plan` names.
AttemptOutcome AttemptWinHttp(const AttemptPlan& plan);
// One WinINet attempt at the file `plan` names.
AttemptOutcome AttemptWinInet(const AttemptPlan& plan);

// An offer image's bytes fetched to memory with WinHTTP in at most two attempts, both within
// `limits.imageTimeLimit` (no second attempt after a failure that would only recur, such as a redirect loop);
// empty when no attempt succeeds. Never throws for a transfer error; a set `cancelled` stops the transfer.
std::vector<char> FetchImage(const std::wstring& url,
                             const TransferLimits& limits,
                             std::shared_ptr<const std::atomic<bool>> cancelled);

}  // namespace download
