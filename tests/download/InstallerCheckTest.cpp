// The whole-file check a downloaded installer passes before it runs: programs and archives cut anywhere fail it.
#include "download/InstallerCheck.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "download/DownloadTesting.h"
#include "download/InstallerFixtures.h"

using namespace download_testing;

namespace {

const std::wstring kCutHeaders = L"Downloaded installer is incomplete: its headers are cut short.";
const std::wstring kCutSections = L"Downloaded installer is incomplete: its sections reach beyond the end of the file.";
const std::wstring kCutSignature =
    L"Downloaded installer is incomplete: its signature table reaches beyond the end of the file.";
const std::wstring kCutArchive = L"Downloaded installer is incomplete: the archive's end record is missing or wrong.";
const std::wstring kUnknownKind = L"Downloaded installer is neither a program nor an archive.";

class InstallerCheck : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH] = {};
        ::GetTempPathW(MAX_PATH, folder);
        m_path = std::wstring(folder) + L"installer-check-" + std::to_wstring(::GetCurrentProcessId()) + L".bin";
    }
    void TearDown() override { ::DeleteFileW(m_path.c_str()); }

    std::wstring Check(const std::string& bytes) {
        {
            std::ofstream out(m_path.c_str(), std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        return CheckInstallerIsWhole(m_path);
    }

    std::wstring m_path;
};

std::string Cut(const std::string& bytes, std::uint64_t size) {
    return bytes.substr(0, static_cast<size_t>(size));
}

std::string SevenZip(std::uint64_t nextOffset, std::uint64_t nextSize, size_t total) {
    std::string archive("\x37\x7A\xBC\xAF\x27\x1C\x00\x04", 8);
    archive.append(4, '\0');  // start header CRC
    for (std::uint64_t value : {nextOffset, nextSize})
        for (int i = 0; i < 8; ++i)
            archive.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    archive.append(4, '\0');  // next header CRC
    archive.resize(total, 'z');
    return archive;
}

std::string ReadOwnProgram() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    return ReadWholeFile(path);
}

// Half-way into the last section's data of a linker-written program. (Half of the file is not enough: an
// unstripped program keeps its symbol table after the sections, which no loader reads, so a cut there is
// harmless and passes.)
std::uint64_t InsideLastSection(const std::string& image) {
    auto u32 = [&](size_t at) {
        std::uint32_t value = 0;
        std::memcpy(&value, image.data() + at, 4);
        return value;
    };
    auto u16 = [&](size_t at) { return static_cast<std::uint16_t>(u32(at) & 0xFFFF); };
    const size_t pe = u32(0x3C);
    const size_t table = pe + 24 + u16(pe + 20);
    std::uint64_t start = 0, size = 0;
    for (size_t i = 0; i < u16(pe + 6); ++i) {
        const std::uint32_t rawSize = u32(table + i * 40 + 16), rawOffset = u32(table + i * 40 + 20);
        if (rawSize > 0 && rawOffset >= start) {
            start = rawOffset;
            size = rawSize;
        }
    }
    return start + size / 2;
}

}  // namespace

TEST_F(InstallerCheck, WholeProgramsAndArchivesPass) {
    const std::vector<ZipEntry> entries = {{"setup.exe", MakeProgram()}, {"readme.txt", "hello"}};
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"signed program", MakeProgram()},
        {"64-bit program", MakeProgram({.pe32Plus = true})},
        {"unsigned program", MakeProgram({.signatureBytes = 0})},
        {"signed program with a payload", MakeProgram({.overlayBytes = 5000})},
        {"this test program, as the linker wrote it", ReadOwnProgram()},
        {"archive", MakeZip(entries)},
        {"archive with a comment", MakeZip(entries, "made for the test")},
        {"7-Zip archive", SevenZip(100, 20, 32 + 120)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Check(c.bytes), L"");
    }
}

TEST_F(InstallerCheck, CutProgramsAndArchivesFailWithTheirText) {
    const ProgramLayout layout;
    const std::string program = MakeProgram(layout);
    const ProgramLayout withPayload{.overlayBytes = 5000};
    const std::string payloadProgram = MakeProgram(withPayload);
    const std::string own = ReadOwnProgram();
    const std::vector<ZipEntry> entries = {{"setup.exe", MakeProgram()}, {"readme.txt", "hello"}};
    const std::string archive = MakeZip(entries);
    const std::string commented = MakeZip(entries, "a comment");
    std::string misplaced = archive;
    misplaced[misplaced.size() - 4] = '\x7F';  // the central directory's offset, now far past the end record

    const struct {
        const char* name;
        std::string bytes;
        std::wstring text;
    } cases[] = {
        {"program cut in its DOS header", Cut(program, 0x30), kCutHeaders},
        {"program cut in its optional header", Cut(program, 0x100), kCutHeaders},
        {"program cut in its section table", Cut(program, 0x1A0), kCutHeaders},
        {"program cut in its last section", Cut(program, SectionOffset(layout, 2) + 10), kCutSections},
        {"program cut before its signature", Cut(program, SignatureOffset(layout)), kCutSignature},
        {"program cut in its signature", Cut(program, program.size() - 1), kCutSignature},
        {"program cut in its payload", Cut(payloadProgram, SignatureOffset(withPayload) - 100), kCutSignature},
        {"this test program, cut in its last section", Cut(own, InsideLastSection(own)), kCutSections},
        {"archive without its last byte", Cut(archive, archive.size() - 1), kCutArchive},
        {"archive cut in half", Cut(archive, archive.size() / 2), kCutArchive},
        {"archive cut in its comment", Cut(commented, commented.size() - 2), kCutArchive},
        {"archive whose directory lies past its end record", misplaced, kCutArchive},
        {"archive that is only a local header", Cut(archive, 30), kCutArchive},
        {"7-Zip archive cut before its closing header", SevenZip(100, 20, 32 + 119), kCutArchive},
        {"empty file", "", kUnknownKind},
        {"text page from a captive portal", "<html><body>Please log in</body></html>", kUnknownKind},
        {"MZ without a program header", std::string("MZ") + std::string(200, '\0'), kUnknownKind},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Check(c.bytes), c.text);
    }
}

TEST_F(InstallerCheck, MissingFileIsReportedWithItsSystemCode) {
    const std::wstring text = CheckInstallerIsWhole(m_path + L".missing");
    EXPECT_EQ(text.rfind(L"Downloaded installer cannot be read: 2 - ", 0), 0u) << text;
}
