// Stands in for the shell behind ui::OpenLink while it lives: records what would have been opened instead of
// starting a browser.
#pragma once

#include "ui/LinkOpener.h"

#include <memory>
#include <string>
#include <vector>

namespace testing_ui {

class ShellRecorder {
public:
    ShellRecorder() {
        ui::SetShellOpenForTesting([opened = m_opened](const std::wstring& url) {
            opened->push_back(url);
            return true;
        });
    }
    ~ShellRecorder() { ui::SetShellOpenForTesting(nullptr); }
    ShellRecorder(const ShellRecorder&) = delete;
    ShellRecorder& operator=(const ShellRecorder&) = delete;

    // The URLs handed to the shell so far, in order.
    std::vector<std::wstring> Opened() const { return *m_opened; }

private:
    std::shared_ptr<std::vector<std::wstring>> m_opened = std::make_shared<std::vector<std::wstring>>();
};

}  // namespace testing_ui
