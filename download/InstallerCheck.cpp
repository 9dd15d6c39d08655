#include "download/InstallerCheck.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "download/Failure.h"
#include "win32/Handle.h"
#include "win32/Strings.h"

namespace {

const wchar_t kCutHeaders[] = L"Downloaded installer is incomplete: its headers are cut short.";
const wchar_t kCutSections[] = L"Downloaded installer is incomplete: its sections reach beyond the end of the file.";
const wchar_t kCutSignature[] =
    L"Downloaded installer is incomplete: its signature table reaches beyond the end of the file.";
const wchar_t kCutArchive[] = L"Downloaded installer is incomplete: the archive's end record is missing or wrong.";
const wchar_t kUnknownKind[] = L"Downloaded installer is neither a program nor an archive.";

constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::uint32_t kSecurityDirectory = 4;
constexpr std::uint32_t kSectionHeaderBytes = 40;
constexpr std::uint32_t kZipEndSignature = 0x06054B50;
constexpr std::uint32_t kZipCentralSignature = 0x02014B50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr std::uint32_t kZip64EndSignature = 0x06064B50;
constexpr std::uint32_t kZipEndBytes = 22;
constexpr std::uint32_t kZipMaxComment = 0xFFFF;
const unsigned char k7zSignature[] = {0x37, 0x7A, 0xBC, 0xAF, 0x27, 0x1C};

// Reads pieces of a file at given offsets; a piece that does not lie wholly inside the file is empty.
class FileReader {
public:
    explicit FileReader(const std::wstring& path)
        : m_file(::CreateFileW(path.c_str(),
                               GENERIC_READ,
                               FILE_SHARE_READ,
                               nullptr,
                               OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL,
                               nullptr)) {
        LARGE_INTEGER size{};
        if (m_file && ::GetFileSizeEx(m_file.Get(), &size))
            m_size = static_cast<std::uint64_t>(size.QuadPart);
        else
            m_error = ::GetLastError();
    }

    DWORD Error() const { return m_error; }
    std::uint64_t Size() const { return m_size; }
    bool Contains(std::uint64_t offset, std::uint64_t count) const {
        return offset <= m_size && count <= m_size - offset;
    }

