// A throw-away TLS identity for emulated HTTPS services: a P-256 key and a
// self-signed certificate for "localhost" and 127.0.0.1, valid for a day,
// written as PEM files. The certificate is its own CA, so a client can either
// trust it through its CA file or switch verification off.
#pragma once

#include <string>

namespace measure::emulator {

struct CertificateFiles {
    std::string certificate;  // PEM certificate (also usable as the CA file)
    std::string key;          // PEM private key, unencrypted
};

// Writes "<folder>/<name>.crt" and "<folder>/<name>.key". Empty paths when
// OpenSSL or the file system failed.
CertificateFiles writeSelfSignedCertificate(const std::string& folder, const std::string& name = "localhost");

}  // namespace measure::emulator
