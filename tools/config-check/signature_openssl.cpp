#include "tools/config-check/signature_check.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <new>
#include <string_view>
#include <vector>

#include "names/utf8.h"
#include "tools/config-check/owned_file.h"

namespace {

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Number = std::unique_ptr<BIGNUM, decltype(&BN_free)>;
using DigestContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;
using Signature = std::unique_ptr<ECDSA_SIG, decltype(&ECDSA_SIG_free)>;

// A P-256 SubjectPublicKeyInfo up to the uncompressed point's first byte.
constexpr unsigned char P256KeyPrefix[] = {0x30, 0x59, 0x30, 0x13, 0x06, 0x07, 0x2a, 0x86, 0x48,
                                           0xce, 0x3d, 0x02, 0x01, 0x06, 0x08, 0x2a, 0x86, 0x48,
                                           0xce, 0x3d, 0x03, 0x01, 0x07, 0x03, 0x42, 0x00, 0x04};

DigestContext NewDigest() {
    DigestContext context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!context) throw std::bad_alloc();
    return context;
}

std::string Sha256(const unsigned char* bytes, std::size_t size) {
    unsigned char digest[32];
    unsigned int length = 0;
    if (EVP_Digest(bytes, size, digest, &length, EVP_sha256(), nullptr) != 1) return {};
    return LowerHex(digest, length);
}

bool Verifies(const P256Point& point, const P256Signature& signature, const std::string& message) {
    if (!ScalarsInRange(signature)) return false;
    std::vector<unsigned char> info(std::begin(P256KeyPrefix), std::end(P256KeyPrefix));
    info.insert(info.end(), point.begin(), point.end());
    const unsigned char* at = info.data();
    const Key key(d2i_PUBKEY(nullptr, &at, static_cast<long>(info.size())), EVP_PKEY_free);
    Signature pair(ECDSA_SIG_new(), ECDSA_SIG_free);
    if (!key || !pair) return false;
    BIGNUM* r = BN_bin2bn(signature.data(), 32, nullptr);
    BIGNUM* s = BN_bin2bn(signature.data() + 32, 32, nullptr);
    if (r == nullptr || s == nullptr || ECDSA_SIG_set0(pair.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return false;
    }
    unsigned char* der = nullptr;
    const int derLength = i2d_ECDSA_SIG(pair.get(), &der);
    if (derLength <= 0) return false;
    const std::unique_ptr<unsigned char, void (*)(unsigned char*)> owned(
        der, [](unsigned char* bytes) { OPENSSL_free(bytes); });
    const DigestContext context = NewDigest();
    return EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) == 1 &&
           EVP_DigestVerify(context.get(), der, static_cast<std::size_t>(derLength),
                            reinterpret_cast<const unsigned char*>(message.data()),
                            message.size()) == 1;
}

}  // namespace

std::string FileSha256(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    const DigestContext context = NewDigest();
    if (!file || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return {};
    std::vector<char> block(std::size_t{1} << 20);
    while (file) {
        file.read(block.data(), static_cast<std::streamsize>(block.size()));
        if (file.bad()) return {};
        if (EVP_DigestUpdate(context.get(), block.data(),
                             static_cast<std::size_t>(file.gcount())) != 1)
            return {};
    }
    unsigned char digest[32];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return {};
    return LowerHex(digest, length);
}

bool ReadPublicKeyFile(const std::filesystem::path& path, PackageKey& key, std::string& failure) {
    const OwnedFile file(std::fopen(path.c_str(), "rb"), CloseFile);
    if (!file) {
        failure = "cannot read " + path.string();
        return false;
    }
    const Key read(PEM_read_PUBKEY(file.get(), nullptr, nullptr, nullptr), EVP_PKEY_free);
    char group[32] = {};
    if (!read || !EVP_PKEY_is_a(read.get(), "EC") ||
        EVP_PKEY_get_utf8_string_param(read.get(), OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group,
                                       nullptr) != 1 ||
        std::string_view(group) != "prime256v1") {
        failure =
            path.string() + " holds no EC P-256 public key in PEM (-----BEGIN PUBLIC KEY-----)";
        return false;
    }
    BIGNUM* x = nullptr;
    BIGNUM* y = nullptr;
    const bool got = EVP_PKEY_get_bn_param(read.get(), OSSL_PKEY_PARAM_EC_PUB_X, &x) == 1 &&
                     EVP_PKEY_get_bn_param(read.get(), OSSL_PKEY_PARAM_EC_PUB_Y, &y) == 1;
    const Number ownedX(x, BN_free), ownedY(y, BN_free);
    if (!got || BN_bn2binpad(x, key.point.data(), 32) != 32 ||
        BN_bn2binpad(y, key.point.data() + 32, 32) != 32) {
        failure = "cannot take the point out of " + path.string();
        return false;
    }
    key.id = Sha256(key.point.data(), key.point.size()).substr(0, KeyIdDigits);
    return true;
}

bool CheckPackageSignature(const std::filesystem::path& path, ConfigCheck& check,
                           std::string& failure) {
    const std::string hash = FileSha256(path);
    if (hash.empty()) {
        failure = "cannot read " + path.string();
        return false;
    }
    const std::string message = SignedMessage(check.config, hash);
    const std::vector<KeyedSignature> signatures =
        SignaturesForKeys(check.config.sign, check.publicKeys);
    check.signatureChecked = true;
    check.signatureVerified = false;
    check.signatureKey = signatures.empty() ? "" : signatures.front().key.id;
    for (const KeyedSignature& entry : signatures) {
        if (Verifies(entry.key.point, entry.signature, message)) {
            check.signatureVerified = true;
            check.signatureKey = entry.key.id;
            return true;
        }
    }
    // Without any entry for the keys, the document's own check has said so already.
    if (!signatures.empty()) {
        check.errors.push_back(
            {"sign-not-verified",
             L"No es256 entry of sign for the public keys given verifies over this package and "
             L"document: an installer built with them deletes the package after the download."});
    }
    return true;
}
