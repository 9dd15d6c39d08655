// Answers every message box with a given caption that this process shows while the recorder lives, and keeps
// their texts in order. A test that expects no message box still creates one: an unexpected box is then
// answered and reported instead of blocking the test until its time-out.
#pragma once

#include "support/WindowTesting.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_ui {

// The caption of the program's own message boxes: the executable's name without its extension.
inline std::wstring AppCaption() {
    wchar_t path[MAX_PATH] = {};
    std::wstring name(path, ::GetModuleFileNameW(nullptr, path, MAX_PATH));
    name.erase(0, name.find_last_of(L"\\/") + 1);
    return name.substr(0, name.find_last_of(L'.'));
}

class MessageBoxRecorder {
public:
    // Reads a window's text without sending it a message: its thread may be busy, and a text that could not be
    // read must not pass for an empty caption.
    static std::wstring ReadText(HWND window) {
        wchar_t text[1024] = {};
        return window != nullptr ? std::wstring(text, ::InternalGetWindowText(window, text, 1024)) : std::wstring();
    }

    // The visible message box of this process with `caption`: a dialog with the message box's text control.
    static HWND FindMessageBox(const std::wstring& caption) {
        Search search{&caption, nullptr};
        ::EnumWindows(MatchMessageBox, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    explicit MessageBoxRecorder(std::wstring caption = AppCaption(), int button = IDOK)
        : m_state(std::make_shared<State>()) {
        m_state->thread = std::thread([state = m_state, caption = std::move(caption), button] {
            HWND answered = nullptr;
            while (!state->stop) {
                HWND box = FindMessageBox(caption);
                if (box != nullptr && box != answered) {
                    std::wstring text = ReadText(::GetDlgItem(box, 0xFFFF));
                    {
                        std::lock_guard<std::mutex> lock(state->mutex);
                        state->texts.push_back(text);
                    }
                    answered = box;
                    ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
                } else if (box == nullptr) {
                    answered = nullptr;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    ~MessageBoxRecorder() {
        m_state->stop = true;
        m_state->thread.join();
    }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    std::vector<std::wstring> Texts() const {
        std::lock_guard<std::mutex> lock(m_state->mutex);
        return m_state->texts;
    }

private:
    struct Search {
        const std::wstring* caption;
        HWND found;
    };
    static BOOL CALLBACK MatchMessageBox(HWND hwnd, LPARAM lParam) {
        auto* search = reinterpret_cast<Search*>(lParam);
        DWORD process = 0;
        ::GetWindowThreadProcessId(hwnd, &process);
        wchar_t className[16] = {};
        ::GetClassNameW(hwnd, className, 16);
        if (process == ::GetCurrentProcessId() && ::IsWindowVisible(hwnd) && std::wstring(className) == L"#32770" &&
            ::GetDlgItem(hwnd, 0xFFFF) != nullptr && ReadText(hwnd) == *search->caption) {
            search->found = hwnd;
            return FALSE;
        }
        return TRUE;
    }

    struct State {
        std::atomic<bool> stop{false};
        std::mutex mutex;
        std::vector<std::wstring> texts;
        std::thread thread;
    };
    std::shared_ptr<State> m_state;
};

}  // namespace testing_ui
