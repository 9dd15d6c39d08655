// The COM owners the Shell unpacking relies on: each reference is released exactly once, whatever moves it.
#include "win32/Handle.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

// Counts what is done to it; never freed by Release, so the test can read the count afterwards.
class CountingObject : public IUnknown {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        ++m_releases;
        return --m_references;
    }

    ULONG m_references = 1;
    int m_releases = 0;
};

TEST(ComOwners, EachReferenceIsReleasedOnceAcrossMoves) {
    CountingObject object;
    {
        win32::ComPtr<CountingObject> first;
        *first.Put() = &object;
        win32::ComPtr<CountingObject> second(std::move(first));
        EXPECT_FALSE(first);
        win32::ComPtr<CountingObject> third;
        third = std::move(second);
        EXPECT_FALSE(second);
        third = std::move(third);
        EXPECT_EQ(third.Get(), &object);
        EXPECT_EQ(object.m_releases, 0);
    }
    EXPECT_EQ(object.m_releases, 1);

    // Put releases what was held before it is filled again.
    CountingObject other;
    win32::ComPtr<CountingObject> holder;
    *holder.Put() = &object;
    *holder.Put() = &other;
    EXPECT_EQ(object.m_releases, 2);
    holder.Reset();
    holder.Reset();
    EXPECT_EQ(other.m_releases, 1);
}

TEST(ComOwners, StringKeepsEveryCharacter) {
    const std::wstring text(L"C:\\Temp\\a\0b \u00e9.zip", 17);
    win32::BString copy(text);
    EXPECT_EQ(::SysStringLen(copy.Get()), text.size());
    EXPECT_EQ(std::wstring(copy.Get(), ::SysStringLen(copy.Get())), text);
}

}  // namespace
