#include "tests/support/self_signed_certificate.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdint>
#include <memory>

namespace melodrin::testing {
namespace {

struct KeyFree {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
struct CertFree {
  void operator()(X509* p) const { X509_free(p); }
};
struct ContextFree {
  void operator()(SSL_CTX* p) const { SSL_CTX_free(p); }
};
struct BioFree {
  void operator()(BIO* p) const { BIO_free(p); }
};

bool add_extension(X509* cert, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (ext == nullptr) return false;
  const bool ok = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return ok;
}

}  // namespace

SSL_CTX* make_server_context(std::string& pem) {
  std::unique_ptr<EVP_PKEY, KeyFree> key(EVP_EC_gen("P-256"));
  if (!key) return nullptr;

  std::unique_ptr<X509, CertFree> cert(X509_new());
  if (!cert || X509_set_version(cert.get(), 2) != 1) return nullptr;
  unsigned char serial[8];
  if (RAND_bytes(serial, sizeof serial) != 1) return nullptr;
  serial[0] &= 0x7f;  // keep the serial positive
  std::uint64_t number = 0;
  for (unsigned char b : serial) number = number << 8 | b;
  ASN1_INTEGER_set_uint64(X509_get_serialNumber(cert.get()), number);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -24L * 3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 3650L * 24 * 3600);
  if (X509_set_pubkey(cert.get(), key.get()) != 1) return nullptr;

  X509_NAME* name = X509_get_subject_name(cert.get());
  if (X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                                 reinterpret_cast<const unsigned char*>("Melodrin tests"),
                                 -1, -1, 0) != 1 ||
      X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                 reinterpret_cast<const unsigned char*>("127.0.0.1"), -1,
                                 -1, 0) != 1 ||
      X509_set_issuer_name(cert.get(), name) != 1)
    return nullptr;
  if (!add_extension(cert.get(), NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost") ||
      !add_extension(cert.get(), NID_ext_key_usage, "serverAuth") ||
      !add_extension(cert.get(), NID_subject_key_identifier, "hash"))
    return nullptr;
  if (X509_sign(cert.get(), key.get(), EVP_sha256()) <= 0) return nullptr;

  std::unique_ptr<SSL_CTX, ContextFree> ctx(SSL_CTX_new(TLS_server_method()));
  if (!ctx) return nullptr;
  SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
  // Clients of failure tests drop the connection without close_notify.
  SSL_CTX_set_options(ctx.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);
  if (SSL_CTX_use_certificate(ctx.get(), cert.get()) != 1 ||
      SSL_CTX_use_PrivateKey(ctx.get(), key.get()) != 1 ||
      SSL_CTX_check_private_key(ctx.get()) != 1)
    return nullptr;

  std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
  if (!bio || PEM_write_bio_X509(bio.get(), cert.get()) != 1) return nullptr;
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  pem.assign(data, size > 0 ? static_cast<std::size_t>(size) : 0);
  return ctx.release();
}

}  // namespace melodrin::testing
