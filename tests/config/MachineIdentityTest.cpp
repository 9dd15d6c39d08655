#include "config/MachineIdentity.h"

#include <gtest/gtest.h>

#include "config/ConfigurationManager.h"
#include "tests/config/MachineGuidOverride.h"

namespace {

bool IsNative64Bit() {
    SYSTEM_INFO info{};
    ::GetNativeSystemInfo(&info);
    return info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
}

class MachineIdentity : public ::testing::Test {
protected:
    void SetUp() override { m_configuration->m_machineGuid.clear(); }
    void TearDown() override { m_configuration->m_machineGuid.clear(); }

    MachineGuidOverride m_guid64{KEY_WOW64_64KEY};
    MachineGuidOverride m_guid32{KEY_WOW64_32KEY};
    std::shared_ptr<ConfigurationManager> m_configuration = ConfigurationManager::GetInstance();
};

}  // namespace

TEST_F(MachineIdentity, ReadsTheValueOfThe64BitView) {
    ASSERT_TRUE(m_guid32.Set("guid-of-the-32-bit-view"));
    ASSERT_TRUE(m_guid64.Set("5e8a1c2b-0000-4d2e-9c3b-123456789abc"));
    // On 32-bit Windows both names lead to the one view, so the last write is what both see.
    EXPECT_EQ(ReadMachineGuid(), "5e8a1c2b-0000-4d2e-9c3b-123456789abc");

    if (IsNative64Bit()) {
        ASSERT_TRUE(m_guid64.Remove());
        EXPECT_EQ(ReadMachineGuid(), "") << "the 32-bit view is never consulted";
    }
}

TEST_F(MachineIdentity, ValueThatDoesNotFitGivesEmptyText) {
    ASSERT_TRUE(m_guid64.Set(std::string(253, 'g')));
    EXPECT_EQ(ReadMachineGuid(), std::string(253, 'g')) << "253 characters and the terminator fit in 254 bytes";
    ASSERT_TRUE(m_guid64.Set(std::string(254, 'g')));
    EXPECT_EQ(ReadMachineGuid(), "");
}

TEST_F(MachineIdentity, EmptyResultIsNotCachedButAReadOneIs) {
    ASSERT_TRUE(m_guid64.Remove());
    EXPECT_EQ(m_configuration->GetMachineGuid(), "");

    ASSERT_TRUE(m_guid64.Set("first-guid"));
    EXPECT_EQ(m_configuration->GetMachineGuid(), "first-guid") << "a failed read is tried again";

    ASSERT_TRUE(m_guid64.Set("second-guid"));
    EXPECT_EQ(m_configuration->GetMachineGuid(), "first-guid") << "read once per run";
}
