// The frame harness itself: a run whose step cannot finish fails the test and ends, whatever loop the frame's
// thread is in at that moment, instead of hanging the whole test program.
#include "pages/FrameHarness.h"

#include <gtest/gtest.h>
#include <gtest/gtest-spi.h>

namespace {

using testing_frame::RunFrame;
using testing_frame::TestFrame;

class FrameHarnessTest : public ::testing::Test {
protected:
    void SetUp() override { testing_ui::EnsureGdiplus(); }
};

TEST_F(FrameHarnessTest, AStepThatCannotFinishFailsAndEndsTheRun) {
    struct Case {
        const char* name;
        // Set up before the frame starts; what it returns lives until the run is over.
        std::function<win32::Handle()> before;
        std::function<bool(TestFrame&)> step;
        const char* failure;
    };
    const Case cases[] = {
        {"a step that waits for ever", [] { return win32::Handle(); }, [](TestFrame&) { return false; },
         "step 1 timed out"},
        // Nobody answers the box: its loop ticks while the step is still running.
        {"a message box that a step opened", [] { return win32::Handle(); },
         [](TestFrame& frame) {
             ::MessageBoxW(frame.GetHwnd(), L"Nobody answers", L"Harness", MB_OK);
             return true;
         },
         "step 1 timed out inside a nested loop"},
        // Another installer holds the single-instance mutex: the frame asks its question before it is ever
        // shown, so the very first step cannot finish.
        {"a message box while the frame starts",
         [] {
             return win32::Handle(::CreateMutexW(
                 nullptr, TRUE, CWayfarerDlg::MakeInstanceMutexName(ConfigurationManager::GetWizardTypeKey()).c_str()));
         },
         [](TestFrame&) { return true; }, "step 0 timed out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        win32::Handle held = c.before();
        TestFrame frame;
        ::testing::TestPartResultArray failures;
        {
            ::testing::ScopedFakeTestPartResultReporter reporter(
                ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
            RunFrame(frame,
                     {[&] { return c.step(frame); },
                      [&] {
                          frame.EndDialog(1);
                          return true;
                      }},
                     std::chrono::seconds(2));
        }
        ASSERT_EQ(failures.size(), 1);
        EXPECT_TRUE(failures.GetTestPartResult(0).nonfatally_failed());
        EXPECT_NE(std::string(failures.GetTestPartResult(0).message()).find(c.failure), std::string::npos)
            << failures.GetTestPartResult(0).message();
        EXPECT_FALSE(frame.IsVisible());
    }
}

}  // namespace
