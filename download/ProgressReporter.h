// The progress bar's side of a download: what one file's attempts post to the window that shows them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <optional>

namespace download {

// Posts the progress of one file, across all its attempts, to a window: the marquee message when the length is
// unknown, otherwise a percentage each time the share on disk has grown by more than one point beyond the largest
// one posted, and 100 at the end. The bar therefore never moves back, and a file posts about 100 messages however
// often it is begun again. Shared by the attempts; an abandoned attempt's late chunk only nudges the share.
class ProgressReporter {
public:
    explicit ProgressReporter(HWND window) : m_window(window) {}
    // Starts an attempt at a file of `length` bytes, `offset` of which are on disk already, or switches the window
    // to its marquee when the length is unknown.
    void Start(std::optional<std::uint64_t> length, std::uint64_t offset = 0);
    void AddChunk(DWORD bytes);
    void ReportComplete();

private:
    void Post(UINT message, WPARAM value) const;

    std::mutex m_mutex;
    HWND m_window;
    std::uint64_t m_length = 0;
    double m_fraction = 0.0;
    double m_reported = 0.0;
    bool m_marquee = false;
};

}  // namespace download
