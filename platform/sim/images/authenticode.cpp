// Authenticode verification with libcrypto: locates the signature in the
// certificate table, recomputes the image hash, checks the PKCS#7 signature
// and the chain to the trusted roots, and does the same for nested signatures.
#include "platform/sim/images/authenticode.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>

#include "platform/little_endian.h"
#include "platform/sim/images/pe_image.h"

namespace platform {

struct TrustedRoots::Certificates {
  std::vector<X509*> certificates;
  Certificates() = default;
  Certificates(const Certificates&) = delete;
  Certificates& operator=(const Certificates&) = delete;
  ~Certificates() {
    for (X509* certificate : certificates) X509_free(certificate);
  }
};

namespace {

constexpr const char* kIndirectDataOid = "1.3.6.1.4.1.311.2.1.4";
constexpr const char* kNestedSignatureOid = "1.3.6.1.4.1.311.2.4.1";
constexpr std::uint16_t kWinCertRevision2 = 0x0200;
constexpr std::uint16_t kWinCertTypePkcsSignedData = 0x0002;

struct Pkcs7Free { void operator()(PKCS7* p) const { PKCS7_free(p); } };
struct BioFree { void operator()(BIO* p) const { BIO_free(p); } };
struct BioChainFree { void operator()(BIO* p) const { BIO_free_all(p); } };
struct StoreFree { void operator()(X509_STORE* p) const { X509_STORE_free(p); } };
struct X509Free { void operator()(X509* p) const { X509_free(p); } };
struct SigFree { void operator()(X509_SIG* p) const { X509_SIG_free(p); } };
struct MdCtxFree { void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); } };
using Pkcs7Ptr = std::unique_ptr<PKCS7, Pkcs7Free>;
using BioPtr = std::unique_ptr<BIO, BioFree>;
using BioChainPtr = std::unique_ptr<BIO, BioChainFree>;
using StorePtr = std::unique_ptr<X509_STORE, StoreFree>;
using X509Ptr = std::unique_ptr<X509, X509Free>;
using SigPtr = std::unique_ptr<X509_SIG, SigFree>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

const unsigned char* Bytes(std::string_view data) {
  return reinterpret_cast<const unsigned char*>(data.data());
}

// Hashing reads the image in pieces of this size, whatever its size.
constexpr std::size_t kHashPiece = 1 << 20;
// No real certificate table comes near this; a larger signature is refused
// rather than read into memory.
constexpr std::uint64_t kMaxSignatureSize = 16 << 20;

// The bytes of an image, read where they are needed, so that a file is
// verified with memory that does not grow with its size.
class ImageBytes {
 public:
  virtual ~ImageBytes() = default;
  virtual std::uint64_t Size() const = 0;
  // Exactly `length` bytes at `offset`; false when they are not there.
  virtual bool Read(std::uint64_t offset, std::size_t length, char* out) const = 0;
};

class MemoryImage : public ImageBytes {
 public:
  explicit MemoryImage(std::string_view image) : image_(image) {}
  std::uint64_t Size() const override { return image_.size(); }
  bool Read(std::uint64_t offset, std::size_t length, char* out) const override {
    if (offset > image_.size() || length > image_.size() - offset) return false;
    std::copy_n(image_.data() + offset, length, out);
    return true;
  }

 private:
  std::string_view image_;
};

