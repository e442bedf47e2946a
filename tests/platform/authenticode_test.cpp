// Tests of the Authenticode verifier against files signed by osslsigncode with
// the test PKI: good signatures, nested ones, tampering, broken tables and
// untrusted chains; and of the certificate name selection.
#include "platform/sim/images/authenticode.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/sim/images/pe_image.h"
#include "support/scoped_machine.h"
#include "support/test_pki.h"

namespace {

using platform::AuthenticodeStatus;
using platform::PeMachine;
using testing_support::TestPki;

constexpr const char* kThirdPartyIssuer = "Microsoft Windows Third Party Component CA 2014";
constexpr const char* kOtherIssuer = "Brimvale Other Issuer CA";

void Write32(std::string& image, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) image.at(offset + i) = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string SignOrFail(const std::string& image, const std::string& signer, const std::string& hash,
                       const std::string& nestSigner = {}, const std::string& nestHash = {}) {
  const TestPki& pki = TestPki::Get();
  EXPECT_TRUE(pki.Ready()) << pki.Error();
  std::string error;
  auto signedImage = pki.Sign(image, signer, hash, nestSigner, nestHash, &error);
  EXPECT_TRUE(signedImage) << error;
  return signedImage.value_or(std::string());
}

platform::TrustedRoots Roots() { return platform::TrustedRoots::FromPemFile(TestPki::Get().TrustedRoots()); }

TEST(TrustedRoots, LoadsTheBundleAndToleratesAMissingOne) {
  ASSERT_TRUE(TestPki::Get().Ready()) << TestPki::Get().Error();
  EXPECT_EQ(Roots().Count(), 1u);
  EXPECT_EQ(platform::TrustedRoots::FromPemFile("/nonexistent/roots.pem").Count(), 0u);
  EXPECT_EQ(platform::TrustedRoots::FromPem("not a pem bundle").Count(), 0u);
}

// One signature, as the signing service produces them.
struct SingleRow {
  const char* name;
  PeMachine machine;
  const char* signer;
  const char* hash;
  AuthenticodeStatus status;
  const char* issuer;
  const char* signerName;
  std::size_t chainLength;
};

class SingleSignature : public testing::TestWithParam<SingleRow> {};

TEST_P(SingleSignature, VerifiesAsExpected) {
  const SingleRow& row = GetParam();
  const std::string image = SignOrFail(platform::BuildPeImage(row.machine, "agent payload"), row.signer, row.hash);
  ASSERT_FALSE(image.empty());
  const auto result = platform::VerifyAuthenticode(image, Roots());
  EXPECT_EQ(result.status, row.status) << result.error;
  ASSERT_EQ(result.signatures.size(), 1u);
  EXPECT_EQ(result.SecondaryCount(), 0u);
  const auto& signature = result.signatures[0];
  EXPECT_EQ(signature.Verified(), row.status == AuthenticodeStatus::Verified);
  EXPECT_EQ(signature.error.empty(), signature.Verified()) << signature.error;
  EXPECT_EQ(signature.digestAlgorithm, row.hash);
  EXPECT_EQ(signature.issuerName, row.issuer);
  EXPECT_EQ(platform::CertificateSimpleName(signature.signerCertificate, false), row.signerName);
  EXPECT_EQ(platform::CertificateSimpleName(signature.signerCertificate, true), row.issuer);
  ASSERT_EQ(signature.chain.size(), row.chainLength);
  EXPECT_EQ(signature.chain.front(), signature.signerCertificate);
  EXPECT_EQ(signature.chainTrusted, signature.Verified());
  EXPECT_TRUE(platform::CertificateIsSelfIssued(signature.chain.back()));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SingleSignature,
    testing::Values(
        SingleRow{"ThirdPartySha256", PeMachine::AMD64, "thirdparty", "sha256", AuthenticodeStatus::Verified,
                  kThirdPartyIssuer, "Brimvale Test Signer", 3},
        SingleRow{"ThirdPartySha1", PeMachine::I386, "thirdparty", "sha1", AuthenticodeStatus::Verified,
                  kThirdPartyIssuer, "Brimvale Test Signer", 3},
        SingleRow{"OtherIssuerArm", PeMachine::ARM, "other", "sha256", AuthenticodeStatus::Verified, kOtherIssuer,
                  "Brimvale Other Signer", 3},
        SingleRow{"UntrustedRootIa64", PeMachine::IA64, "untrusted", "sha256", AuthenticodeStatus::UntrustedRoot,
                  "Brimvale Untrusted Root", "Brimvale Untrusted Signer", 2}),
    [](const testing::TestParamInfo<SingleRow>& info) { return std::string(info.param.name); });

TEST(NestedSignatures, EachIndexVerifiesOnItsOwn) {
  const std::string image =
      SignOrFail(platform::BuildPeImage(PeMachine::AMD64, "driver"), "other", "sha1", "thirdparty", "sha256");
  const auto result = platform::VerifyAuthenticode(image, Roots());
  ASSERT_EQ(result.signatures.size(), 2u);
  EXPECT_EQ(result.SecondaryCount(), 1u);
  EXPECT_TRUE(result.signatures[0].Verified()) << result.signatures[0].error;
  EXPECT_EQ(result.signatures[0].issuerName, kOtherIssuer);
  EXPECT_EQ(result.signatures[0].digestAlgorithm, "sha1");
  EXPECT_TRUE(result.signatures[1].Verified()) << result.signatures[1].error;
  EXPECT_EQ(result.signatures[1].issuerName, kThirdPartyIssuer);
  EXPECT_EQ(result.signatures[1].digestAlgorithm, "sha256");
}

TEST(NestedSignatures, AnUntrustedSecondaryDoesNotSpoilThePrimary) {
  const std::string image =
      SignOrFail(platform::BuildPeImage(PeMachine::I386), "thirdparty", "sha256", "untrusted", "sha256");
  const auto result = platform::VerifyAuthenticode(image, Roots());
  ASSERT_EQ(result.signatures.size(), 2u);
  EXPECT_EQ(result.status, AuthenticodeStatus::Verified);
  EXPECT_EQ(result.signatures[1].status, AuthenticodeStatus::UntrustedRoot);
}

TEST(NestedSignatures, TamperingBreaksEverySignature) {
  std::string image =
      SignOrFail(platform::BuildPeImage(PeMachine::AMD64, "driver"), "other", "sha1", "thirdparty", "sha256");
  ASSERT_FALSE(image.empty());
  image[0x200 + 4] ^= 0x20;
  const auto result = platform::VerifyAuthenticode(image, Roots());
  ASSERT_EQ(result.signatures.size(), 2u);
  EXPECT_EQ(result.signatures[0].status, AuthenticodeStatus::BadDigest);
  EXPECT_EQ(result.signatures[1].status, AuthenticodeStatus::BadDigest);
}

// A signed file changed afterwards: what the change touches decides the outcome.
struct TamperRow {
  const char* name;
  void (*change)(std::string& image, const platform::PeLayout& layout);
  AuthenticodeStatus status;
};

std::size_t Pkcs7Length(const std::string& image, const platform::PeLayout& layout) {
  // The DER of the blob after the 8-byte WIN_CERTIFICATE header: 30 82 hi lo.
  const std::size_t blob = layout.certificateTableOffset + 8;
  return 4 + ((static_cast<unsigned char>(image.at(blob + 2)) << 8) | static_cast<unsigned char>(image.at(blob + 3)));
}

class TamperedFile : public testing::TestWithParam<TamperRow> {};

TEST_P(TamperedFile, IsJudgedByWhatChanged) {
  std::string image = SignOrFail(platform::BuildPeImage(PeMachine::AMD64, "the agent's code"), "thirdparty", "sha256");
  ASSERT_FALSE(image.empty());
  const auto layout = platform::ParsePeLayout(image);
  ASSERT_TRUE(layout);
  ASSERT_NE(layout->certificateTableOffset, 0u);
  GetParam().change(image, *layout);
  const auto result = platform::VerifyAuthenticode(image, Roots());
  EXPECT_EQ(result.status, GetParam().status) << platform::AuthenticodeStatusName(result.status) << ": "
                                              << result.error;
  EXPECT_FALSE(result.error.empty() && result.status != AuthenticodeStatus::Verified);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TamperedFile,
    testing::Values(
        TamperRow{"Untouched", [](std::string&, const platform::PeLayout&) {}, AuthenticodeStatus::Verified},
        TamperRow{"SectionByteFlipped", [](std::string& i, const platform::PeLayout& l) { i[l.sizeOfHeaders + 5] ^= 1; },
                  AuthenticodeStatus::BadDigest},
        TamperRow{"DosStubByteFlipped", [](std::string& i, const platform::PeLayout&) { i[0x50] ^= 1; },
                  AuthenticodeStatus::BadDigest},
        TamperRow{"SectionTableByteFlipped",
                  [](std::string& i, const platform::PeLayout& l) { i[l.certificateEntryOffset + 16 * 8] ^= 1; },
                  AuthenticodeStatus::BadDigest},
        // The checksum is outside the hash: a re-checksummed file stays signed.
        TamperRow{"ChecksumChanged",
                  [](std::string& i, const platform::PeLayout& l) { Write32(i, l.checksumOffset, 0x12345678); },
                  AuthenticodeStatus::Verified},
        TamperRow{"BytesAppendedAfterTheTable", [](std::string& i, const platform::PeLayout&) { i += "appended"; },
                  AuthenticodeStatus::BadDigest},
        TamperRow{"TruncatedInsideTheTable",
                  [](std::string& i, const platform::PeLayout&) { i.resize(i.size() - 100); },
                  AuthenticodeStatus::MalformedSignature},
        TamperRow{"TruncatedToTheSections",
                  [](std::string& i, const platform::PeLayout& l) { i.resize(l.certificateTableOffset); },
                  AuthenticodeStatus::MalformedSignature},
        TamperRow{"TruncatedInsideTheHeaders", [](std::string& i, const platform::PeLayout&) { i.resize(300); },
                  AuthenticodeStatus::NotPortableExecutable},
        TamperRow{"TableSizePastTheEnd",
                  [](std::string& i, const platform::PeLayout& l) {
                    Write32(i, l.certificateEntryOffset + 4, 0xFFFFFF00);
                  },
                  AuthenticodeStatus::MalformedSignature},
        TamperRow{"TableOffsetInsideTheHeaders",
                  [](std::string& i, const platform::PeLayout& l) { Write32(i, l.certificateEntryOffset, 0x10); },
                  AuthenticodeStatus::MalformedSignature},
        TamperRow{"EntryLengthPastTheTable",
                  [](std::string& i, const platform::PeLayout& l) {
                    Write32(i, l.certificateTableOffset, l.certificateTableSize + 8);
                  },
                  AuthenticodeStatus::MalformedSignature},
        TamperRow{"EntryOfAnotherType",
                  [](std::string& i, const platform::PeLayout& l) { i[l.certificateTableOffset + 6] = 0x01; },
                  AuthenticodeStatus::NoSignature},
        TamperRow{"Pkcs7Garbled",
                  [](std::string& i, const platform::PeLayout& l) {
                    for (int k = 0; k < 32; ++k) i[l.certificateTableOffset + 8 + k] = static_cast<char>(0xFF);
                  },
                  AuthenticodeStatus::MalformedSignature},
        // The last bytes of the DER are the signer's RSA signature.
        TamperRow{"SignatureValueFlipped",
                  [](std::string& i, const platform::PeLayout& l) {
                    i[l.certificateTableOffset + 8 + Pkcs7Length(i, l) - 10] ^= 0x01;
                  },
                  AuthenticodeStatus::BadSignature}),
    [](const testing::TestParamInfo<TamperRow>& info) { return std::string(info.param.name); });

TEST(UnsignedFile, HasNoSignature) {
  const auto result = platform::VerifyAuthenticode(platform::BuildPeImage(PeMachine::AMD64), Roots());
  EXPECT_EQ(result.status, AuthenticodeStatus::NoSignature);
  EXPECT_TRUE(result.signatures.empty());
  EXPECT_EQ(result.SecondaryCount(), 0u);
}

TEST(Chain, WithoutTrustedRootsNothingVerifies) {
  const std::string image = SignOrFail(platform::BuildPeImage(PeMachine::AMD64), "thirdparty", "sha256");
  const auto result = platform::VerifyAuthenticode(image, platform::TrustedRoots());
  EXPECT_EQ(result.status, AuthenticodeStatus::UntrustedRoot) << result.error;
  ASSERT_EQ(result.signatures.size(), 1u);
  EXPECT_EQ(result.signatures[0].issuerName, kThirdPartyIssuer);
  EXPECT_FALSE(result.signatures[0].chainTrusted);
}

// Images whose size is not a multiple of eight (an overlay after the
// sections): the signer pads them, and the hash of the unsigned file must
// predict the one in the signature.
class UnalignedImage : public testing::TestWithParam<std::size_t> {};

TEST_P(UnalignedImage, HashOfTheUnsignedFileMatchesTheSignedOne) {
  const std::string unsignedImage = platform::BuildPeImage(PeMachine::I386) + std::string(GetParam(), '\x5A');
  const std::string image = SignOrFail(unsignedImage, "thirdparty", "sha256");
  ASSERT_FALSE(image.empty());
  const auto result = platform::VerifyAuthenticode(image, Roots());
  EXPECT_EQ(result.status, AuthenticodeStatus::Verified) << result.error;
  const auto before = platform::AuthenticodeImageHash(unsignedImage, "sha256");
  const auto after = platform::AuthenticodeImageHash(image, "sha256");
  ASSERT_TRUE(before && after);
  EXPECT_EQ(*before, *after);
  EXPECT_EQ(before->size(), 32u);
}

INSTANTIATE_TEST_SUITE_P(OverlaySizes, UnalignedImage, testing::Values(0, 1, 5, 13));

TEST(ImageHash, RejectsUnknownDigestsAndMalformedImages) {
  std::string error;
  EXPECT_FALSE(platform::AuthenticodeImageHash(platform::BuildPeImage(PeMachine::AMD64), "md4", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(platform::AuthenticodeImageHash("MZ not a pe", "sha256", &error));
  EXPECT_EQ(platform::AuthenticodeImageHash(platform::BuildPeImage(PeMachine::AMD64), "sha1")->size(), 20u);
}

// Every prefix of a signed nested file, and single-byte corruptions all over
// it: none may crash or read out of bounds (the sanitizer build checks), no
// prefix verifies, and every corruption of the hashed bytes is a bad digest.
TEST(Robustness, PrefixesAndCorruptions) {
  const std::string image =
      SignOrFail(platform::BuildPeImage(PeMachine::AMD64, "x"), "thirdparty", "sha256", "other", "sha1");
  ASSERT_FALSE(image.empty());
  const auto roots = Roots();
  for (std::size_t length = 0; length < image.size(); length += 7) {
    const auto result = platform::VerifyAuthenticode(std::string_view(image).substr(0, length), roots);
    EXPECT_NE(result.status, AuthenticodeStatus::Verified) << "prefix " << length;
    EXPECT_FALSE(result.error.empty()) << "prefix " << length;
  }
  const auto layout = platform::ParsePeLayout(image);
  ASSERT_TRUE(layout);
  // Bytes outside the hash, and the fields that locate the headers (a change
  // there makes the file unreadable rather than differently hashed).
  const std::size_t pe = layout->peHeaderOffset;
  const std::size_t rvaCount = pe + 24 + (layout->pe32Plus ? 108 : 92);
  auto excluded = [&](std::size_t offset) {
    auto in = [offset](std::size_t begin, std::size_t size) { return offset >= begin && offset < begin + size; };
    return in(layout->checksumOffset, 4) || in(layout->certificateEntryOffset, 8) || in(0, 2) || in(0x3C, 4) ||
           in(pe, 4) || in(pe + 20, 2) || in(pe + 24, 2) || in(rvaCount, 4);
  };
  for (std::size_t offset = 0; offset < image.size(); offset += 5) {
    std::string corrupt = image;
    corrupt[offset] = static_cast<char>(corrupt[offset] ^ 0x80);
    const auto result = platform::VerifyAuthenticode(corrupt, roots);
    if (result.status != AuthenticodeStatus::Verified) {
      EXPECT_FALSE(result.error.empty()) << "offset " << offset;
    }
    if (offset < layout->certificateTableOffset && !excluded(offset)) {
      ASSERT_EQ(result.signatures.size(), 2u) << "offset " << offset;
      EXPECT_EQ(result.signatures[0].status, AuthenticodeStatus::BadDigest) << "offset " << offset;
      EXPECT_EQ(result.signatures[1].status, AuthenticodeStatus::BadDigest) << "offset " << offset;
    }
  }
}

TEST(VerifyFile, ReportsUnreadableFilesAndMissingRoots) {
  EXPECT_EQ(platform::VerifyAuthenticodeFile("/nonexistent/file.exe", "/nonexistent/roots.pem").status,
            AuthenticodeStatus::FileError);
  const auto folder = testing_support::MakeTempFolder("authenticode");
  const std::string image = SignOrFail(platform::BuildPeImage(PeMachine::AMD64), "thirdparty", "sha256");
  std::ofstream(folder / "signed.exe", std::ios::binary).write(image.data(), static_cast<std::streamsize>(image.size()));
  EXPECT_EQ(platform::VerifyAuthenticodeFile(folder / "signed.exe", TestPki::Get().TrustedRoots()).status,
            AuthenticodeStatus::Verified);
  EXPECT_EQ(platform::VerifyAuthenticodeFile(folder / "signed.exe", folder / "absent.pem").status,
            AuthenticodeStatus::UntrustedRoot);
  std::filesystem::remove_all(folder);
}

TEST(VerifyFile, ReadsALargeFileInPiecesAndSeesAChangeInAnyOfThem) {
  // Larger than the pieces the file is hashed in, with nested signatures of
  // both digests; a byte changed in the third piece must break them.
  const std::string payload(3 * 1048576 + 4321, 'p');
  const std::string image = SignOrFail(platform::BuildPeImage(PeMachine::AMD64, payload), "thirdparty", "sha256",
                                       "other", "sha1");
  const auto folder = testing_support::MakeTempFolder("authenticode");
  const auto write = [&](const std::string& bytes) {
    std::ofstream(folder / "large.sys", std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  };
  write(image);
  auto result = platform::VerifyAuthenticodeFile(folder / "large.sys", TestPki::Get().TrustedRoots());
  ASSERT_EQ(result.signatures.size(), 2u);
  EXPECT_EQ(result.signatures[0].status, AuthenticodeStatus::Verified);
  EXPECT_EQ(result.signatures[1].status, AuthenticodeStatus::Verified);
  std::string changed = image;
  changed[2 * 1048576 + 100] ^= 0x01;
  write(changed);
  result = platform::VerifyAuthenticodeFile(folder / "large.sys", TestPki::Get().TrustedRoots());
  ASSERT_EQ(result.signatures.size(), 2u);
  EXPECT_EQ(result.signatures[0].status, AuthenticodeStatus::BadDigest);
  EXPECT_EQ(result.signatures[1].status, AuthenticodeStatus::BadDigest);
  std::filesystem::remove_all(folder);
}

// Which name entry is the simple display name.
struct NameRow {
  const char* name;
  std::vector<std::pair<std::string, std::string>> entries;
  const char* expected;
};

class SimpleDisplayName : public testing::TestWithParam<NameRow> {};

TEST_P(SimpleDisplayName, TakesTheFirstOfCnOuOEmail) {
  const std::string subjectOnly = testing_support::MakeCertificate(GetParam().entries, {{"CN", "Some Issuer"}});
  const std::string issuerOnly = testing_support::MakeCertificate({{"CN", "Some Subject"}}, GetParam().entries);
  ASSERT_FALSE(subjectOnly.empty());
  EXPECT_EQ(platform::CertificateSimpleName(subjectOnly, false), GetParam().expected);
  EXPECT_EQ(platform::CertificateSimpleName(issuerOnly, true), GetParam().expected);
  EXPECT_EQ(platform::CertificateSimpleName(issuerOnly, false), "Some Subject");
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SimpleDisplayName,
    testing::Values(
        NameRow{"CommonNameFirst", {{"C", "KR"}, {"O", "Org"}, {"OU", "Unit"}, {"CN", "Common"}}, "Common"},
        NameRow{"UnitWithoutCommonName", {{"O", "Org"}, {"OU", "Unit"}}, "Unit"},
        NameRow{"OrganisationWithoutUnit", {{"C", "KR"}, {"O", "Org"}, {"emailAddress", "a@b.example"}}, "Org"},
        NameRow{"EmailLast", {{"C", "KR"}, {"emailAddress", "a@b.example"}}, "a@b.example"},
        NameRow{"FirstOfTwoCommonNames", {{"CN", "First"}, {"CN", "Second"}}, "First"},
        NameRow{"Utf8Kept", {{"CN", "\xEB\xB8\x8C\xEB\xA6\xBC\xEB\xB2\xA0\xEC\x9D\xBC"}},
                "\xEB\xB8\x8C\xEB\xA6\xBC\xEB\xB2\xA0\xEC\x9D\xBC"},
        NameRow{"NoneOfThem", {{"C", "KR"}, {"L", "Seoul"}}, ""}),
    [](const testing::TestParamInfo<NameRow>& info) { return std::string(info.param.name); });

TEST(CertificateNames, GarbageGivesEmptyNames) {
  EXPECT_EQ(platform::CertificateSimpleName("", false), "");
  EXPECT_EQ(platform::CertificateSimpleName("\x30\x82\xFF\xFF garbage", true), "");
  EXPECT_EQ(platform::CertificateNameAttribute("garbage", false, "2.5.4.3"), "");
  EXPECT_FALSE(platform::CertificateIsSelfIssued("garbage"));
}

}  // namespace
