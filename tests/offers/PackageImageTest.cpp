#include "offers/Package.h"

#include "config/ConfigurationManager.h"
#include "resource.h"
#include "support/Backend.h"
#include "support/WindowTesting.h"

#include <gtest/gtest.h>
#include <objidl.h>
#include <gdiplus.h>

#include <atomic>

using nlohmann::json;

namespace {

std::string ResourceBytes(UINT id, const wchar_t* type) {
    HMODULE self = ::GetModuleHandleW(nullptr);
    HRSRC resource = ::FindResourceW(self, MAKEINTRESOURCEW(id), type);
    const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(self, resource)));
    return std::string(bytes, ::SizeofResource(self, resource));
}

std::shared_ptr<Package> MakeOffer(const std::string& image) {
    json offer = {{"ad", {{"f", "t"}, {"o", "Offer"}}}, {"ps", {{"i", image}, {"dn", "Offer"}, {"u", "https://x/"}}}};
    return std::make_shared<Package>(EventBase(), offer, false, "", 0);
}

class PackageImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing_ui::EnsureGdiplus();
        backend::Reset();
        m_configuration = ConfigurationManager::GetInstance();
        m_savedBase = m_configuration->m_filesBaseUrl;
        m_configuration->m_filesBaseUrl = backend::Url("/f/");
    }
    void TearDown() override { m_configuration->m_filesBaseUrl = m_savedBase; }

    // Starts the download and waits for its completion; false when it never came. The count is shared with the
    // download's thread: a completion that comes after the wait gave up must not write into this stack frame.
    static bool Download(Package& package) {
        auto calls = std::make_shared<std::atomic<int>>(0);
        package.DownloadImage([calls] { ++*calls; });
        bool done = testing_ui::WaitFor([&calls] { return calls->load() > 0; }, std::chrono::seconds(30));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return done && *calls == 1;
    }

    std::shared_ptr<ConfigurationManager> m_configuration;
    std::wstring m_savedBase;
};

}  // namespace

TEST_F(PackageImageTest, ImageComesFromTheFileEndpointAsABitmap) {
    backend::Script("/f/offer1.png", {{.body = ResourceBytes(IDB_PRODUCT_LOGO, RT_IMAGE_PRODUCT_LOGO)}});
    auto package = MakeOffer("offer1.png");
    ASSERT_TRUE(Download(*package));
    ASSERT_TRUE(package->m_image);
    EXPECT_EQ(package->m_image->GetWidth(), 256u);
    EXPECT_EQ(backend::Requests("/f/offer1.png").size(), 1u);
}

TEST_F(PackageImageTest, FailedDownloadLeavesNoImageButCompletes) {
    backend::Script("/f/missing.png", {{.status = 404}});
    auto package = MakeOffer("missing.png");
    ASSERT_TRUE(Download(*package));
    EXPECT_FALSE(package->m_image);
}
