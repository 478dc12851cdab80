#include "common/self_signed_certificate.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>

namespace measure::emulator {
namespace {

struct Deleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
    void operator()(X509* certificate) const { X509_free(certificate); }
    void operator()(X509_EXTENSION* extension) const { X509_EXTENSION_free(extension); }
    void operator()(std::FILE* file) const { std::fclose(file); }
};
template <typename T>
using Owned = std::unique_ptr<T, Deleter>;

bool addExtension(X509* certificate, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    Owned<X509_EXTENSION> extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value));
    return extension && X509_add_ext(certificate, extension.get(), -1) == 1;
}

}  // namespace

CertificateFiles writeSelfSignedCertificate(const std::string& folder, const std::string& name) {
    Owned<EVP_PKEY> key(EVP_EC_gen("P-256"));
    Owned<X509> certificate(X509_new());
    if (!key || !certificate) return {};
    X509* cert = certificate.get();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 24 * 3600);
    X509_set_pubkey(cert, key.get());
    X509_NAME* subject = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(cert, subject);
    if (!addExtension(cert, NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1") ||
        !addExtension(cert, NID_basic_constraints, "critical,CA:TRUE") ||
        X509_sign(cert, key.get(), EVP_sha256()) == 0)
        return {};

    CertificateFiles files{folder + "/" + name + ".crt", folder + "/" + name + ".key"};
    Owned<std::FILE> certificateFile(std::fopen(files.certificate.c_str(), "w"));
    Owned<std::FILE> keyFile(std::fopen(files.key.c_str(), "w"));
    if (!certificateFile || !keyFile || PEM_write_X509(certificateFile.get(), cert) != 1 ||
        PEM_write_PrivateKey(keyFile.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return {};
    return files;
}

}  // namespace measure::emulator
