#include "download/InstallerTrust.h"

#include <windows.h>
#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <memory>
#include <stdexcept>
#include <vector>

#include "download/DownloadLimits.h"
#include "download/Failure.h"
#include "net/Codecs.h"
#include "win32/Handle.h"
#include "win32/Strings.h"

namespace {

// One read of the file per this many bytes: large enough that the hash, not the calls, sets the pace.
constexpr DWORD kHashReadBytes = 1u << 20;

std::wstring HexCode(LONG status) {
    return win32::FormatWide(L"0x%08X", static_cast<unsigned>(status));
}

std::wstring DescribeStatus(LONG status) {
    std::wstring text = download::SystemErrorText(static_cast<DWORD>(status));
    return text.empty() ? HexCode(status) : HexCode(status) + L" - " + text;
}

// Closes the state that WinVerifyTrust keeps for a verification once its signer has been looked at.
class TrustVerification {
public:
    explicit TrustVerification(const std::wstring& path) {
        m_file.cbStruct = sizeof(m_file);
        m_file.pcwszFilePath = path.c_str();
        m_data.cbStruct = sizeof(m_data);
        m_data.dwUIChoice = WTD_UI_NONE;
        // Revocation as the platform's Authenticode policy does it for every program it verifies.
        m_data.fdwRevocationChecks = WTD_REVOKE_NONE;
        m_data.dwUnionChoice = WTD_CHOICE_FILE;
        m_data.pFile = &m_file;
        m_data.dwStateAction = WTD_STATEACTION_VERIFY;
        m_status = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &m_action, &m_data);
    }
    ~TrustVerification() {
        m_data.dwStateAction = WTD_STATEACTION_CLOSE;
        ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &m_action, &m_data);
    }
    TrustVerification(const TrustVerification&) = delete;
    TrustVerification& operator=(const TrustVerification&) = delete;

    LONG Status() const { return m_status; }

    // The first signer as the provider saw it, or null.
    CRYPT_PROVIDER_SGNR* Signer() const {
        CRYPT_PROVIDER_DATA* provider = ::WTHelperProvDataFromStateData(m_data.hWVTStateData);
        return provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
    }

private:
    GUID m_action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    WINTRUST_FILE_INFO m_file{};
    WINTRUST_DATA m_data{};
    LONG m_status = 0;
};

struct ChainFree {
    void operator()(PCCERT_CHAIN_CONTEXT chain) const { ::CertFreeCertificateChain(chain); }
};
using OwnedChain = std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFree>;

// The certificate's usages allow code signing: either it names that usage, or it limits its usages not at all.
bool AllowsCodeSigning(PCCERT_CONTEXT certificate) {
    DWORD size = 0;
    if (!::CertGetEnhancedKeyUsage(certificate, 0, nullptr, &size))
        return ::GetLastError() == static_cast<DWORD>(CRYPT_E_NOT_FOUND);
    std::vector<BYTE> buffer(size);
    auto* usage = reinterpret_cast<CERT_ENHKEY_USAGE*>(buffer.data());
    if (!::CertGetEnhancedKeyUsage(certificate, 0, usage, &size))
        return false;
    if (usage->cUsageIdentifier == 0)
        return ::GetLastError() == static_cast<DWORD>(CRYPT_E_NOT_FOUND);
    for (DWORD i = 0; i < usage->cUsageIdentifier; ++i) {
        if (std::string_view(usage->rgpszUsageIdentifier[i]) == szOID_PKIX_KP_CODE_SIGNING)
            return true;
    }
    return false;
}

std::wstring CommonName(PCCERT_CONTEXT certificate) {
    void* oid = const_cast<char*>(szOID_COMMON_NAME);
    const DWORD length = ::CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, oid, nullptr, 0);
    if (length <= 1)
        return std::wstring();
    std::wstring name(length, L'\0');
    ::CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, 0, oid, name.data(), length);
    name.resize(length - 1);
    return name;
}

// A chain for the signer built here, when the provider kept none: for code signing, at the present time.
OwnedChain BuildChain(PCCERT_CONTEXT certificate) {
    LPSTR usages[] = {const_cast<LPSTR>(szOID_PKIX_KP_CODE_SIGNING)};
    CERT_CHAIN_PARA parameters{};
    parameters.cbSize = sizeof(parameters);
    parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    parameters.RequestedUsage.Usage.cUsageIdentifier = 1;
    parameters.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    PCCERT_CHAIN_CONTEXT chain = nullptr;
    if (!::CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &parameters, 0, nullptr,
                                   &chain))
        return OwnedChain();
    return OwnedChain(chain);
}

}  // namespace

