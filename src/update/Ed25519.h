#pragma once

// Ed25519 signatures (OpenSSL) for update packages. The program carries only
// the 32-byte public key; the private key signs releases offline (see
// tools/sign-release). Keys and signatures travel as base64 text.

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

#include "model/Result.h"

namespace vorpix::update {

inline constexpr qsizetype kEd25519PublicKeyBytes = 32;
inline constexpr qsizetype kEd25519SignatureBytes = 64;

// The public key compiled into this build (VORPIX_UPDATE_PUBLIC_KEY), raw bytes.
QByteArray releasePublicKey();

// Decodes strict base64 text; none when it is not base64 or does not decode to
// exactly `bytes` bytes.
std::optional<QByteArray> decodeBase64Exact(QByteArrayView text, qsizetype bytes);

// True only when `signature` (64 raw bytes) is a valid Ed25519 signature of
// `message` under `publicKey` (32 raw bytes). Wrong sizes give false.
bool verifyEd25519(QByteArrayView publicKey, QByteArrayView message, QByteArrayView signature);

// A freshly generated private key as PKCS#8 PEM (the format of
// `openssl genpkey -algorithm ed25519`). Errors: domain "update".
Result<QByteArray> generatePrivateKeyPem();

// The raw 32-byte public key of a PEM private key. Errors: domain "update".
Result<QByteArray> publicKeyOf(const QByteArray& privateKeyPem);

// The 64-byte signature of `message`. Errors: domain "update".
Result<QByteArray> signEd25519(const QByteArray& privateKeyPem, QByteArrayView message);

}  // namespace vorpix::update
