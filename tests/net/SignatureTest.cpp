#include "net/JsonPost.h"

#include <gtest/gtest.h>

#include "config/ConfigurationManager.h"
#include "tests/config/MachineGuidOverride.h"

namespace {

class SignatureHeader : public ::testing::Test {
protected:
    void SetUp() override {
        m_savedTimestamp = m_configuration->m_timestamp;
        m_configuration->m_timestamp = "20240101120000";
        m_configuration->m_machineGuid.clear();
    }
    void TearDown() override {
        m_configuration->m_timestamp = m_savedTimestamp;
        m_configuration->m_machineGuid.clear();
    }

    MachineGuidOverride m_guid{KEY_WOW64_64KEY};
    std::shared_ptr<ConfigurationManager> m_configuration = ConfigurationManager::GetInstance();
    std::string m_savedTimestamp;
};

}  // namespace

TEST_F(SignatureHeader, HashesMachineGuidFollowedByTimestamp) {
    ASSERT_TRUE(m_guid.Set("{5e8a1c2b-0000-4d2e-9c3b-123456789abc}"));
    auto [name, value] = MakeSignatureHeader();
    EXPECT_EQ(name, L"Authorization");
    EXPECT_EQ(value, L"Signature=c220914a846340ed40926685242d94e0538df22cdd570ff37a8b8d933fc322cb");
}

TEST_F(SignatureHeader, HashesTimestampAloneWhenMachineGuidIsUnreadable) {
    ASSERT_TRUE(m_guid.Remove());
    EXPECT_EQ(MakeSignatureHeader().second,
              L"Signature=d578e06087bf6349cdb1aa990c10cddf907fce1122735247ebe94e1d26265e0e");
}