class FileImage : public ImageBytes {
 public:
  FileImage(int fd, std::uint64_t size) : fd_(fd), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  bool Read(std::uint64_t offset, std::size_t length, char* out) const override {
    if (offset > size_ || length > size_ - offset) return false;
    while (length > 0) {
      const ssize_t n = ::pread(fd_, out, length, static_cast<off_t>(offset));
      if (n <= 0) return false;
      out += n;
      offset += static_cast<std::uint64_t>(n);
      length -= static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  int fd_;
  std::uint64_t size_;
};

std::optional<PeLayout> ReadLayout(const ImageBytes& image, std::string* error) {
  return ParsePeLayout(
      image.Size(), [&image](std::uint64_t offset, std::size_t length, char* out) { return image.Read(offset, length, out); },
      error);
}

std::string OidText(const ASN1_OBJECT* object) {
  if (!object) return {};
  char buffer[128];
  const int length = OBJ_obj2txt(buffer, sizeof buffer, object, 1);
  if (length <= 0 || length >= static_cast<int>(sizeof buffer)) return {};
  return std::string(buffer, static_cast<std::size_t>(length));
}

// The queued libcrypto errors as one line, emptying the queue.
std::string TakeOpenSslErrors() {
  std::string text;
  unsigned long code;
  while ((code = ERR_get_error()) != 0) {
    char buffer[256];
    ERR_error_string_n(code, buffer, sizeof buffer);
    if (!text.empty()) text += "; ";
    text += buffer;
  }
  return text;
}

std::string Der(X509* certificate) {
  unsigned char* out = nullptr;
  const int length = i2d_X509(certificate, &out);
  if (length <= 0) return {};
  std::string der(reinterpret_cast<char*>(out), static_cast<std::size_t>(length));
  OPENSSL_free(out);
  return der;
}

std::string EntryText(X509_NAME* name, int index) {
  X509_NAME_ENTRY* entry = X509_NAME_get_entry(name, index);
  if (!entry) return {};
  unsigned char* utf8 = nullptr;
  const int length = ASN1_STRING_to_UTF8(&utf8, X509_NAME_ENTRY_get_data(entry));
  if (length < 0) return {};
  std::string text(reinterpret_cast<char*>(utf8), static_cast<std::size_t>(length));
  OPENSSL_free(utf8);
  return text;
}

std::string SimpleName(X509_NAME* name) {
  if (!name) return {};
  for (int nid : {NID_commonName, NID_organizationalUnitName, NID_organizationName, NID_pkcs9_emailAddress}) {
    const int index = X509_NAME_get_index_by_NID(name, nid, -1);
    if (index >= 0) return EntryText(name, index);
  }
  return {};
}

X509Ptr ParseCertificate(std::string_view der) {
  if (der.empty() || der.size() > static_cast<std::size_t>(std::numeric_limits<long>::max())) return nullptr;
  const unsigned char* p = Bytes(der);
  return X509Ptr(d2i_X509(nullptr, &p, static_cast<long>(der.size())));
}

const EVP_MD* DigestByName(const std::string& name) {
  if (name == "sha1") return EVP_sha1();
  if (name == "sha256") return EVP_sha256();
  if (name == "sha384") return EVP_sha384();
  if (name == "sha512") return EVP_sha512();
  return nullptr;
}

const char* DigestName(int nid) {
  switch (nid) {
    case NID_sha1: return "sha1";
    case NID_sha256: return "sha256";
    case NID_sha384: return "sha384";
    case NID_sha512: return "sha512";
    default: return nullptr;
  }
}

// The byte ranges the image hash covers, in file order.
struct HashRanges {
  std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;  // [begin, end)
  std::size_t padding = 0;                                      // zeros appended
};

std::optional<HashRanges> ImageHashRanges(const ImageBytes& image, const PeLayout& layout, std::string* error) {
  if (!layout.hasCertificateEntry) {
    if (error) *error = "the image has no certificate table entry";
    return std::nullopt;
  }
  const std::uint64_t size = image.Size();
  const std::uint64_t checksum = layout.checksumOffset;
  const std::uint64_t entry = layout.certificateEntryOffset;
  // The reader guarantees both fields lie inside the optional header.
  std::uint64_t tableBegin = size;
  std::uint64_t tableEnd = size;
  HashRanges hash;
  if (layout.certificateTableOffset == 0 && layout.certificateTableSize == 0) {
    hash.padding = static_cast<std::size_t>((8 - size % 8) % 8);
  } else {
    const std::uint64_t begin = layout.certificateTableOffset;
    const std::uint64_t end = begin + layout.certificateTableSize;
    if (begin < entry + 8 || end > size) {
      if (error) *error = "the certificate table lies outside the file";
      return std::nullopt;
    }
    tableBegin = begin;
    tableEnd = end;
  }
  hash.ranges = {{0, checksum}, {checksum + 4, entry}, {entry + 8, tableBegin}, {tableEnd, size}};
  return hash;
}

std::optional<std::string> HashImage(const ImageBytes& image, const PeLayout& layout, const EVP_MD* md,
                                     std::string* error) {
  const auto ranges = ImageHashRanges(image, layout, error);
  if (!ranges) return std::nullopt;
  MdCtxPtr context(EVP_MD_CTX_new());
  bool ok = context && EVP_DigestInit_ex(context.get(), md, nullptr) == 1;
  std::vector<char> piece;
  for (const auto& range : ranges->ranges) {
    for (std::uint64_t at = range.first; ok && at < range.second;) {
      const std::size_t length = static_cast<std::size_t>(std::min<std::uint64_t>(range.second - at, kHashPiece));
      piece.resize(std::max(piece.size(), length));
      if (!image.Read(at, length, piece.data())) {
        if (error) *error = "the file could not be read";
        return std::nullopt;
      }
      ok = EVP_DigestUpdate(context.get(), piece.data(), length) == 1;
      at += length;
    }
  }
  if (ok && ranges->padding > 0) {
    static const char kZeros[8] = {};
    ok = EVP_DigestUpdate(context.get(), kZeros, ranges->padding) == 1;
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (ok) ok = EVP_DigestFinal_ex(context.get(), digest, &length) == 1;
  if (!ok) {
    if (error) *error = "hashing failed: " + TakeOpenSslErrors();
    return std::nullopt;
  }
  return std::string(reinterpret_cast<char*>(digest), length);
}

// The image hashes computed so far, by digest name: nested signatures of
// one digest need the file read only once.
using ImageHashes = std::map<std::string, std::optional<std::string>>;

// Finds the PKCS#7 blob of the first PKCS_SIGNED_DATA entry of the certificate table.
AuthenticodeStatus FindSignatureBlob(const ImageBytes& image, const PeLayout& layout, std::string* blob,
                                     std::string* error) {
  if (!layout.hasCertificateEntry ||
      (layout.certificateTableOffset == 0 && layout.certificateTableSize == 0)) {
    *error = "the file is not signed";
    return AuthenticodeStatus::NoSignature;
  }
  const std::uint64_t begin = layout.certificateTableOffset;
  const std::uint64_t size = layout.certificateTableSize;
  if (begin == 0 || size == 0 || begin < layout.certificateEntryOffset + 8 || begin + size > image.Size()) {
    *error = "the certificate table lies outside the file";
    return AuthenticodeStatus::MalformedSignature;
  }
  std::uint64_t position = 0;
  while (position + 8 <= size) {
    char header[8];
    if (!image.Read(begin + position, sizeof header, header)) {
      *error = "the certificate table could not be read";
      return AuthenticodeStatus::FileError;
    }
    const std::string_view entry(header, sizeof header);
    const std::uint32_t length = Get32(entry, 0);
    const std::uint16_t revision = Get16(entry, 4);
    const std::uint16_t type = Get16(entry, 6);
    if (length < 8 || length > size - position) {
      *error = "a certificate table entry has an invalid length";
      return AuthenticodeStatus::MalformedSignature;
    }
    if (revision == kWinCertRevision2 && type == kWinCertTypePkcsSignedData) {
      if (length - 8 > kMaxSignatureSize) {
        *error = "the signature is larger than any real one";
        return AuthenticodeStatus::MalformedSignature;
      }
      blob->assign(length - 8, '\0');
      if (!image.Read(begin + position + 8, blob->size(), blob->data())) {
        *error = "the certificate table could not be read";
        return AuthenticodeStatus::FileError;
      }
      return AuthenticodeStatus::Verified;
    }
    position += (static_cast<std::uint64_t>(length) + 7) / 8 * 8;
  }
  *error = "the certificate table holds no PKCS#7 signature";
  return AuthenticodeStatus::NoSignature;
}

// What the chain check saw, filled by the verification callback.
// Whether a certificate may take part in signing code: one that limits its
// extended key usage must name code signing. Windows requires it of the
// signer (osslsigncode too) and of every issuer above it: a chain is valid
// only for the usages all its certificates allow. A certificate without that
// extension is not limited.
bool MaySignCode(X509* certificate) {
  if (!(X509_get_extension_flags(certificate) & EXFLAG_XKUSAGE)) return true;
  return (X509_get_extended_key_usage(certificate) & XKU_CODE_SIGN) != 0;
}

struct ChainCapture {
  int error = X509_V_OK;
  std::vector<std::string> chain;
  bool trusted = false;
  bool issuersMaySignCode = true;  // no issuer in the chain limits its usage to other purposes
};

int ChainCaptureIndex() {
  static const int index = X509_STORE_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

int CaptureChain(int ok, X509_STORE_CTX* context) {
  X509_STORE* store = X509_STORE_CTX_get0_store(context);
  auto* capture = store ? static_cast<ChainCapture*>(X509_STORE_get_ex_data(store, ChainCaptureIndex())) : nullptr;
  if (!capture) return ok;
  if (!ok && capture->error == X509_V_OK) capture->error = X509_STORE_CTX_get_error(context);
  if (STACK_OF(X509)* chain = X509_STORE_CTX_get0_chain(context)) {
    capture->chain.clear();
    capture->issuersMaySignCode = true;
    for (int i = 0; i < sk_X509_num(chain); ++i) {
      X509* certificate = sk_X509_value(chain, i);
      capture->chain.push_back(Der(certificate));
      if (i > 0 && !MaySignCode(certificate)) capture->issuersMaySignCode = false;
    }
  }
  return ok;
}

AuthenticodeStatus ChainStatus(int error) {
  switch (error) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_CERT_UNTRUSTED:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      return AuthenticodeStatus::UntrustedRoot;
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
      return AuthenticodeStatus::CertificateExpired;
    case X509_V_ERR_INVALID_PURPOSE:
    case X509_V_ERR_KEYUSAGE_NO_CERTSIGN:
      return AuthenticodeStatus::WrongUsage;
    default:
      return AuthenticodeStatus::ChainFailed;
  }
}

StorePtr MakeStore(const TrustedRoots& roots, ChainCapture* capture) {
  StorePtr store(X509_STORE_new());
  if (!store) return nullptr;
  if (const TrustedRoots::Certificates* certificates = roots.Get()) {
    for (X509* root : certificates->certificates) X509_STORE_add_cert(store.get(), root);
  }
  // Code signing certificates do not carry the S/MIME usage PKCS7_verify
  // would otherwise ask for; the chain itself is checked in full.
  X509_STORE_set_purpose(store.get(), X509_PURPOSE_ANY);
  X509_STORE_set_verify_cb(store.get(), CaptureChain);
  X509_STORE_set_ex_data(store.get(), ChainCaptureIndex(), capture);
  return store;
}

// The signed content of Authenticode: the DER of SpcIndirectDataContent
// without its outer SEQUENCE tag and length, and the DigestInfo inside it.
struct IndirectData {
  std::string_view signedContent;
  const EVP_MD* md = nullptr;
  std::string digestName;
  std::string digest;
};

AuthenticodeStatus ReadIndirectData(PKCS7* p7, IndirectData* indirect, std::string* error) {
  if (!PKCS7_type_is_signed(p7) || !p7->d.sign || !p7->d.sign->contents) {
    *error = "the signature is not PKCS#7 SignedData";
    return AuthenticodeStatus::MalformedSignature;
  }
  PKCS7* contents = p7->d.sign->contents;
  if (OidText(contents->type) != kIndirectDataOid) {
    *error = "the signed content is not Authenticode indirect data";
    return AuthenticodeStatus::MalformedSignature;
  }
  ASN1_TYPE* other = contents->d.other;
  if (!other || other->type != V_ASN1_SEQUENCE || !other->value.sequence ||
      other->value.sequence->length <= 0) {
    *error = "the indirect data is not a SEQUENCE";
    return AuthenticodeStatus::MalformedSignature;
  }
  const unsigned char* start = other->value.sequence->data;
  const long total = other->value.sequence->length;
  const unsigned char* p = start;
  long length = 0;
  int tag = 0, xclass = 0;
  int flags = ASN1_get_object(&p, &length, &tag, &xclass, total);
  if ((flags & 0x80) || flags != V_ASN1_CONSTRUCTED || tag != V_ASN1_SEQUENCE || length > total - (p - start)) {
    *error = "the indirect data is not a definite-length SEQUENCE";
    return AuthenticodeStatus::MalformedSignature;
  }
  indirect->signedContent = std::string_view(reinterpret_cast<const char*>(p), static_cast<std::size_t>(length));

  // Skip SpcAttributeTypeAndOptionalValue; the DigestInfo follows.
  const unsigned char* end = p + length;
  const unsigned char* q = p;
  long dataLength = 0;
  flags = ASN1_get_object(&q, &dataLength, &tag, &xclass, end - q);
  if ((flags & 0x80) || flags != V_ASN1_CONSTRUCTED || dataLength > end - q) {
    *error = "the indirect data has no attribute value";
    return AuthenticodeStatus::MalformedSignature;
  }
  q += dataLength;
  SigPtr digestInfo(d2i_X509_SIG(nullptr, &q, end - q));
  if (!digestInfo) {
    *error = "the indirect data has no digest";
    return AuthenticodeStatus::MalformedSignature;
  }
  const X509_ALGOR* algorithm = nullptr;
  const ASN1_OCTET_STRING* digest = nullptr;
  X509_SIG_get0(digestInfo.get(), &algorithm, &digest);
  const ASN1_OBJECT* algorithmObject = nullptr;
  if (algorithm) X509_ALGOR_get0(&algorithmObject, nullptr, nullptr, algorithm);
  const char* name = algorithmObject ? DigestName(OBJ_obj2nid(algorithmObject)) : nullptr;
  if (!name) {
    *error = "the digest algorithm " + OidText(algorithmObject) + " is not supported";
    return AuthenticodeStatus::UnsupportedDigest;
  }
  indirect->digestName = name;
  indirect->md = DigestByName(name);
  if (!digest || ASN1_STRING_length(digest) != EVP_MD_get_size(indirect->md)) {
    *error = "the signed digest has the wrong length";
    return AuthenticodeStatus::MalformedSignature;
  }
  indirect->digest.assign(reinterpret_cast<const char*>(ASN1_STRING_get0_data(digest)),
                          static_cast<std::size_t>(ASN1_STRING_length(digest)));
  return AuthenticodeStatus::Verified;
}

// Marks the signature as failed with `status` and the reason; false, so that
// a phase can end with `return Refuse(...)`.
bool Refuse(AuthenticodeSignature* signature, AuthenticodeStatus status, std::string error) {
  signature->status = status;
  signature->error = std::move(error);
  return false;
}

// The signer phase: the one signer's certificate, taken into the result
// (certificate, first chain link, issuer name). `maySignCode` tells whether
// its extended key usage allows code signing.
bool ReadSigner(PKCS7* p7, AuthenticodeSignature* signature, bool* maySignCode) {
  STACK_OF(PKCS7_SIGNER_INFO)* signerInfos = PKCS7_get_signer_info(p7);
  if (sk_PKCS7_SIGNER_INFO_num(signerInfos) != 1) {
    return Refuse(signature, AuthenticodeStatus::MalformedSignature, "the signature must have exactly one signer");
  }
  STACK_OF(X509)* signers = PKCS7_get0_signers(p7, nullptr, 0);
  X509* signer = sk_X509_num(signers) == 1 ? sk_X509_value(signers, 0) : nullptr;
  *maySignCode = signer && MaySignCode(signer);
  if (signer) {
    signature->signerCertificate = Der(signer);
    signature->chain.push_back(signature->signerCertificate);
    signature->issuerName = SimpleName(X509_get_issuer_name(signer));
  }
  sk_X509_free(signers);
  if (!signer) {
    TakeOpenSslErrors();
    return Refuse(signature, AuthenticodeStatus::MalformedSignature, "the signer's certificate is not in the signature");
  }
  return true;
}

// The digest phase: the image hash under the signed digest algorithm (each
// algorithm's hash computed once per file, kept in `hashes`) against the
// signed digest.
bool CheckImageDigest(const IndirectData& indirect, const ImageBytes& image, const PeLayout& layout,
                      ImageHashes* hashes, AuthenticodeSignature* signature) {
  std::string hashError;
  auto known = hashes->find(indirect.digestName);
  if (known == hashes->end()) {
    known = hashes->emplace(indirect.digestName, HashImage(image, layout, indirect.md, &hashError)).first;
  }
  const std::optional<std::string>& actual = known->second;
  if (!actual) {
    return Refuse(signature, AuthenticodeStatus::MalformedSignature,
                  hashError.empty() ? "the image hash could not be computed" : hashError);
  }
  if (actual->size() != indirect.digest.size() ||
      CRYPTO_memcmp(actual->data(), indirect.digest.data(), actual->size()) != 0) {
    return Refuse(signature, AuthenticodeStatus::BadDigest,
                  "the file's " + indirect.digestName + " image hash does not match its signature");
  }
  return true;
}

// The signed content as a buffered memory BIO: PKCS7_verify copies a plain
// memory BIO into one of its own, which it does not free on every error path.
BioChainPtr SignedContent(const IndirectData& indirect) {
  BioChainPtr chain(BIO_new(BIO_f_buffer()));
  BIO* memory = BIO_new_mem_buf(indirect.signedContent.data(), static_cast<int>(indirect.signedContent.size()));
  if (!chain || !memory) {
    BIO_free(memory);
    return nullptr;
  }
  BIO_push(chain.get(), memory);
  return chain;
}

// The signature phase: the signature over the content, without the chain, so
// that a broken signature is not reported as a chain problem.
bool CheckSignatureOverContent(PKCS7* p7, const IndirectData& indirect, const TrustedRoots& roots,
                               AuthenticodeSignature* signature) {
  // Authenticode signs with one digest algorithm; more would leave digest
  // BIOs on the content chain that PKCS7_verify does not take off again.
  if (sk_X509_ALGOR_num(p7->d.sign->md_algs) != 1 ||
      !EVP_get_digestbyobj(sk_X509_ALGOR_value(p7->d.sign->md_algs, 0)->algorithm)) {
    return Refuse(signature, AuthenticodeStatus::MalformedSignature,
                  "the signature must name exactly one known digest algorithm");
  }
  ChainCapture ignored;
  StorePtr store = MakeStore(roots, &ignored);
  BioChainPtr data = SignedContent(indirect);
  if (!store || !data || PKCS7_verify(p7, nullptr, store.get(), data.get(), nullptr, PKCS7_NOVERIFY) != 1) {
    return Refuse(signature, AuthenticodeStatus::BadSignature,
                  "the signature does not verify: " + TakeOpenSslErrors());
  }
  return true;
}

// The chain phase: the signer's chain to the trusted roots, and every
// certificate on it allowed to take part in signing code.
bool CheckChain(PKCS7* p7, const IndirectData& indirect, const TrustedRoots& roots, bool signerMaySignCode,
                AuthenticodeSignature* signature) {
  ChainCapture capture;
  StorePtr store = MakeStore(roots, &capture);
  BioChainPtr data = SignedContent(indirect);
  const bool chained = store && data && PKCS7_verify(p7, nullptr, store.get(), data.get(), nullptr, 0) == 1;
  if (!capture.chain.empty()) signature->chain = capture.chain;
  if (chained) {
    signature->chainTrusted = true;
    TakeOpenSslErrors();
    if (!signerMaySignCode) {
      return Refuse(signature, AuthenticodeStatus::WrongUsage,
                    "the signer's certificate may not sign code (its extended key usage lacks code signing)");
    }
    if (!capture.issuersMaySignCode) {
      return Refuse(signature, AuthenticodeStatus::WrongUsage,
                    "an issuer in the chain may not take part in signing code "
                    "(its extended key usage lacks code signing)");
    }
    return true;
  }
  if (capture.error != X509_V_OK) {
    Refuse(signature, ChainStatus(capture.error),
           std::string("the certificate chain does not verify: ") + X509_verify_cert_error_string(capture.error));
    TakeOpenSslErrors();
    return false;
  }
  return Refuse(signature, AuthenticodeStatus::ChainFailed,
                "the certificate chain does not verify: " + TakeOpenSslErrors());
}

// One signature of the file, phase by phase: its signed data, its signer,
// the image digest, the signature over the content, the chain. The first
// phase that fails gives the status.
AuthenticodeSignature VerifySignature(PKCS7* p7, const ImageBytes& image, const PeLayout& layout,
                                      const TrustedRoots& roots, ImageHashes* hashes) {
  AuthenticodeSignature signature;
  IndirectData indirect;
  signature.status = ReadIndirectData(p7, &indirect, &signature.error);
  if (signature.status != AuthenticodeStatus::Verified) return signature;
  signature.digestAlgorithm = indirect.digestName;
  bool maySignCode = false;
  if (ReadSigner(p7, &signature, &maySignCode) && CheckImageDigest(indirect, image, layout, hashes, &signature) &&
      CheckSignatureOverContent(p7, indirect, roots, &signature) &&
      CheckChain(p7, indirect, roots, maySignCode, &signature)) {
    signature.status = AuthenticodeStatus::Verified;
  }
  return signature;
}

Pkcs7Ptr ParsePkcs7(const unsigned char* data, std::size_t size) {
  if (size == 0 || size > static_cast<std::size_t>(std::numeric_limits<long>::max())) return nullptr;
  const unsigned char* p = data;
  return Pkcs7Ptr(d2i_PKCS7(nullptr, &p, static_cast<long>(size)));
}

// The nested signatures kept in the primary signer's unauthenticated attributes, in order.
std::vector<std::pair<const unsigned char*, std::size_t>> NestedSignatures(PKCS7* p7) {
  std::vector<std::pair<const unsigned char*, std::size_t>> nested;
  if (!PKCS7_type_is_signed(p7) || !p7->d.sign) return nested;
  PKCS7_SIGNER_INFO* info = sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(p7), 0);
  if (!info) return nested;
  STACK_OF(X509_ATTRIBUTE)* attributes = PKCS7_get_attributes(info);
  for (int i = 0; i < X509at_get_attr_count(attributes); ++i) {
    X509_ATTRIBUTE* attribute = X509at_get_attr(attributes, i);
    if (OidText(X509_ATTRIBUTE_get0_object(attribute)) != kNestedSignatureOid) continue;
    for (int v = 0; v < X509_ATTRIBUTE_count(attribute); ++v) {
      ASN1_TYPE* value = X509_ATTRIBUTE_get0_type(attribute, v);
      if (value && value->type == V_ASN1_SEQUENCE && value->value.sequence)
        nested.emplace_back(value->value.sequence->data,
                            static_cast<std::size_t>(std::max(0, value->value.sequence->length)));
      else
        nested.emplace_back(nullptr, 0);
    }
  }
  return nested;
}

}  // namespace

const char* AuthenticodeStatusName(AuthenticodeStatus status) {
  switch (status) {
    case AuthenticodeStatus::Verified: return "verified";
    case AuthenticodeStatus::FileError: return "file error";
    case AuthenticodeStatus::NotPortableExecutable: return "not a portable executable";
    case AuthenticodeStatus::NoSignature: return "no signature";
    case AuthenticodeStatus::MalformedSignature: return "malformed signature";
    case AuthenticodeStatus::UnsupportedDigest: return "unsupported digest";
    case AuthenticodeStatus::BadDigest: return "bad digest";
    case AuthenticodeStatus::BadSignature: return "bad signature";
    case AuthenticodeStatus::UntrustedRoot: return "untrusted root";
    case AuthenticodeStatus::CertificateExpired: return "certificate expired";
    case AuthenticodeStatus::WrongUsage: return "wrong usage";
    case AuthenticodeStatus::ChainFailed: return "chain failed";
  }
  return "unknown";
}

TrustedRoots::TrustedRoots() : certificates_(std::make_shared<Certificates>()) {}

TrustedRoots TrustedRoots::FromPem(std::string_view pem) {
  auto certificates = std::make_shared<Certificates>();
  if (!pem.empty() && pem.size() <= static_cast<std::size_t>(std::numeric_limits<int>::max())) {
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    while (bio) {
      X509* certificate = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr);
      if (!certificate) break;
      certificates->certificates.push_back(certificate);
    }
  }
  ERR_clear_error();  // the end of the bundle reads as an error
  TrustedRoots roots;
  roots.certificates_ = std::move(certificates);
  return roots;
}

