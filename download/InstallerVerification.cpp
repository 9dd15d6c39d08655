#include "download/InstallerVerification.h"

#include <windows.h>

#include "download/Failure.h"
#include "download/InstallerCheck.h"
#include "download/InstallerTrust.h"
#include "win32/Strings.h"

namespace download {

HeldFile::HeldFile(const std::wstring& path) {
    // Reading and running stay open to everyone: the checks read the file by its name, and so does the loader.
    m_file.Reset(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_file)
        m_error = ::GetLastError();
}

namespace {

std::wstring Check(const std::wstring& path, const VerificationRules& rules) {
    if (rules.mustBeWhole) {
        std::wstring failure = CheckInstallerIsWhole(path);
        if (!failure.empty())
            return failure;
    }
    if (!rules.sha256.empty()) {
        std::wstring failure = CheckInstallerHash(path, rules.sha256);
        if (!failure.empty())
            return failure;
    }
    if (!rules.signer.empty())
        return CheckInstallerSigner(path, rules.signer);
    return {};
}

}  // namespace

VerifiedFile VerifyInstaller(const std::wstring& path, const VerificationRules& rules, const FileId& written) {
    VerifiedFile verified;
    verified.held = HeldFile(path);
    if (!verified.held.IsHeld()) {
        verified.text = TextWithCode(L"Downloaded installer cannot be read: %d - %ls", verified.held.Error());
    } else if (written.known && verified.held.Id() != written) {
        verified.text = L"Downloaded installer was replaced before it could be checked.";
    } else {
        verified.text = Check(path, rules);
    }
    verified.ok = verified.text.empty();
    if (verified.ok)
        return verified;
    verified.held.Release();
    verified.text = CleanFailureText(std::move(verified.text));
    // What failed its check must not be started later by anyone.
    if (!::DeleteFileW(path.c_str()))
        ::MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return verified;
}

}  // namespace download
