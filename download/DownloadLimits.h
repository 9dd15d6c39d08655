// Every bound that a transfer is held to, in one place. The time, rate and retry bounds reach the transfers as
// values (TransferLimits here, RetryPolicy in Backoff.h) that tests may shorten; the others are fixed.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace download {

// Redirect responses followed per download, by both engines and by image downloads; the next one fails it.
constexpr int kMaxRedirects = 5;

// Attempts of one file download. The pause after a failed attempt starts at kRetryPauseBase and doubles with each
// further attempt that brought no new bytes, up to kRetryPauseCap, and is spread by kRetryPauseJitter of itself
// either way; a server's Retry-After is honoured up to the cap. An attempt that added to the file starts the
// doubling again.
constexpr std::chrono::milliseconds kRetryPauseBase{1000};
constexpr std::chrono::milliseconds kRetryPauseCap{30000};
constexpr double kRetryPauseJitter = 0.5;
// No attempt follows kMaxAttemptsWithoutProgress attempts in a row that brought no new bytes, nor begins once
// kTimeWithoutProgress has passed since the file last grew; kMaxAttemptsPerFile bounds a server that hands out a
// few bytes per attempt.
constexpr int kMaxAttemptsWithoutProgress = 6;
constexpr std::chrono::milliseconds kTimeWithoutProgress{180000};
constexpr int kMaxAttemptsPerFile = 100;
// Bytes an attempt must add to the file to count as progress: a server that drips a little before each cut must
// not keep the wizard for hours.
constexpr std::uint64_t kMinimumAdvanceBytes = 256 * 1024;
// How soon a pause notices that the user has left the wizard.
constexpr std::chrono::milliseconds kCancelCheckInterval{20};

// How long a connection may stay silent (connecting, sending, waiting for the answer or for more of the body).
constexpr std::chrono::milliseconds kStallTimeout{30000};

// A transfer that receives less than kMinimumRate bytes per second, measured over windows of kRateWindow, fails
// as stalled: a server that drips a byte at a time never trips the stall limit, and would hold the wizard for
// hours.
constexpr std::uint32_t kMinimumRate = 1024;
constexpr std::chrono::milliseconds kRateWindow{60000};

// The whole time an offer image may take, both attempts together: the loading page waits for every image.
constexpr std::chrono::milliseconds kImageTimeLimit{60000};

// Far beyond any offer image; an endless body must not exhaust the 32-bit address space that the rest of the
// installer shares.
constexpr std::size_t kMaxImageBytes = 16 * 1024 * 1024;

// The time and rate bounds of one transfer, as shipped unless a test shortens them.
struct TransferLimits {
    std::chrono::milliseconds stallTimeout = kStallTimeout;
    std::uint32_t minimumRate = kMinimumRate;
    std::chrono::milliseconds rateWindow = kRateWindow;
    std::chrono::milliseconds imageTimeLimit = kImageTimeLimit;
};

// A download kept beside a file of the same name is numbered " (1)" up to this; past it the folder holds so many
// copies that the download fails rather than go on probing names.
constexpr int kMaxSavedNameNumber = 100;

// A server value (a URL, a name, a header) quoted in a failure text is cut here, and a whole failure text of one
// engine at kMaxFailureTextChars: failure texts end up in the error event and in the run log.
constexpr std::size_t kQuotedValueChars = 200;
constexpr std::size_t kMaxFailureTextChars = 1024;

}  // namespace download
