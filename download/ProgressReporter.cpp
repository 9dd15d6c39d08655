#include "download/ProgressReporter.h"

#include "download/ProgressMessages.h"

namespace download {

void ProgressReporter::Post(UINT message, WPARAM value) const {
    if (m_window != nullptr)
        ::PostMessageW(m_window, message, value, 0);
}

void ProgressReporter::Start(std::optional<std::uint64_t> length, std::uint64_t offset) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_length = length.value_or(0);
    m_fraction = m_length > 0 ? static_cast<double>(offset) / static_cast<double>(m_length) : 0.0;
    if (!length && !m_marquee) {
        m_marquee = true;
        Post(WM_DOWNLOAD_MARQUEE, 0);
    }
}

void ProgressReporter::AddChunk(DWORD bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    // Without a length there is no share to report: the window keeps its marquee.
    if (m_length == 0)
        return;
    m_fraction += static_cast<double>(bytes) / static_cast<double>(m_length);
    if (m_fraction - m_reported > 0.01) {
        Post(WM_DOWNLOAD_PROGRESS, static_cast<WPARAM>(m_fraction * 100.0));
        m_reported = m_fraction;
    }
}

void ProgressReporter::ReportComplete() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_length > 0)
        Post(WM_DOWNLOAD_PROGRESS, 100);
}

}  // namespace download
