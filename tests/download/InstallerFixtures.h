// Small installers built byte by byte, whole or cut: a program with sections and a signature table, and ZIP
// archives. They look like the real thing to every check of a downloaded file, and are a few kilobytes long.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace download_testing {

struct ProgramLayout {
    std::uint32_t sections = 3;
    std::uint32_t sectionBytes = 0x1000;
    std::uint32_t overlayBytes = 0;        // data appended after the sections, as installers carry their payload
    std::uint32_t signatureBytes = 0x200;  // 0: unsigned
    bool pe32Plus = false;
};

// A program image laid out as `layout` says: headers, the sections' raw data one after the other, the overlay,
// then the signature table that the security directory points to.
std::string MakeProgram(const ProgramLayout& layout = {});
// Where the signature table of MakeProgram(layout) begins.
std::uint64_t SignatureOffset(const ProgramLayout& layout);
// Where the raw data of section `index` begins.
std::uint64_t SectionOffset(const ProgramLayout& layout, std::uint32_t index);

struct ZipEntry {
    std::string name;
    std::string data;
};
// A stored (uncompressed) ZIP archive of `entries` with `comment` after its end record.
std::string MakeZip(const std::vector<ZipEntry>& entries, const std::string& comment = "");

}  // namespace download_testing
