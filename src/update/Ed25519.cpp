#include "update/Ed25519.h"

#include <memory>
#include <optional>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include "update/BuildConfig.h"
#include "update/Errors.h"

namespace vorpix::update {
namespace {

struct PkeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
};
struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;
using Bio = std::unique_ptr<BIO, BioFree>;

const unsigned char* bytes(QByteArrayView view) {
    return reinterpret_cast<const unsigned char*>(view.data());
}

Error keyError(const char* what) {
    return makeError(domain::kUpdate, errc::kSigning, what);
}

Result<Pkey> readPrivateKey(const QByteArray& pem) {
    Bio bio(BIO_new_mem_buf(pem.constData(), static_cast<int>(pem.size())));
    if (!bio) return keyError("Out of memory.");
    Pkey key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519) {
        return keyError("The private key is not an Ed25519 key in PEM form.");
    }
    return key;
}

}  // namespace

QByteArray releasePublicKey() {
    return decodeBase64Exact(build::kReleasePublicKeyBase64, kEd25519PublicKeyBytes).value_or(QByteArray());
}

std::optional<QByteArray> decodeBase64Exact(QByteArrayView text, qsizetype size) {
    auto decoded =
        QByteArray::fromBase64Encoding(text.toByteArray().trimmed(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != size) return std::nullopt;
    return std::move(decoded.decoded);
}

bool verifyEd25519(QByteArrayView publicKey, QByteArrayView message, QByteArrayView signature) {
    if (publicKey.size() != kEd25519PublicKeyBytes || signature.size() != kEd25519SignatureBytes)
        return false;
    const Pkey key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, bytes(publicKey),
                                               static_cast<size_t>(publicKey.size())));
    const MdCtx ctx(EVP_MD_CTX_new());
    if (!key || !ctx) return false;
    if (EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1) return false;
    return EVP_DigestVerify(ctx.get(), bytes(signature), static_cast<size_t>(signature.size()),
                            bytes(message), static_cast<size_t>(message.size())) == 1;
}

Result<QByteArray> generatePrivateKeyPem() {
    const Pkey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
    Bio bio(BIO_new(BIO_s_mem()));
    if (!key || !bio) return keyError("Could not generate an Ed25519 key.");
    if (PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
        return keyError("Could not write the private key.");
    }
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return QByteArray(data, static_cast<qsizetype>(size));
}

Result<QByteArray> publicKeyOf(const QByteArray& privateKeyPem) {
    auto key = readPrivateKey(privateKeyPem);
    if (!key) return key.error();
    QByteArray raw(kEd25519PublicKeyBytes, '\0');
    auto size = static_cast<size_t>(raw.size());
    if (EVP_PKEY_get_raw_public_key(key->get(), reinterpret_cast<unsigned char*>(raw.data()), &size) != 1 ||
        size != static_cast<size_t>(kEd25519PublicKeyBytes)) {
        return keyError("Could not read the public key.");
    }
    return raw;
}

Result<QByteArray> signEd25519(const QByteArray& privateKeyPem, QByteArrayView message) {
    auto key = readPrivateKey(privateKeyPem);
    if (!key) return key.error();
    const MdCtx ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, key->get()) != 1) {
        return keyError("Could not start signing.");
    }
    QByteArray signature(kEd25519SignatureBytes, '\0');
    auto size = static_cast<size_t>(signature.size());
    if (EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char*>(signature.data()), &size, bytes(message),
                       static_cast<size_t>(message.size())) != 1 ||
        size != static_cast<size_t>(kEd25519SignatureBytes)) {
        return keyError("Could not sign the package.");
    }
    return signature;
}

}  // namespace vorpix::update
