// Tests of the PE image writer and header reader: every machine type yields
// an image whose headers read back as written and that osslsigncode accepts.
#include "platform/sim/images/pe_image.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "support/scoped_machine.h"
#include "support/test_pki.h"

namespace {

using platform::PeMachine;

std::uint16_t Read16(const std::string& image, std::size_t offset) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(image.at(offset)) |
                                    (static_cast<unsigned char>(image.at(offset + 1)) << 8));
}

std::uint32_t Read32(const std::string& image, std::size_t offset) {
  return Read16(image, offset) | (static_cast<std::uint32_t>(Read16(image, offset + 2)) << 16);
}

void Write32(std::string& image, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) image.at(offset + i) = static_cast<char>((value >> (8 * i)) & 0xFF);
}

struct MachineRow {
  PeMachine machine;
  std::uint16_t coffMachine;
  std::uint16_t magic;  // 0x10B PE32, 0x20B PE32+
};

class PeImageMachines : public testing::TestWithParam<MachineRow> {};

TEST_P(PeImageMachines, HeadersReadBackThroughTheDosHeader) {
  const MachineRow row = GetParam();
  const std::string payload = "driver bytes \x01\x02\x03";
  const std::string image = platform::BuildPeImage(row.machine, payload);

  ASSERT_GE(image.size(), 0x400u);
  EXPECT_EQ(image.size() % platform::kPeFileAlignment, 0u);
  EXPECT_EQ(image.substr(0, 2), "MZ");
  const std::uint32_t pe = Read32(image, 0x3C);
  ASSERT_LT(pe + 24u, image.size());
  EXPECT_EQ(image.substr(pe, 4), std::string("PE\0\0", 4));
  EXPECT_EQ(Read16(image, pe + 4), row.coffMachine);
  EXPECT_EQ(Read16(image, pe + 24), row.magic);

  const auto layout = platform::ParsePeLayout(image);
  ASSERT_TRUE(layout);
  EXPECT_EQ(layout->machine, row.coffMachine);
  EXPECT_EQ(layout->pe32Plus, row.magic == 0x20B);
  EXPECT_EQ(layout->numberOfSections, 1);
  EXPECT_EQ(layout->sizeOfHeaders % layout->fileAlignment, 0u);
  EXPECT_EQ(layout->numberOfRvaAndSizes, 16u);
  ASSERT_TRUE(layout->hasCertificateEntry);
  EXPECT_EQ(layout->certificateTableOffset, 0u);
  EXPECT_EQ(layout->certificateTableSize, 0u);
  // The certificate entry is directory 4 of the optional header.
  EXPECT_EQ(layout->certificateEntryOffset, pe + 24 + (row.magic == 0x20B ? 112 : 96) + 4 * 8);
  EXPECT_EQ(layout->checksum, platform::ComputePeChecksum(image, layout->checksumOffset));
  EXPECT_NE(layout->checksum, 0u);

  // The section table follows the optional header; its raw data holds the payload.
  const std::size_t section = pe + 24 + Read16(image, pe + 20);
  EXPECT_EQ(image.substr(section, 5), ".text");
  const std::uint32_t rawSize = Read32(image, section + 16);
  const std::uint32_t rawPointer = Read32(image, section + 20);
  EXPECT_EQ(rawPointer, layout->sizeOfHeaders);
  EXPECT_EQ(std::size_t{rawPointer} + rawSize, image.size());
  const std::size_t found = image.find(payload, rawPointer);
  ASSERT_NE(found, std::string::npos);
  EXPECT_LE(found + payload.size(), std::size_t{rawPointer} + Read32(image, section + 8));
}

TEST_P(PeImageMachines, OsslsigncodeFindsTheChecksumCorrect) {
  ASSERT_TRUE(testing_support::TestPki::Get().Ready()) << testing_support::TestPki::Get().Error();
  const auto folder = testing_support::MakeTempFolder("pe-image");
  const auto file = folder / "image.exe";
  const std::string image = platform::BuildPeImage(GetParam().machine, std::string(1000, 'x'));
  std::ofstream(file, std::ios::binary).write(image.data(), static_cast<std::streamsize>(image.size()));
  std::string output;
  testing_support::RunCommand("osslsigncode verify -in " + testing_support::ShellQuote(file.string()), &output);
  std::filesystem::remove_all(folder);

  // Every checksum osslsigncode prints (the current one, and the calculated
  // one when they differ) must be ours.
  char expected[16];
  std::snprintf(expected, sizeof expected, "%08X", platform::ParsePeLayout(image)->checksum);
  int printed = 0;
  for (std::size_t at = output.find("PE checksum"); at != std::string::npos; at = output.find("PE checksum", at + 1)) {
    const std::size_t colon = output.find(':', at);
    ASSERT_NE(colon, std::string::npos) << output;
    EXPECT_EQ(output.substr(colon + 2, 8), expected) << output;
    ++printed;
  }
  EXPECT_GE(printed, 1) << output;
  EXPECT_EQ(output.find("MISMATCH"), std::string::npos) << output;
  EXPECT_EQ(output.find("invalid PE checksum"), std::string::npos) << output;
  EXPECT_NE(output.find("No signature found"), std::string::npos) << output;
}

