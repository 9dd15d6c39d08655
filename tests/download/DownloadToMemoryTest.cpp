// Image downloads into memory on detached threads, and the manager's own lifetime.
#include "download/DownloadManager.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <future>
#include <map>
#include <mutex>
#include <thread>

#include "download/DownloadTesting.h"
#include "support/Backend.h"

using namespace download_testing;
using namespace std::chrono_literals;

namespace {

// Collects what the callbacks of image downloads deliver, by URL. The callbacks run on detached threads that may
// outlive a test that gave up waiting, so they share the collection instead of pointing into the test's frame.
class Deliveries {
public:
    struct Delivery {
        bool hasVector = false;
        std::string bytes;
        std::thread::id thread;
    };

    DownloadCallback CallbackFor(const std::string& key) {
        return [shared = m_shared, key](DownloadedBytes bytes) {
            std::lock_guard<std::mutex> lock(shared->mutex);
            Delivery& delivery = shared->deliveries[key];
            delivery.hasVector = bytes != nullptr;
            if (bytes)
                delivery.bytes.assign(bytes->begin(), bytes->end());
            delivery.thread = std::this_thread::get_id();
            shared->changed.notify_all();
        };
    }

    bool WaitFor(size_t count, std::chrono::seconds timeout = 60s) {
        std::unique_lock<std::mutex> lock(m_shared->mutex);
        return m_shared->changed.wait_for(lock, timeout, [&] { return m_shared->deliveries.size() >= count; });
    }

    Delivery Get(const std::string& key) {
        std::lock_guard<std::mutex> lock(m_shared->mutex);
        return m_shared->deliveries[key];
    }

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        std::map<std::string, Delivery> deliveries;
    };
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
};

class MemoryDownload : public DownloadTest {};

}  // namespace

TEST_F(MemoryDownload, TwoImagesDownloadInParallelAndEachCallbackGetsItsOwnBytes) {
    // 25 chunks 20 ms apart: each transfer takes about half a second.
    backend::Script("/f/a.png", {{.bodySize = 200000, .pattern = "A", .chunkDelaySeconds = 0.02, .chunkSize = 8192}});
    backend::Script("/f/b.png", {{.bodySize = 150000, .pattern = "b", .chunkDelaySeconds = 0.02, .chunkSize = 8192}});
    Deliveries deliveries;

    m_manager->DownloadToMemoryAsync(backend::Url("/f/a.png"), deliveries.CallbackFor("a"));
    m_manager->DownloadToMemoryAsync(backend::Url("/f/b.png"), deliveries.CallbackFor("b"));
    ASSERT_TRUE(deliveries.WaitFor(2));

    const auto a = deliveries.Get("a");
    const auto b = deliveries.Get("b");
    EXPECT_TRUE(a.hasVector && a.bytes == std::string(200000, 'A'));
    EXPECT_TRUE(b.hasVector && b.bytes == std::string(150000, 'b'));
    EXPECT_NE(a.thread, b.thread);
    EXPECT_NE(a.thread, std::this_thread::get_id());
    // The second request arrived while the first transfer was still running.
    auto requestsA = backend::Requests("/f/a.png");
    auto requestsB = backend::Requests("/f/b.png");
    ASSERT_EQ(requestsA.size(), 1u);
    ASSERT_EQ(requestsB.size(), 1u);
    EXPECT_LT(std::abs(requestsA[0].time - requestsB[0].time), 0.3);
    EXPECT_EQ(requestsA[0].Header("User-Agent"), "A WinHTTP Example Program/1.0");
}

TEST_F(MemoryDownload, AUrlFailingTwiceGivesAnEmptyVectorAfterTwoAttempts) {
    struct Case {
        const char* name;
        backend::Response response;
    } cases[] = {
        {"server error", {.status = 500, .body = "broken"}},
        {"dropped connection", {.drop = true}},
        {"cut body", {.bodySize = 50000, .contentLength = 90000, .closeAfter = 20000}},
        {"endless body", {.bodySize = 17 * 1024 * 1024, .noContentLength = true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        backend::Reset();
        backend::Script("/f/broken.png", {c.response});
        Deliveries deliveries;

        m_manager->DownloadToMemoryAsync(backend::Url("/f/broken.png"), deliveries.CallbackFor("image"));
        ASSERT_TRUE(deliveries.WaitFor(1));

        const auto delivery = deliveries.Get("image");
        EXPECT_TRUE(delivery.hasVector);
        EXPECT_EQ(delivery.bytes, "");
        EXPECT_EQ(backend::Requests("/f/broken.png").size(), 2u);
    }
}

TEST_F(MemoryDownload, SecondAttemptStartsAtOnceAndKeepsOnlyItsOwnBytes) {
    backend::Script("/f/once.png",
                    {{.body = "partial", .contentLength = 1000, .closeAfter = 7}, {.body = "whole image"}});

    const DownloadedBytes bytes = m_manager->DownloadToMemory(backend::Url("/f/once.png"));

    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "whole image");
    auto requests = backend::Requests("/f/once.png");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_LT(requests[1].time - requests[0].time, 1.0);
}

TEST_F(MemoryDownload, ImagesFollowRedirectsUnderTheSameRule) {
    backend::Script("/f/moved.png", {{.redirect = "/f/real.png"}});
    backend::Script("/f/real.png", {{.body = "png"}});
    DownloadedBytes bytes = m_manager->DownloadToMemory(backend::Url("/f/moved.png"));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "png");

    backend::Script("/f/loop.png", {{.redirect = "/f/loop.png"}});
    bytes = m_manager->DownloadToMemory(backend::Url("/f/loop.png"));
    ASSERT_NE(bytes, nullptr);
    EXPECT_TRUE(bytes->empty());
    // Six redirect responses, and no second attempt: the loop would only answer the same.
    EXPECT_EQ(backend::Requests("/f/loop.png").size(), 6u);

    // An image asked for over https never comes over http.
    backend::Script("/f/plain.png", {{.redirect = "http://localhost/f/real.png"}});
    bytes = m_manager->DownloadToMemory(backend::Url("/f/plain.png"));
    ASSERT_NE(bytes, nullptr);
    EXPECT_TRUE(bytes->empty());
    for (const backend::Request& request : backend::Requests())
        EXPECT_NE(request.listener, "http") << request.path;
}

