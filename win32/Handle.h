// Move-only owners for Win32 handles. Every handle the program acquires is held by one of these, so it is
// released on every path because it is owned, not because each path remembers to release it.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <new>
#include <string>
#include <utility>

// WinHTTP and WinINet each declare HINTERNET and cannot share a translation unit, so their close functions are
// declared here by hand (identically to their headers) and either header may be included beside this one.
extern "C" {
__declspec(dllimport) BOOL WINAPI WinHttpCloseHandle(LPVOID handle);
__declspec(dllimport) BOOL WINAPI InternetCloseHandle(LPVOID handle);
}

namespace win32 {

// Traits: `Invalid()` names the value that means "no handle" (null versus INVALID_HANDLE_VALUE) and `Close`
// releases a valid one.
template <typename Traits>
class UniqueHandle {
public:
    using Type = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(Type handle) : m_handle(handle) {}
    ~UniqueHandle() { Reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : m_handle(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    Type Get() const { return m_handle; }
    bool IsValid() const { return m_handle != Traits::Invalid(); }
    explicit operator bool() const { return IsValid(); }

    // Gives up ownership without closing.
    [[nodiscard]] Type Release() { return std::exchange(m_handle, Traits::Invalid()); }

    // Closes the held handle (keeping the caller's last error intact) and takes `handle`.
    void Reset(Type handle = Traits::Invalid()) {
        Type old = std::exchange(m_handle, handle);
        if (old != Traits::Invalid()) {
            DWORD lastError = ::GetLastError();
            Traits::Close(old);
            ::SetLastError(lastError);
        }
    }

    // For APIs that fill a handle through a pointer: closes the current one first.
    Type* Put() {
        Reset();
        return &m_handle;
    }

private:
    Type m_handle = Traits::Invalid();
};

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::CloseHandle(h); }
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::FindClose(h); }
};

struct RegKeyTraits {
    using Type = HKEY;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::RegCloseKey(h); }
};

struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::DeleteObject(h); }
};

struct GlobalMemoryTraits {
    using Type = HGLOBAL;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::GlobalFree(h); }
};

// Memory the system allocated for the caller with LocalAlloc (security descriptors, message texts).
struct LocalMemoryTraits {
    using Type = HLOCAL;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::LocalFree(h); }
};

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::FreeLibrary(h); }
};

struct HookTraits {
    using Type = HHOOK;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::UnhookWindowsHookEx(h); }
};

struct WinHttpHandleTraits {
    using Type = LPVOID;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::WinHttpCloseHandle(h); }
};

struct InternetHandleTraits {
    using Type = LPVOID;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::InternetCloseHandle(h); }
};

using Handle = UniqueHandle<KernelHandleTraits>;
using FileHandle = UniqueHandle<FileHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using RegKey = UniqueHandle<RegKeyTraits>;
using GdiObject = UniqueHandle<GdiObjectTraits>;
using WinHttpHandle = UniqueHandle<WinHttpHandleTraits>;
using InternetHandle = UniqueHandle<InternetHandleTraits>;
using GlobalMemory = UniqueHandle<GlobalMemoryTraits>;
using LocalMemory = UniqueHandle<LocalMemoryTraits>;
using Module = UniqueHandle<ModuleTraits>;
using Hook = UniqueHandle<HookTraits>;

// A brush owned by its holder, typed so that it can be returned from WM_CTLCOLOR* handlers directly.
class Brush {
public:
    Brush() = default;
    explicit Brush(COLORREF colour) : m_brush(::CreateSolidBrush(colour)) {}
    HBRUSH Get() const { return static_cast<HBRUSH>(m_brush.Get()); }
    explicit operator bool() const { return m_brush.IsValid(); }

private:
    GdiObject m_brush;
};

// COM on the calling thread for the owner's lifetime. The matching CoUninitialize runs only when the
// initialisation succeeded (S_FALSE included): a failed call, such as one refused because the thread already
// lives in another apartment, must not take away the apartment its owner set up.
class ComInitialization {
public:
    ComInitialization() : m_result(::CoInitialize(nullptr)) {}
    ~ComInitialization() {
        if (SUCCEEDED(m_result))
            ::CoUninitialize();
    }
    ComInitialization(const ComInitialization&) = delete;
    ComInitialization& operator=(const ComInitialization&) = delete;

    bool Succeeded() const { return SUCCEEDED(m_result); }
    HRESULT Result() const { return m_result; }

private:
    HRESULT m_result;
};

// One reference to a COM interface, released when the owner goes.
template <typename Interface>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            m_pointer = std::exchange(other.m_pointer, nullptr);
        }
        return *this;
    }

    Interface* Get() const { return m_pointer; }
    Interface* operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }

    void Reset() {
        if (Interface* old = std::exchange(m_pointer, nullptr))
            old->Release();
    }
    // For calls that return an interface through a pointer: releases the current one first.
    Interface** Put() {
        Reset();
        return &m_pointer;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }

private:
    Interface* m_pointer = nullptr;
};

// A BSTR owned by its holder. Allocation failure raises std::bad_alloc, as any other allocation would.
class BString {
public:
    explicit BString(const std::wstring& text);
    ~BString() { ::SysFreeString(m_text); }
    BString(const BString&) = delete;
    BString& operator=(const BString&) = delete;

    BSTR Get() const { return m_text; }

private:
    BSTR m_text;
};

// Runs a callable when the scope ends, for the cases an owner type does not cover.
template <typename F>
class ScopeExit {
public:
    explicit ScopeExit(F f) : m_f(std::move(f)) {}
    ~ScopeExit() {
        if (m_active)
            m_f();
    }
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    void Dismiss() { m_active = false; }

private:
    F m_f;
    bool m_active = true;
};

inline BString::BString(const std::wstring& text)
    : m_text(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {
    if (m_text == nullptr)
        throw std::bad_alloc();
}

}  // namespace win32
