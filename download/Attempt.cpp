#include "download/Attempt.h"

#include <stdexcept>
#include <thread>

#include "win32/Strings.h"

namespace download {

RateFloor::RateFloor(std::uint32_t bytesPerSecond, std::chrono::milliseconds window, Clock::time_point start)
    : m_bytesPerSecond(bytesPerSecond), m_window(window), m_windowStart(start) {}

void RateFloor::Add(std::uint64_t bytes, Clock::time_point now) {
    m_bytes += bytes;
    const auto elapsed = now - m_windowStart;
    if (elapsed < m_window)
        return;
    const double seconds = std::chrono::duration<double>(elapsed).count();
    if (static_cast<double>(m_bytes) < m_bytesPerSecond * seconds) {
        const auto windowSeconds = std::chrono::duration_cast<std::chrono::seconds>(m_window).count();
        FailPassing(win32::FormatWide(L"Transfer too slow: less than %u bytes per second for %d seconds.",
                                      m_bytesPerSecond, static_cast<int>(windowSeconds)));
    }
    m_windowStart = now;
    m_bytes = 0;
}

WatchedTransfer::WatchedTransfer(std::chrono::milliseconds limit,
                                 const std::wstring& targetPath,
                                 std::wstring giveUpText,
                                 const std::wstring& keptPath)
    : m_file(targetPath, keptPath), m_limit(limit), m_giveUpText(std::move(giveUpText)), m_lastActivity(Clock::now()) {}

std::wstring WatchedTransfer::TakeKeptPath() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::wstring path;
    path.swap(m_keptPath);
    return path;
}

std::wstring WatchedTransfer::TakeSavedPath() {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::wstring path;
    path.swap(m_savedPath);
    return path;
}

FileIdentity WatchedTransfer::Identity() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_identity;
}

void WatchedTransfer::SetIdentity(const FileIdentity& identity) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_identity = identity;
}

void WatchedTransfer::Touch() {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_abandoned)
        Fail(L"Abandoned.");
    m_lastActivity = Clock::now();
}

void WatchedTransfer::Finish(DownloadResult result, std::exception_ptr exception) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_abandoned)
        return;
    CloseTransfer();
    m_keptPath = m_file.Keep();
    m_result = std::move(result);
    m_exception = exception;
    m_done = true;
    m_changed.notify_all();
}

DownloadResult WatchedTransfer::Wait() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_done) {
        if (m_changed.wait_until(lock, m_lastActivity + m_limit) == std::cv_status::timeout && !m_done &&
            Clock::now() >= m_lastActivity + m_limit) {
            m_abandoned = true;
            CloseTransfer();
            // Closing the file under its lock ends the transfer's writes: the bytes on disk stay as they are.
            m_keptPath = m_file.Keep();
            return DownloadResult(false, m_giveUpText);
        }
    }
    if (m_exception)
        std::rethrow_exception(m_exception);
    return m_result;
}

namespace {

// The outcome of an attempt that raised `failure`, with `tag` before its text.
AttemptOutcome FailedOutcome(const wchar_t* tag, const Failure& failure) {
    AttemptOutcome outcome;
    outcome.text = TagFailure(tag, failure);
    outcome.failure = failure.Kind();
    outcome.retryAfter = failure.RetryAfter();
    outcome.restart = failure.Restart();
    return outcome;
}

}  // namespace

std::optional<std::uint64_t> BeginBody(WatchedTransfer& transfer,
                                       const AttemptPlan& plan,
                                       const AnswerHeaders& answer) {
    RefuseUnaskedCoding(answer);
    const auto [offset, identity] = PlaceBody(plan.resume, answer);
    transfer.SetIdentity(identity);
    // A 206 names the whole file's length in its Content-Range; its Content-Length is only the part's.
    const std::optional<std::uint64_t> length =
        offset > 0 || answer.status == 206 ? identity.length : answer.contentLength;
    RequireMarkedEnd(length, plan.contentChecked);
    PartialFile& file = transfer.File();
    file.RequireOpen();
    file.StartAt(offset);
    plan.progress->Start(length, offset);
    return length;
}

AttemptOutcome RunAttempt(const std::shared_ptr<WatchedTransfer>& transfer,
                          const wchar_t* tag,
                          std::function<void()> body) {
    AttemptOutcome outcome;
    try {
        std::thread([transfer, body = std::move(body)] {
            try {
                body();
            } catch (...) {
                // Raised again on the caller's thread, which tells the kinds of failure apart.
                transfer->Finish(DownloadResult(false, std::wstring()), std::current_exception());
            }
        }).detach();
        const DownloadResult result = transfer->Wait();
        // Only a transfer given up on ends without raising: it fell silent, which may pass.
        outcome.succeeded = result.first;
        outcome.failure = FailureKind::Passing;
        outcome.text = result.second;
    } catch (const Failure& failure) {
        outcome = FailedOutcome(tag, failure);
    } catch (const std::runtime_error& error) {
        // Not the transfer's own (a thread that could not start): nothing says it would pass.
        outcome.failure = FailureKind::Lasting;
        outcome.text = tag + win32::MultiByteToWide(error.what(), 0);
    }
    outcome.keptPath = transfer->TakeKeptPath();
    if (outcome.succeeded) {
        outcome.savedPath = transfer->TakeSavedPath();
        outcome.savedId = transfer->File().SavedId();
    }
    outcome.identity = transfer->Identity();
    return outcome;
}

}  // namespace download