TEST_F(MemoryDownload, ImageThatTakesTooLongEndsAtItsTimeLimit) {
    download_testing::Reconfigure(*m_manager, [&](download::Settings& s) { s.transfer.imageTimeLimit = 2000ms; });
    backend::Headers headers;
    for (int i = 0; i < 20; ++i)
        headers.push_back({"X-Drip-" + std::to_string(i), "1"});
    // Each fast enough for the rate floor and never silent for long, but 20 s long.
    const struct {
        const char* name;
        backend::Response response;
    } cases[] = {
        {"body", {.bodySize = 400000, .chunkDelaySeconds = 0.05, .chunkSize = 1000}},
        {"header block", {.body = "png", .headers = headers, .headerDelaySeconds = 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        backend::Reset();
        backend::Script("/f/slow.png", {c.response});
        const auto start = std::chrono::steady_clock::now();

        const DownloadedBytes bytes = m_manager->DownloadToMemory(backend::Url("/f/slow.png"));

        ASSERT_NE(bytes, nullptr);
        EXPECT_TRUE(bytes->empty());
        EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
        // The limit covers both attempts.
        EXPECT_EQ(backend::Requests("/f/slow.png").size(), 1u);
    }
}

TEST_F(MemoryDownload, RedirectAnsweredAfterTheTimeLimitIsNotFollowed) {
    download_testing::Reconfigure(*m_manager, [&](download::Settings& s) { s.transfer.imageTimeLimit = 2000ms; });
    backend::Headers headers;
    for (int i = 0; i < 4; ++i)
        headers.push_back({"X-Drip-" + std::to_string(i), "1"});
    // The redirect's header block drips past the limit, so the blocked call returns it after the caller left.
    backend::Script("/f/hop.png", {{.headers = headers, .headerDelaySeconds = 1, .redirect = "/f/real.png"}});
    backend::Script("/f/real.png", {{.body = "png"}});

    const DownloadedBytes bytes = m_manager->DownloadToMemory(backend::Url("/f/hop.png"));
    ASSERT_NE(bytes, nullptr);
    EXPECT_TRUE(bytes->empty());
    // Well past the end of the dripping answer: the image thread has had every chance to follow it.
    std::this_thread::sleep_for(5s);
    EXPECT_EQ(backend::Requests("/f/hop.png").size(), 1u);
    EXPECT_TRUE(backend::Requests("/f/real.png").empty()) << "a request after the download returned";
}

TEST_F(MemoryDownload, CancelledManagerHandsNoVector) {
    backend::Script("/f/late.png", {{.body = "png", .delaySeconds = 0.3}});
    Deliveries deliveries;

    m_manager->DownloadToMemoryAsync(backend::Url("/f/late.png"), deliveries.CallbackFor("image"));
    m_manager->Cancel();
    ASSERT_TRUE(deliveries.WaitFor(1));

    EXPECT_FALSE(deliveries.Get("image").hasVector);
}

TEST_F(MemoryDownload, ThreadKeepsItsManagerAliveAfterEveryoneElseLetGo) {
    backend::Script("/f/slow.png", {{.body = "still here", .delaySeconds = 0.5}});
    Deliveries deliveries;
    std::weak_ptr<DownloadManager> watch = m_manager;

    m_manager->DownloadToMemoryAsync(backend::Url("/f/slow.png"), deliveries.CallbackFor("image"));
    m_manager.reset();
    EXPECT_FALSE(watch.expired());
    ASSERT_TRUE(deliveries.WaitFor(1));

    const auto delivery = deliveries.Get("image");
    EXPECT_TRUE(delivery.hasVector);
    EXPECT_EQ(delivery.bytes, "still here");
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!watch.expired() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(watch.expired());
}

TEST(DownloadManagerInstance, IsCreatedOnceWhicheverThreadAsksFirst) {
    auto first = std::async(std::launch::async, [] { return DownloadManager::GetInstance(); });
    auto second = std::async(std::launch::async, [] { return DownloadManager::GetInstance(); });
    const auto a = first.get();
    const auto b = second.get();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, DownloadManager::GetInstance());
    EXPECT_FALSE(a->IsCancelled());
}