    std::vector<unsigned char> Read(std::uint64_t offset, std::uint32_t count) const {
        std::vector<unsigned char> bytes(count);
        LARGE_INTEGER position{};
        position.QuadPart = static_cast<LONGLONG>(offset);
        DWORD read = 0;
        if (!Contains(offset, count) || !::SetFilePointerEx(m_file.Get(), position, nullptr, FILE_BEGIN) ||
            !::ReadFile(m_file.Get(), bytes.data(), count, &read, nullptr) || read != count)
            return {};
        return bytes;
    }

private:
    win32::FileHandle m_file;
    std::uint64_t m_size = 0;
    DWORD m_error = ERROR_SUCCESS;
};

std::uint16_t U16(const std::vector<unsigned char>& bytes, size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t U32(const std::vector<unsigned char>& bytes, size_t at) {
    return static_cast<std::uint32_t>(U16(bytes, at)) | static_cast<std::uint32_t>(U16(bytes, at + 2)) << 16;
}

std::uint64_t U64(const std::vector<unsigned char>& bytes, size_t at) {
    return static_cast<std::uint64_t>(U32(bytes, at)) | static_cast<std::uint64_t>(U32(bytes, at + 4)) << 32;
}

// A program: its headers, the raw data of every section and the signature table (whose directory entry holds a
// file offset, not an address) lie inside the file. Data appended after the sections cannot be told from a cut
// unless it is signed, since the signature table follows it.
std::wstring CheckProgram(const FileReader& file) {
    const auto dos = file.Read(0, 64);
    if (dos.empty())
        return kCutHeaders;
    const std::uint32_t peOffset = U32(dos, 0x3C);
    const auto coff = file.Read(peOffset, 24);
    if (coff.empty())
        return kCutHeaders;
    if (U32(coff, 0) != kPeSignature)
        return kUnknownKind;
    const std::uint16_t sectionCount = U16(coff, 6);
    const std::uint16_t optionalSize = U16(coff, 20);
    const std::uint64_t optionalOffset = static_cast<std::uint64_t>(peOffset) + 24;
    const auto optional = file.Read(optionalOffset, optionalSize);
    if (optionalSize < 2 || optional.empty())
        return kCutHeaders;

    const std::uint16_t magic = U16(optional, 0);
    size_t directoryCountAt = 0;
    if (magic == kPe32Magic)
        directoryCountAt = 92;
    else if (magic == kPe32PlusMagic)
        directoryCountAt = 108;
    else
        return kUnknownKind;
    if (optional.size() < directoryCountAt + 4)
        return kCutHeaders;
    const std::uint32_t directoryCount = U32(optional, directoryCountAt);
    const size_t securityAt = directoryCountAt + 4 + kSecurityDirectory * 8;
    std::optional<std::pair<std::uint32_t, std::uint32_t>> security;
    if (directoryCount > kSecurityDirectory && optional.size() >= securityAt + 8)
        security.emplace(U32(optional, securityAt), U32(optional, securityAt + 4));

    const std::uint64_t tableOffset = optionalOffset + optionalSize;
    const auto table = file.Read(tableOffset, static_cast<std::uint32_t>(sectionCount) * kSectionHeaderBytes);
    if (sectionCount > 0 && table.empty())
        return kCutHeaders;
    for (std::uint32_t i = 0; i < sectionCount; ++i) {
        const size_t header = static_cast<size_t>(i) * kSectionHeaderBytes;
        const std::uint32_t rawSize = U32(table, header + 16);
        const std::uint32_t rawOffset = U32(table, header + 20);
        if (rawSize > 0 && !file.Contains(rawOffset, rawSize))
            return kCutSections;
    }
    if (security && security->second > 0 && !file.Contains(security->first, security->second))
        return kCutSignature;
    return {};
}

// A ZIP archive: its end record sits at the very end (after a comment of the length it declares), and the
// central directory it points to lies before it and starts as one.
std::wstring CheckZip(const FileReader& file) {
    if (file.Size() < kZipEndBytes)
        return kCutArchive;
    const std::uint64_t searched = std::min<std::uint64_t>(file.Size(), kZipEndBytes + kZipMaxComment);
    const auto tail = file.Read(file.Size() - searched, static_cast<std::uint32_t>(searched));
    if (tail.empty())
        return kCutArchive;
    for (size_t at = tail.size() - kZipEndBytes + 1; at-- > 0;) {
        if (U32(tail, at) != kZipEndSignature || at + kZipEndBytes + U16(tail, at + 20) != tail.size())
            continue;
        const std::uint64_t endOffset = file.Size() - searched + at;
        std::uint64_t entries = U16(tail, at + 10);
        std::uint64_t directorySize = U32(tail, at + 12);
        std::uint64_t directoryOffset = U32(tail, at + 16);
        std::uint64_t directoryEnd = endOffset;
        if (directoryOffset == 0xFFFFFFFF || directorySize == 0xFFFFFFFF || entries == 0xFFFF) {
            // ZIP64: the locator just before the end record points to the larger end record.
            const auto locator = endOffset >= 20 ? file.Read(endOffset - 20, 20) : std::vector<unsigned char>();
            if (locator.empty() || U32(locator, 0) != kZip64LocatorSignature)
                return kCutArchive;
            const std::uint64_t end64Offset = U64(locator, 8);
            const auto end64 = file.Read(end64Offset, 56);
            if (end64.empty() || U32(end64, 0) != kZip64EndSignature || end64Offset > endOffset - 20)
                return kCutArchive;
            entries = U64(end64, 32);
            directorySize = U64(end64, 40);
            directoryOffset = U64(end64, 48);
            directoryEnd = end64Offset;
        }
        if (directoryOffset > directoryEnd || directorySize > directoryEnd - directoryOffset)
            return kCutArchive;
        if (entries > 0) {
            const auto first = file.Read(directoryOffset, 4);
            if (first.empty() || U32(first, 0) != kZipCentralSignature)
                return kCutArchive;
        }
        return {};
    }
    return kCutArchive;
}

// A 7-Zip archive: its start header names where the closing header lies, which must be inside the file.
std::wstring Check7z(const FileReader& file) {
    const auto start = file.Read(0, 32);
    if (start.empty())
        return kCutArchive;
    const std::uint64_t nextOffset = U64(start, 12);
    const std::uint64_t nextSize = U64(start, 20);
    if (nextOffset > UINT64_MAX - 32 || !file.Contains(32 + nextOffset, nextSize))
        return kCutArchive;
    return {};
}

}  // namespace

std::wstring CheckInstallerIsWhole(const std::wstring& path) {
    const FileReader file(path);
    if (file.Error() != ERROR_SUCCESS) {
        return download::TextWithCode(L"Downloaded installer cannot be read: %d - %ls", file.Error());
    }
    const auto head = file.Read(0, std::min<std::uint64_t>(file.Size(), 6));
    if (head.size() >= 2 && head[0] == 'M' && head[1] == 'Z')
        return CheckProgram(file);
    if (head.size() >= 4 && head[0] == 'P' && head[1] == 'K' && head[2] == 3 && head[3] == 4)
        return CheckZip(file);
    if (head.size() == 6 && std::memcmp(head.data(), k7zSignature, 6) == 0)
        return Check7z(file);
    return kUnknownKind;
}
