// The test frame with a way to add real pages after the loading page, for the tests of single pages.
#pragma once

#include "pages/FrameHarness.h"

#include <memory>

namespace testing_frame {

class PageFrame : public TestFrame {
public:
    using CWayfarerDlg::m_languageManager;

    // Adds `page` after the last page, as the frame adds the pages it creates, and returns its index.
    int AddPage(std::unique_ptr<IPage> page) {
        CreateAndAddPage(std::move(page), GetPageRect());
        return static_cast<int>(m_pages.size()) - 1;
    }
};

}  // namespace testing_frame
