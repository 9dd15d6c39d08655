// The one verification of a downloaded installer, right after its transfer and before anyone hears of the file:
// the whole-installer check, the published hash and the signer, in that order, on a file held open from the first
// check on, so that nothing can replace it between the checks and its launch.
#pragma once

#include <string>

#include "download/DownloadResult.h"
#include "win32/Handle.h"

namespace download {

// A file opened so that others may read and run it but neither write, rename nor delete it, until the object is
// released or destroyed. Moves from owner to owner: the checks, the page, the start of its process.
class HeldFile {
public:
    // Holds nothing.
    HeldFile() = default;
    explicit HeldFile(const std::wstring& path);

    bool IsHeld() const { return static_cast<bool>(m_file); }
    // The file held; not known when nothing is.
    FileId Id() const { return m_file ? FileIdOf(m_file.Get()) : FileId(); }
    // The error of the opening when the file is not held.
    unsigned long Error() const { return m_error; }
    void Release() { m_file.Reset(); }

private:
    win32::FileHandle m_file;
    unsigned long m_error = 0;
};

// What a downloaded file must be; empty rules ask for nothing beyond holding it.
struct VerificationRules {
    // The file will be run: it must be a whole program or a whole archive.
    bool mustBeWhole = false;
    // 64 hexadecimal digits, either case.
    std::string sha256;
    // The subject common name of the certificate that must have signed the program.
    std::wstring signer;
};

struct VerifiedFile {
    bool ok = false;
    // The failure, when not ok.
    std::wstring text;
    // The file, held when ok. Whoever runs it or hands it over keeps it until then.
    HeldFile held;
};

// Holds the file at `path` and makes the checks `rules` ask for. When `written` is known, the file held must be that
// one: a name that came to stand for another file between the last byte and the hold fails. A file that fails is
// deleted, so that nothing can run it later.
VerifiedFile VerifyInstaller(const std::wstring& path, const VerificationRules& rules, const FileId& written = {});

}  // namespace download
