// One attempt of one engine at a file: what it is given, what it comes to, and the watch that gives up on a
// transfer that shows no progress. Inside an engine every failure is a download::Failure; the attempt catches it at
// its boundary and prefixes the engine's tag.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "download/AnswerRules.h"
#include "download/DownloadLimits.h"
#include "download/DownloadResult.h"
#include "download/Failure.h"
#include "download/PartialFile.h"
#include "download/ProgressReporter.h"

namespace download {

// Fails a transfer whose rate stays below a floor: once a whole window has passed, the bytes received since the
// window began must reach the floor's share of the time passed, and a new window begins.
class RateFloor {
public:
    using Clock = std::chrono::steady_clock;

    RateFloor(std::uint32_t bytesPerSecond, std::chrono::milliseconds window, Clock::time_point start);
    // Counts `bytes` received by `now`; raises "Transfer too slow: ..." when a window ends below the floor.
    void Add(std::uint64_t bytes, Clock::time_point now);

private:
    std::uint32_t m_bytesPerSecond;
    std::chrono::milliseconds m_window;
    Clock::time_point m_windowStart;
    std::uint64_t m_bytes = 0;
};

// A transfer that runs on a thread of its own while the caller watches it, because a blocked call of the platform's
// HTTP stack cannot always be ended from outside (a header block that drips restarts its timeouts with every
// byte). When the transfer shows no progress for longer than the limit, the caller gives up: it ends the
// transfer as far as the engine can (CloseTransfer), keeps the bytes on disk for the next attempt (TakeKeptPath),
// and only then reports the failure. From
// then on the transfer thread writes no result, and its next step raises, so that it sends no further request.
class WatchedTransfer {
public:
    // `keptPath` names the bytes of an earlier attempt that this one may continue.
    WatchedTransfer(std::chrono::milliseconds limit,
                    const std::wstring& targetPath,
                    std::wstring giveUpText,
                    const std::wstring& keptPath = std::wstring());
    virtual ~WatchedTransfer() = default;
    WatchedTransfer(const WatchedTransfer&) = delete;
    WatchedTransfer& operator=(const WatchedTransfer&) = delete;

    PartialFile& File() { return m_file; }

    // The transfer made progress. Raises once the caller has given up.
    void Touch();

    // Runs `finish`, which may raise and returns the path of the file it put in place, and hands over success,
    // unless the caller has given up already.
    template <typename Finish>
    void Succeed(Finish&& finish) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_abandoned)
            Fail(L"Abandoned.");
        m_savedPath = finish();
        m_result = DownloadResult(true, std::wstring());
        m_done = true;
        CloseTransfer();
        m_changed.notify_all();
    }

    // Releases everything, then hands over the failure (unless the caller has given up and done so already).
    void Finish(DownloadResult result, std::exception_ptr exception = nullptr);

    // The transfer's result, or (false, the give-up text) once it has shown no progress for longer than the limit.
    DownloadResult Wait();

    // After Wait: the path of the bytes a failed transfer leaves for the next attempt, which the caller now owns
    // (empty when there are none), and what the transfer learnt of the file.
    std::wstring TakeKeptPath();
    // After a successful Wait: the path of the file put in place.
    std::wstring TakeSavedPath();
    FileIdentity Identity();
    void SetIdentity(const FileIdentity& identity);

protected:
    // Ends what the transfer still holds of the network; called under the lock, once the transfer has ended or
    // the caller has given up.
    virtual void CloseTransfer() {}
    // Held while the transfer adopts a handle, so that a caller giving up meanwhile closes it as well.
    std::mutex m_mutex;
    bool m_abandoned = false;

private:
    using Clock = std::chrono::steady_clock;

    std::condition_variable m_changed;
    PartialFile m_file;
    const std::chrono::milliseconds m_limit;
    const std::wstring m_giveUpText;
    Clock::time_point m_lastActivity;
    bool m_done = false;
    DownloadResult m_result{false, std::wstring()};
    std::exception_ptr m_exception;
    std::wstring m_keptPath;
    std::wstring m_savedPath;
    FileIdentity m_identity;
};

// One attempt of one engine at a file.
struct AttemptPlan {
    std::wstring url;
    std::wstring targetPath;
    // The temporary file of earlier attempts, which this one reuses; empty for a new one.
    std::wstring keptPath;
    ResumePoint resume;
    std::shared_ptr<ProgressReporter> progress;
    TransferLimits limits;
    // Set once the user has left: the transfer stops at its next chunk. Shared, since a transfer given up on may
    // outlive the download that planned it.
    std::shared_ptr<const std::atomic<bool>> cancelled;
    // The file's content is checked once it has arrived (a published hash, a required signer): only that can tell
    // a body whose length nobody announced whole.
    bool contentChecked = false;

    bool Cancelled() const { return cancelled && *cancelled; }
};

struct AttemptOutcome {
    bool succeeded = false;
    // What kind of failure it was, when it was one: whether another attempt, or the other engine, may help.
    FailureKind failure = FailureKind::Lasting;
    // The failure text with the engine's tag.
    std::wstring text;
    std::optional<std::chrono::milliseconds> retryAfter;
    // The kept bytes must not be continued.
    bool restart = false;
    // The temporary file the attempt leaves, which the caller now owns; empty when there is none.
    std::wstring keptPath;
    // The file put in place, on success.
    std::wstring savedPath;
    FileId savedId;
    FileIdentity identity;
};

// Starts the body of `answer` (to a request made for `plan`'s resume point) in the transfer's file and in the progress
// that `plan` reports to, as PlaceBody says; returns the whole file's length when known. Refuses first what
// RefuseUnaskedCoding and RequireMarkedEnd refuse.
std::optional<std::uint64_t> BeginBody(WatchedTransfer& transfer, const AttemptPlan& plan, const AnswerHeaders& answer);

// One attempt: `body` runs the transfer on a thread of its own (it owns what it uses, since a transfer given up on
// may outlive the attempt) while the caller waits as long as the transfer's watch allows. The outcome carries
// `tag` before its text, the kind of its failure, and the bytes the attempt kept.
AttemptOutcome RunAttempt(const std::shared_ptr<WatchedTransfer>& transfer,
                          const wchar_t* tag,
                          std::function<void()> body);

}  // namespace download
