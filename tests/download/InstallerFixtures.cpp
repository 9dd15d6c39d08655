#include "download/InstallerFixtures.h"

namespace download_testing {
namespace {

constexpr std::uint32_t kHeadersBytes = 0x400;
constexpr std::uint32_t kDosHeaderBytes = 0x40;

void Put16(std::string& bytes, size_t at, std::uint32_t value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& bytes, size_t at, std::uint32_t value) {
    Put16(bytes, at, value & 0xFFFF);
    Put16(bytes, at + 2, value >> 16);
}

void Append16(std::string& bytes, std::uint32_t value) {
    bytes.append(2, '\0');
    Put16(bytes, bytes.size() - 2, value);
}

void Append32(std::string& bytes, std::uint32_t value) {
    bytes.append(4, '\0');
    Put32(bytes, bytes.size() - 4, value);
}

}  // namespace

std::uint64_t SectionOffset(const ProgramLayout& layout, std::uint32_t index) {
    return kHeadersBytes + static_cast<std::uint64_t>(index) * layout.sectionBytes;
}

std::uint64_t SignatureOffset(const ProgramLayout& layout) {
    return SectionOffset(layout, layout.sections) + layout.overlayBytes;
}

std::string MakeProgram(const ProgramLayout& layout) {
    const std::uint32_t optionalBytes = layout.pe32Plus ? 240 : 224;
    const std::uint32_t directoriesAt = layout.pe32Plus ? 112 : 96;
    std::string image(kHeadersBytes, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    Put32(image, 0x3C, kDosHeaderBytes);

    const size_t pe = kDosHeaderBytes;
    Put32(image, pe, 0x00004550);
    Put16(image, pe + 4, layout.pe32Plus ? 0x8664 : 0x14C);
    Put16(image, pe + 6, layout.sections);
    Put16(image, pe + 20, optionalBytes);
    Put16(image, pe + 22, 0x0102);

    const size_t optional = pe + 24;
    Put16(image, optional, layout.pe32Plus ? 0x20B : 0x10B);
    Put32(image, optional + directoriesAt - 4, 16);
    if (layout.signatureBytes > 0) {
        Put32(image, optional + directoriesAt + 4 * 8, static_cast<std::uint32_t>(SignatureOffset(layout)));
        Put32(image, optional + directoriesAt + 4 * 8 + 4, layout.signatureBytes);
    }

    const size_t table = optional + optionalBytes;
    for (std::uint32_t i = 0; i < layout.sections; ++i) {
        const size_t header = table + i * 40;
        image.replace(header, 5, i % 2 == 0 ? ".text" : ".data");
        Put32(image, header + 8, layout.sectionBytes);
        Put32(image, header + 12, 0x1000 * (i + 1));
        Put32(image, header + 16, layout.sectionBytes);
        Put32(image, header + 20, static_cast<std::uint32_t>(SectionOffset(layout, i)));
    }
    for (std::uint32_t i = 0; i < layout.sections; ++i)
        image.append(layout.sectionBytes, static_cast<char>(0x90 + i));
    image.append(layout.overlayBytes, 'o');
    image.append(layout.signatureBytes, 's');
    return image;
}

std::string MakeZip(const std::vector<ZipEntry>& entries, const std::string& comment) {
    std::string archive;
    std::string directory;
    for (const ZipEntry& entry : entries) {
        const auto offset = static_cast<std::uint32_t>(archive.size());
        Append32(archive, 0x04034B50);
        Append16(archive, 10);  // version needed
        Append16(archive, 0);   // flags
        Append16(archive, 0);   // stored
        Append32(archive, 0);   // time and date
        Append32(archive, 0);   // CRC-32, not checked by anything here
        Append32(archive, static_cast<std::uint32_t>(entry.data.size()));
        Append32(archive, static_cast<std::uint32_t>(entry.data.size()));
        Append16(archive, static_cast<std::uint32_t>(entry.name.size()));
        Append16(archive, 0);
        archive += entry.name + entry.data;

        Append32(directory, 0x02014B50);
        Append16(directory, 20);
        Append16(directory, 10);
        Append16(directory, 0);
        Append16(directory, 0);
        Append32(directory, 0);
        Append32(directory, 0);
        Append32(directory, static_cast<std::uint32_t>(entry.data.size()));
        Append32(directory, static_cast<std::uint32_t>(entry.data.size()));
        Append16(directory, static_cast<std::uint32_t>(entry.name.size()));
        Append16(directory, 0);  // extra
        Append16(directory, 0);  // comment
        Append16(directory, 0);  // disk
        Append16(directory, 0);  // internal attributes
        Append32(directory, 0);  // external attributes
        Append32(directory, offset);
        directory += entry.name;
    }
    const auto directoryOffset = static_cast<std::uint32_t>(archive.size());
    archive += directory;
    Append32(archive, 0x06054B50);
    Append16(archive, 0);
    Append16(archive, 0);
    Append16(archive, static_cast<std::uint32_t>(entries.size()));
    Append16(archive, static_cast<std::uint32_t>(entries.size()));
    Append32(archive, static_cast<std::uint32_t>(directory.size()));
    Append32(archive, directoryOffset);
    Append16(archive, static_cast<std::uint32_t>(comment.size()));
    archive += comment;
    return archive;
}

}  // namespace download_testing
