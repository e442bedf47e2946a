// Authenticode verification of Portable Executable files: the image hash, the
// PKCS#7 signature over it, the chain to a set of trusted roots, and the
// nested signatures. Pure: bytes (or a host file) and roots in, result out.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class AuthenticodeStatus {
  Verified,
  FileError,              // the file could not be read
  NotPortableExecutable,  // no valid DOS/PE/optional header
  NoSignature,            // no certificate table, or the asked-for signature does not exist
  MalformedSignature,     // certificate table or PKCS#7 data unreadable
  UnsupportedDigest,      // a digest algorithm other than SHA-1/SHA-256/SHA-384/SHA-512
  BadDigest,              // the file's image hash differs from the signed one
  BadSignature,           // the PKCS#7 signature over the signed content fails
  UntrustedRoot,          // the chain does not end in a trusted root
  CertificateExpired,     // a certificate of the chain is outside its validity
  WrongUsage,             // a certificate of the chain may not be used this way
  ChainFailed,            // any other chain failure
};

// A short English name of a status ("verified", "bad digest", ...).
const char* AuthenticodeStatusName(AuthenticodeStatus status);

// The certificates a verification may chain to.
class TrustedRoots {
 public:
  TrustedRoots();  // none
  // Every certificate in a PEM bundle; a missing or unreadable file gives none.
  static TrustedRoots FromPemFile(const std::filesystem::path& file);
  static TrustedRoots FromPem(std::string_view pem);
  std::size_t Count() const;

  struct Certificates;
  const Certificates* Get() const { return certificates_.get(); }

 private:
  std::shared_ptr<const Certificates> certificates_;
};

// One signature of a file: index 0 is the primary one, 1..n the nested ones.
struct AuthenticodeSignature {
  AuthenticodeStatus status = AuthenticodeStatus::MalformedSignature;
  std::string error;                  // why it did not verify; empty when verified
  std::string digestAlgorithm;        // "sha1", "sha256", ... as signed
  std::string signerCertificate;      // DER of the signer's certificate; empty if none found
  // DER certificates from the signer up to the root, as far as the chain was
  // built (at least the signer's certificate when there is one).
  std::vector<std::string> chain;
  bool chainTrusted = false;          // the last certificate of `chain` is a trusted root
  std::string issuerName;             // simple display name of the signer's issuer, UTF-8

  bool Verified() const { return status == AuthenticodeStatus::Verified; }
};

struct AuthenticodeResult {
  // Status of the primary signature, or why the file has none.
  AuthenticodeStatus status = AuthenticodeStatus::NoSignature;
  std::string error;
  std::vector<AuthenticodeSignature> signatures;

  std::size_t SecondaryCount() const { return signatures.empty() ? 0 : signatures.size() - 1; }
};

// Verifies every signature of the image in memory. Never reads outside
// `image`; malformed input only gives a failed result.
AuthenticodeResult VerifyAuthenticode(std::string_view image, const TrustedRoots& roots);
// Verifies a host file against the roots of a PEM bundle, reading it in
// pieces where they are needed: memory does not grow with the file's size,
// and each digest algorithm's image hash is computed once for all the
// signatures. A signature larger than 16 MiB is refused as malformed.
AuthenticodeResult VerifyAuthenticodeFile(const std::filesystem::path& file,
                                          const std::filesystem::path& trustedRootsPem);

// The Authenticode image hash with the named digest ("sha1", "sha256", ...):
// the file without its CheckSum field, its certificate-table directory entry
// and the certificate table. An unsigned file is hashed as if zero-padded to
// eight bytes, which is how a signer pads it before appending the table, so
// the value is the one a signature of it will carry. Empty on malformed input
// (with the reason in `error`).
std::optional<std::string> AuthenticodeImageHash(std::string_view image, const std::string& digest,
                                                 std::string* error = nullptr);

// Names in a DER certificate, UTF-8. The simple display name is the first
// common name, else organisational unit, else organisation, else e-mail
// address of the subject (or, with `issuer`, of the issuer); empty when the
// name has none of them or the certificate cannot be read.
std::string CertificateSimpleName(std::string_view der, bool issuer);
// The first value of the attribute with the dotted `oid` ("2.5.4.3", ...).
std::string CertificateNameAttribute(std::string_view der, bool issuer, const std::string& oid);
// True when the certificate's issuer name equals its subject name (a root).
bool CertificateIsSelfIssued(std::string_view der);

}  // namespace platform