std::string FileSha256Hex(const std::wstring& path, std::wstring& error) {
    auto readFailure = [&error] {
        const DWORD code = ::GetLastError();
        error = download::TextWithCode(L"Downloaded installer cannot be read for its SHA-256: %d - %ls", code);
        return std::string();
    };
    win32::FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file)
        return readFailure();
    try {
        Sha256Hasher hasher;
        std::vector<unsigned char> buffer(kHashReadBytes);
        for (;;) {
            DWORD read = 0;
            if (!::ReadFile(file.Get(), buffer.data(), kHashReadBytes, &read, nullptr))
                return readFailure();
            if (read == 0)
                break;
            hasher.Add(buffer.data(), read);
        }
        return hasher.FinishHex();
    } catch (const std::exception& exception) {
        error = L"Downloaded installer's SHA-256 cannot be computed: " + win32::MultiByteToWide(exception.what(), 0);
        return std::string();
    }
}

std::wstring CheckInstallerHash(const std::wstring& path, const std::string& expected) {
    std::wstring error;
    const std::string actual = FileSha256Hex(path, error);
    if (actual.empty())
        return error;
    std::string wanted = expected;
    for (char& c : wanted)
        if (c >= 'A' && c <= 'F')
            c = static_cast<char>(c - 'A' + 'a');
    if (actual == wanted)
        return std::wstring();
    return win32::FormatWide(L"Downloaded installer does not match its published SHA-256: expected %hs, got %hs.",
                             wanted.substr(0, download::kQuotedValueChars).c_str(), actual.c_str());
}

std::wstring CheckInstallerSigner(const std::wstring& path, const std::wstring& signer) {
    const TrustVerification verification(path);
    const LONG status = verification.Status();
    if (status == TRUST_E_NOSIGNATURE || status == TRUST_E_SUBJECT_FORM_UNKNOWN)
        return L"Downloaded installer is not signed: " + DescribeStatus(status);
    if (status != ERROR_SUCCESS)
        return L"Downloaded installer's signature is not valid: " + DescribeStatus(status);

    CRYPT_PROVIDER_SGNR* provided = verification.Signer();
    if (!provided || provided->csCertChain == 0 || !provided->pasCertChain || !provided->pasCertChain[0].pCert)
        return L"Downloaded installer's signer cannot be read.";
    PCCERT_CONTEXT certificate = provided->pasCertChain[0].pCert;

    // The chain the provider built (at the signature's time stamp, when it has one) is judged again under the
    // Authenticode policy: some platforms let a signature pass without ever applying it. Revocation stays the
    // provider's business.
    OwnedChain own;
    PCCERT_CHAIN_CONTEXT chain = provided->pChainContext;
    if (!chain) {
        own = BuildChain(certificate);
        chain = own.get();
    }
    if (!chain)
        return L"Downloaded installer's signing certificate has no chain.";
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof(policy);
    policy.dwFlags = CERT_CHAIN_POLICY_IGNORE_ALL_REV_UNKNOWN_FLAGS;
    CERT_CHAIN_POLICY_STATUS policyStatus{};
    policyStatus.cbSize = sizeof(policyStatus);
    if (!::CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_AUTHENTICODE, chain, &policy, &policyStatus))
        return L"Downloaded installer's signing certificate cannot be judged: " +
               DescribeStatus(static_cast<LONG>(::GetLastError()));
    if (policyStatus.dwError != 0)
        return L"Downloaded installer's signing certificate is not trusted: " +
               DescribeStatus(static_cast<LONG>(policyStatus.dwError));
    if (!AllowsCodeSigning(certificate))
        return L"Downloaded installer's signing certificate is not for code signing.";

    const std::wstring name = CommonName(certificate);
    if (name != signer) {
        // Both names are quoted cut (the certificate's name is anyone's, the one required is the server's); the
        // verification cleans the whole text.
        const std::wstring shown = name.substr(0, download::kQuotedValueChars);
        const std::wstring required = signer.substr(0, download::kQuotedValueChars);
        return win32::FormatWide(L"Downloaded installer is signed by \"%ls\", not by \"%ls\".", shown.c_str(),
                                 required.c_str());
    }
    return std::wstring();
}
