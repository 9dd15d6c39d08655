// What a downloaded installer must be before it runs: the file whose SHA-256 the configuration published, and
// a program signed by the named publisher under a trusted code-signing chain. The signed programs are made at
// test time (make-signed-fixtures.sh); their CA is trusted here, inside the project's own prefix, and nowhere else.
#include "download/InstallerTrust.h"

#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "download/InstallerLaunch.h"
#include "offers/PublishedHash.h"
#include "download/DownloadResult.h"
#include "download/InstallerVerification.h"
#include "net/Codecs.h"
#include "support/ProgramOutput.h"
#include "win32/Strings.h"

namespace {

// The checks' verdict on `path`, with the file let go again.
DownloadResult Verify(const std::wstring& path, const download::VerificationRules& rules) {
    const download::VerifiedFile verified = download::VerifyInstaller(path, rules);
    return {verified.ok, verified.text};
}

class TrustFile : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, folder);
        m_path = std::wstring(folder) + L"installer-trust-" + std::to_wstring(::GetCurrentProcessId()) + L".bin";
    }
    void TearDown() override { ::DeleteFileW(m_path.c_str()); }

    void Write(const std::string& bytes) {
        std::ofstream out(m_path.c_str(), std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    bool Exists() const { return ::GetFileAttributesW(m_path.c_str()) != INVALID_FILE_ATTRIBUTES; }

    std::wstring m_path;
};

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'f')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

const char kAbcSha256[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

}  // namespace

