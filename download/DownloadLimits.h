// Every bound that a transfer is held to, in one place. The manager copies the time and rate bounds into members
// that tests shorten; the others are fixed.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace download {

// Redirect responses followed per download, by both engines and by image downloads; the next one fails it.
constexpr int kMaxRedirects = 5;

// Pause between a failed WinHTTP attempt and the WinINet one.
constexpr std::chrono::milliseconds kFallbackDelay{2000};

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

// A download kept beside a file of the same name is numbered " (1)" up to this; past it the folder holds so many
// copies that the download fails rather than go on probing names.
constexpr int kMaxSavedNameNumber = 100;

}  // namespace download