INSTANTIATE_TEST_SUITE_P(AllMachines, PeImageMachines,
                         testing::Values(MachineRow{PeMachine::I386, 0x014C, 0x10B},
                                         MachineRow{PeMachine::AMD64, 0x8664, 0x20B},
                                         MachineRow{PeMachine::IA64, 0x0200, 0x20B},
                                         MachineRow{PeMachine::ARM, 0x01C0, 0x10B},
                                         MachineRow{PeMachine::ARM64, 0xAA64, 0x20B}),
                         [](const testing::TestParamInfo<MachineRow>& info) {
                           return std::string(platform::PeMachineName(info.param.machine));
                         });

TEST(PeImage, SameInputsGiveTheSameBytesAndPayloadChangesThem) {
  EXPECT_EQ(platform::BuildPeImage(PeMachine::AMD64, "a"), platform::BuildPeImage(PeMachine::AMD64, "a"));
  EXPECT_NE(platform::BuildPeImage(PeMachine::AMD64, "a"), platform::BuildPeImage(PeMachine::AMD64, "b"));
  // A payload larger than one file-alignment unit grows the section.
  const std::string big = platform::BuildPeImage(PeMachine::I386, std::string(5000, 'p'));
  EXPECT_EQ(big.size(), 0x200u + 0x1400u);
}

TEST(PeImage, ChecksumIgnoresItsOwnFieldAndSeesEveryOtherByte) {
  std::string image = platform::BuildPeImage(PeMachine::I386, "payload");
  const auto layout = platform::ParsePeLayout(image);
  ASSERT_TRUE(layout);
  const std::uint32_t sum = platform::ComputePeChecksum(image, layout->checksumOffset);
  Write32(image, layout->checksumOffset, 0xDEADBEEF);
  EXPECT_EQ(platform::ComputePeChecksum(image, layout->checksumOffset), sum);
  image[image.size() - 1] ^= 0x01;
  EXPECT_NE(platform::ComputePeChecksum(image, layout->checksumOffset), sum);
}

struct MalformedRow {
  const char* name;
  std::string (*make)();
};

std::string Amd64() { return platform::BuildPeImage(PeMachine::AMD64); }

class PeLayoutMalformed : public testing::TestWithParam<MalformedRow> {};

TEST_P(PeLayoutMalformed, IsRejectedWithAReason) {
  std::string error;
  EXPECT_FALSE(platform::ParsePeLayout(GetParam().make(), &error));
  EXPECT_FALSE(error.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, PeLayoutMalformed,
    testing::Values(
        MalformedRow{"Empty", [] { return std::string(); }},
        MalformedRow{"OnlyMz", [] { return std::string("MZ"); }},
        MalformedRow{"NoMz", [] { auto i = Amd64(); i[0] = 'X'; return i; }},
        MalformedRow{"PeOffsetPastTheEnd", [] { auto i = Amd64(); Write32(i, 0x3C, 0xFFFFFFF0); return i; }},
        MalformedRow{"PeOffsetNearTheEnd",
                     [] { auto i = Amd64(); Write32(i, 0x3C, static_cast<std::uint32_t>(i.size() - 8)); return i; }},
        MalformedRow{"NoPeSignature", [] { auto i = Amd64(); i[0x81] = 'X'; return i; }},
        MalformedRow{"UnknownMagic", [] { auto i = Amd64(); i[0x80 + 24] = 0x07; return i; }},
        MalformedRow{"OptionalHeaderPastTheEnd", [] { return Amd64().substr(0, 0x80 + 24 + 100); }},
        MalformedRow{"OptionalHeaderTooShort", [] { auto i = Amd64(); i[0x80 + 20] = 16; i[0x80 + 21] = 0; return i; }}),
    [](const testing::TestParamInfo<MalformedRow>& info) { return std::string(info.param.name); });

TEST(PeLayout, FewerThanFiveDirectoriesMeansNoCertificateEntry) {
  std::string image = platform::BuildPeImage(PeMachine::I386);
  Write32(image, 0x80 + 24 + 92, 4);  // NumberOfRvaAndSizes
  const auto layout = platform::ParsePeLayout(image);
  ASSERT_TRUE(layout);
  EXPECT_FALSE(layout->hasCertificateEntry);
}

struct NameRow {
  const char* name;
  std::optional<PeMachine> machine;
};

class PeMachineNames : public testing::TestWithParam<NameRow> {};

TEST_P(PeMachineNames, ParseAsTheToolTakesThem) {
  EXPECT_EQ(platform::PeMachineFromName(GetParam().name), GetParam().machine);
}

INSTANTIATE_TEST_SUITE_P(Rows, PeMachineNames,
                         testing::Values(NameRow{"i386", PeMachine::I386}, NameRow{"X86", PeMachine::I386},
                                         NameRow{"amd64", PeMachine::AMD64}, NameRow{"x64", PeMachine::AMD64},
                                         NameRow{"IA64", PeMachine::IA64}, NameRow{"arm", PeMachine::ARM},
                                         NameRow{"arm64", PeMachine::ARM64}, NameRow{"mips", std::nullopt},
                                         NameRow{"", std::nullopt}));

}  // namespace