TEST(InstallerTrustRules, Sha256TextIsSixtyFourHexDigitsOfEitherCase) {
    const std::string digits(kAbcSha256);
    struct Case {
        std::string text;
        bool valid;
    };
    const std::vector<Case> cases = {
        {digits, true},
        {Upper(digits), true},
        {digits.substr(0, 63), false},
        {digits + "0", false},
        {"", false},
        {digits.substr(0, 63) + "g", false},
        {" " + digits.substr(1), false},
        {"0x" + digits.substr(2), false},
        {std::string(64, '0'), true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsSha256Text(c.text), c.valid) << c.text;
}

// One streamed pass gives the same digest as the whole bytes at once, across the reads' piece boundary.
TEST_F(TrustFile, FileHashIsTheDigestOfTheWholeFile) {
    Write("abc");
    std::wstring error;
    EXPECT_EQ(FileSha256Hex(m_path, error), kAbcSha256);
    EXPECT_EQ(error, L"");

    std::string large((3u << 20) + 17, '\0');
    for (size_t i = 0; i < large.size(); ++i)
        large[i] = static_cast<char>(i % 251);
    Write(large);
    EXPECT_EQ(FileSha256Hex(m_path, error), Sha256Hex(large));

    Write("");
    EXPECT_EQ(FileSha256Hex(m_path, error), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

    EXPECT_EQ(FileSha256Hex(m_path + L".missing", error), "");
    EXPECT_EQ(error.rfind(L"Downloaded installer cannot be read for its SHA-256: 2 - ", 0), 0u)
        << win32::WideToUtf8(error);
}

TEST_F(TrustFile, HashMismatchFailsNamingBothDigestsAndDeletesTheFile) {
    struct Case {
        const char* name;
        std::string expected;
        std::wstring failure;
    };
    const std::string other(64, 'e');
    // Only the last digit differs: a comparison of anything less than the whole digest lets it pass.
    std::string lastDigit = kAbcSha256;
    lastDigit.back() = lastDigit.back() == '0' ? '1' : '0';
    const std::vector<Case> cases = {
        {"right hash", kAbcSha256, L""},
        {"upper-case hex", Upper(kAbcSha256), L""},
        {"no hash asked for", "", L""},
        {"wrong hash", other,
         L"Downloaded installer does not match its published SHA-256: expected " + win32::Utf8ToWide(other) +
             L", got " + win32::Utf8ToWide(kAbcSha256) + L"."},
        {"wrong last digit", lastDigit,
         L"Downloaded installer does not match its published SHA-256: expected " + win32::Utf8ToWide(lastDigit) +
             L", got " + win32::Utf8ToWide(kAbcSha256) + L"."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write("abc");
        const DownloadResult result = Verify(m_path, {.sha256 = c.expected});
        EXPECT_EQ(result.first, c.failure.empty());
        EXPECT_EQ(result.second, c.failure);
        EXPECT_EQ(Exists(), c.failure.empty());
    }
}

namespace {

// The programs of make-signed-fixtures.sh, in the folder the test run names.
std::wstring Fixture(const wchar_t* name) {
    const char* folder = std::getenv("WAYFARER_SIGNED_FIXTURES");
    return folder ? win32::Utf8ToWide(folder) + L"\\" + name : std::wstring();
}

std::vector<BYTE> ReadBytes(const std::wstring& path) {
    std::ifstream file(path.c_str(), std::ios::binary);
    return std::vector<BYTE>((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

// Trusts the test code-signing CA in this prefix's machine Root store, as tools/win/trustca does for the TLS CA.
void TrustTestCa() {
    const std::vector<BYTE> der = ReadBytes(Fixture(L"ca.der"));
    ASSERT_FALSE(der.empty()) << "no signed fixtures: WAYFARER_SIGNED_FIXTURES is not set by the test run";
    HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                       CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, L"Root");
    ASSERT_NE(store, nullptr);
    const BOOL added = ::CertAddEncodedCertificateToStore(
        store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    ::CertCloseStore(store, 0);
    ASSERT_TRUE(added);
}

}  // namespace

// Each case as Wine verifies it. WinVerifyTrust alone catches the missing signature and the changed byte; the
// untrusted CA, the expired certificate and the wrong usage pass it under Wine and are caught by the chain
// policy and the usage check that follow.
TEST(InstallerSigner, OnlyTheNamedPublisherUnderATrustedCodeSigningChainPasses) {
    TrustTestCa();
    struct Case {
        const wchar_t* file;
        const wchar_t* signer;
        std::wstring failureStart;
    };
    const std::vector<Case> cases = {
        {L"right.exe", L"Wayfarer Test Publisher", L""},
        {L"right.exe", L"Wayfarer Test", L"Downloaded installer is signed by \"Wayfarer Test Publisher\", not by "},
        // A name the signer's only ends with is another publisher.
        {L"right.exe", L"Test Publisher",
         L"Downloaded installer is signed by \"Wayfarer Test Publisher\", not by \"Test Publisher\"."},
        {L"other.exe", L"Wayfarer Test Publisher",
         L"Downloaded installer is signed by \"Wayfarer Other Publisher\", not by \"Wayfarer Test Publisher\"."},
        {L"unsigned.exe", L"Wayfarer Test Publisher", L"Downloaded installer is not signed: 0x800B0100"},
        {L"tampered.exe", L"Wayfarer Test Publisher", L"Downloaded installer's signature is not valid: 0x80096010"},
        {L"untrusted.exe", L"Wayfarer Test Publisher", L"Downloaded installer's signing certificate is not trusted"},
        {L"expired.exe", L"Wayfarer Test Publisher",
         L"Downloaded installer's signing certificate is not trusted: 0x800B0101"},
        {L"serverauth.exe", L"Wayfarer Test Publisher", L"Downloaded installer's signing certificate is not"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(win32::WideToUtf8(c.file));
        const std::wstring failure = CheckInstallerSigner(Fixture(c.file), c.signer);
        if (c.failureStart.empty())
            EXPECT_EQ(failure, L"");
        else
            EXPECT_EQ(failure.substr(0, c.failureStart.size()), c.failureStart) << win32::WideToUtf8(failure);
    }
}

// The signer rule on a downloaded file: a refused program is deleted like a file whose hash does not match.
TEST(InstallerSigner, RefusedProgramIsDeleted) {
    TrustTestCa();
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    const std::wstring copy = std::wstring(folder) + L"installer-signer-" + std::to_wstring(::GetCurrentProcessId());
    for (const wchar_t* file : {L"right.exe", L"other.exe"}) {
        ASSERT_TRUE(::CopyFileW(Fixture(file).c_str(), (copy + file).c_str(), FALSE));
        const DownloadResult result = Verify(copy + file, {.signer = L"Wayfarer Test Publisher"});
        const bool right = std::wstring(file) == L"right.exe";
        EXPECT_EQ(result.first, right) << win32::WideToUtf8(result.second);
        EXPECT_EQ(::GetFileAttributesW((copy + file).c_str()) != INVALID_FILE_ATTRIBUTES, right);
        ::DeleteFileW((copy + file).c_str());
    }
}

namespace {

// What another process makes of `path` when it tries to overwrite it, rename it and delete it: the file's bytes
// and whether the renamed copy appeared.
struct Tampering {
    std::vector<BYTE> bytes;
    bool renamed;
};

Tampering TamperFromAnotherProcess(const std::wstring& path, const std::wstring& other) {
    const std::wstring renamed = path + L".swapped";
    const std::wstring name = renamed.substr(renamed.rfind(L'\\') + 1);
    for (const std::wstring& command :
         {L"cmd.exe /c copy /y \"" + other + L"\" \"" + path + L"\"",
          L"cmd.exe /c ren \"" + path + L"\" \"" + name + L"\"", L"cmd.exe /c del /f /q \"" + path + L"\""}) {
        const testing_programs::ProgramRun run = testing_programs::RunCapturingOutput(command);
        EXPECT_TRUE(run.started) << win32::WideToUtf8(command);
    }
    Tampering result{ReadBytes(path), ::GetFileAttributesW(renamed.c_str()) != INVALID_FILE_ATTRIBUTES};
    ::DeleteFileW(renamed.c_str());
    return result;
}

}  // namespace

// A verified installer is held from its checks until its process has started: another process can neither write,
// rename nor delete it meanwhile, yet it runs. Once let go, the same attempts succeed.
TEST(InstallerHold, AVerifiedFileCannotBeReplacedBeforeItRunsAndStillRuns) {
    TrustTestCa();
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    const std::wstring copy = std::wstring(folder) + L"installer-hold-" + std::to_wstring(::GetCurrentProcessId());
    const std::wstring installer = copy + L".exe";
    ASSERT_TRUE(::CopyFileW(Fixture(L"right.exe").c_str(), installer.c_str(), FALSE));
    const std::vector<BYTE> original = ReadBytes(installer);

    download::VerifiedFile verified =
        download::VerifyInstaller(installer, {.mustBeWhole = true, .sha256 = "", .signer = L"Wayfarer Test Publisher"});
    ASSERT_TRUE(verified.ok) << win32::WideToUtf8(verified.text);
    ASSERT_TRUE(verified.held.IsHeld());

    const Tampering held = TamperFromAnotherProcess(installer, Fixture(L"other.exe"));
    EXPECT_TRUE(held.bytes == original) << "the held file was changed or removed";
    EXPECT_FALSE(held.renamed);

    // Held files run.
    const ProcessResult run = RunProcess(installer, L"", true);
    EXPECT_EQ(run, ProcessResult(0, L""));
    verified.held.Release();

    const Tampering free = TamperFromAnotherProcess(installer, Fixture(L"other.exe"));
    EXPECT_TRUE(free.renamed) << "the file was never held: the test shows nothing";
    ::DeleteFileW(installer.c_str());
}