TrustedRoots TrustedRoots::FromPemFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return TrustedRoots();
  const std::string pem((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return FromPem(pem);
}

std::size_t TrustedRoots::Count() const { return certificates_ ? certificates_->certificates.size() : 0; }

std::optional<std::string> AuthenticodeImageHash(std::string_view image, const std::string& digest,
                                                 std::string* error) {
  const EVP_MD* md = DigestByName(digest);
  if (!md) {
    if (error) *error = "unknown digest " + digest;
    return std::nullopt;
  }
  const MemoryImage bytes(image);
  const auto layout = ReadLayout(bytes, error);
  if (!layout) return std::nullopt;
  return HashImage(bytes, *layout, md, error);
}

namespace {

AuthenticodeResult Verify(const ImageBytes& image, const TrustedRoots& roots) {
  ERR_clear_error();
  AuthenticodeResult result;
  const auto layout = ReadLayout(image, &result.error);
  if (!layout) {
    result.status = AuthenticodeStatus::NotPortableExecutable;
    return result;
  }
  std::string blob;
  result.status = FindSignatureBlob(image, *layout, &blob, &result.error);
  if (result.status != AuthenticodeStatus::Verified) return result;

  Pkcs7Ptr primary = ParsePkcs7(Bytes(blob), blob.size());
  if (!primary) {
    result.status = AuthenticodeStatus::MalformedSignature;
    result.error = "the signature is not valid PKCS#7: " + TakeOpenSslErrors();
    return result;
  }
  ImageHashes hashes;
  result.signatures.push_back(VerifySignature(primary.get(), image, *layout, roots, &hashes));
  for (const auto& nested : NestedSignatures(primary.get())) {
    Pkcs7Ptr p7 = nested.first ? ParsePkcs7(nested.first, nested.second) : nullptr;
    if (!p7) {
      AuthenticodeSignature broken;
      broken.status = AuthenticodeStatus::MalformedSignature;
      broken.error = "the nested signature is not valid PKCS#7";
      TakeOpenSslErrors();
      result.signatures.push_back(std::move(broken));
      continue;
    }
    result.signatures.push_back(VerifySignature(p7.get(), image, *layout, roots, &hashes));
  }
  result.status = result.signatures.front().status;
  result.error = result.signatures.front().error;
  ERR_clear_error();
  return result;
}

}  // namespace

AuthenticodeResult VerifyAuthenticode(std::string_view image, const TrustedRoots& roots) {
  return Verify(MemoryImage(image), roots);
}

AuthenticodeResult VerifyAuthenticodeFile(const std::filesystem::path& file,
                                          const std::filesystem::path& trustedRootsPem) {
  AuthenticodeResult result;
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    if (fd >= 0) ::close(fd);
    result.status = AuthenticodeStatus::FileError;
    result.error = "cannot read " + file.string();
    return result;
  }
  // Offsets in a PE image are 32-bit; larger files cannot be signed images.
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (size > std::numeric_limits<std::uint32_t>::max()) {
    ::close(fd);
    result.status = AuthenticodeStatus::NotPortableExecutable;
    result.error = "the file is too large for a portable executable";
    return result;
  }
  // The file is read in pieces where it is needed, never whole.
  result = Verify(FileImage(fd, size), TrustedRoots::FromPemFile(trustedRootsPem));
  ::close(fd);
  return result;
}

std::string CertificateSimpleName(std::string_view der, bool issuer) {
  X509Ptr certificate = ParseCertificate(der);
  ERR_clear_error();
  if (!certificate) return {};
  return SimpleName(issuer ? X509_get_issuer_name(certificate.get()) : X509_get_subject_name(certificate.get()));
}

std::string CertificateNameAttribute(std::string_view der, bool issuer, const std::string& oid) {
  X509Ptr certificate = ParseCertificate(der);
  ASN1_OBJECT* object = OBJ_txt2obj(oid.c_str(), 1);
  std::string text;
  if (certificate && object) {
    X509_NAME* name = issuer ? X509_get_issuer_name(certificate.get()) : X509_get_subject_name(certificate.get());
    const int index = X509_NAME_get_index_by_OBJ(name, object, -1);
    if (index >= 0) text = EntryText(name, index);
  }
  ASN1_OBJECT_free(object);
  ERR_clear_error();
  return text;
}

bool CertificateIsSelfIssued(std::string_view der) {
  X509Ptr certificate = ParseCertificate(der);
  ERR_clear_error();
  return certificate &&
         X509_NAME_cmp(X509_get_issuer_name(certificate.get()), X509_get_subject_name(certificate.get())) == 0;
}

}  // namespace platform
