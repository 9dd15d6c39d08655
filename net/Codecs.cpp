#include "net/Codecs.h"

#include <windows.h>
#include <bcrypt.h>
#include <wincrypt.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "win32/Handle.h"
#include "win32/Strings.h"

namespace {

std::string ToHex(const unsigned char* bytes, size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        text.push_back(digits[bytes[i] >> 4]);
        text.push_back(digits[bytes[i] & 0x0F]);
    }
    return text;
}

}  // namespace

Sha256Hasher::Sha256Hasher() {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        throw std::runtime_error("BCryptOpenAlgorithmProvider failed");
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) {
        ::BCryptCloseAlgorithmProvider(algorithm, 0);
        throw std::runtime_error("BCryptCreateHash failed");
    }
    m_algorithm = algorithm;
    m_hash = hash;
}

Sha256Hasher::~Sha256Hasher() {
    ::BCryptDestroyHash(m_hash);
    ::BCryptCloseAlgorithmProvider(m_algorithm, 0);
}

void Sha256Hasher::Add(const void* data, size_t count) {
    // BCryptHashData takes a ULONG length; feed large inputs in pieces.
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (count > 0) {
        const ULONG piece = static_cast<ULONG>(std::min<size_t>(count, 1u << 30));
        if (!BCRYPT_SUCCESS(::BCryptHashData(m_hash, const_cast<PUCHAR>(bytes), piece, 0)))
            throw std::runtime_error("BCryptHashData failed");
        bytes += piece;
        count -= piece;
    }
}

std::string Sha256Hasher::FinishHex() {
    unsigned char digest[32];
    if (!BCRYPT_SUCCESS(::BCryptFinishHash(m_hash, digest, sizeof(digest), 0)))
        throw std::runtime_error("BCryptFinishHash failed");
    return ToHex(digest, sizeof(digest));
}

std::string Sha256Hex(std::string_view bytes) {
    Sha256Hasher hasher;
    hasher.Add(bytes.data(), bytes.size());
    return hasher.FinishHex();
}

std::string Md5Hex(std::wstring_view text) {
    try {
        std::string bytes = win32::WideToMultiByte(text, CP_THREAD_ACP);

        HCRYPTPROV provider = 0;
        if (!::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
            throw std::runtime_error("CryptAcquireContext failed");
        win32::ScopeExit releaseProvider([&] { ::CryptReleaseContext(provider, 0); });

        HCRYPTHASH hash = 0;
        if (!::CryptCreateHash(provider, CALG_MD5, 0, 0, &hash))
            throw std::runtime_error("CryptCreateHash failed");
        win32::ScopeExit destroyHash([&] { ::CryptDestroyHash(hash); });

        if (!::CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0))
            throw std::runtime_error("CryptHashData failed");

        BYTE digest[16];
        DWORD digestSize = sizeof(digest);
        if (!::CryptGetHashParam(hash, HP_HASHVAL, digest, &digestSize, 0) || digestSize != sizeof(digest))
            throw std::runtime_error("CryptGetHashParam failed");
        return ToHex(digest, sizeof(digest));
    } catch (const std::runtime_error&) {
        return std::string();
    }
}

std::string Base62Encode(std::string_view bytes) {
    static const char alphabet[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    // The server decodes the numeral, so it stays the true value of the bytes for every input it takes; a
    // longer input is refused rather than encoded some other way.
    if (bytes.size() > kMaxBase62InputBytes)
        throw std::length_error("Base62Encode input too long");

    size_t start = 0;
    while (start < bytes.size() && bytes[start] == '\0')
        ++start;
    if (start == bytes.size())
        return std::string();

    const size_t count = bytes.size() - start;
    const size_t size = static_cast<size_t>(std::ceil(static_cast<double>(count) * std::log(256.0) / std::log(62.0)));
    std::vector<unsigned char> digits(size, 0);

    // `used` counts the digits, from the end of the buffer, that hold a value so far; each byte only needs to walk
    // those plus whatever its carry adds.
    size_t used = 0;
    for (size_t b = start; b < bytes.size(); ++b) {
        unsigned carry = static_cast<unsigned char>(bytes[b]);
        size_t walked = 0;
        for (; carry != 0 || walked < used; ++walked) {
            if (walked >= size)
                throw std::runtime_error("Non-zero carry");
            unsigned char& digit = digits[size - 1 - walked];
            carry += 256u * digit;
            digit = static_cast<unsigned char>(carry % 62);
            carry /= 62;
        }
        used = walked;
    }

    size_t first = 0;
    while (first < size && digits[first] == 0)
        ++first;
    std::string text;
    text.reserve(size - first);
    for (size_t i = first; i < size; ++i)
        text.push_back(alphabet[digits[i]]);
    return text;
}

std::wstring Utf8ToWide(std::string_view utf8) {
    std::wstring text = win32::Utf8ToWide(utf8);
    // The sizing call returns 0 when it fails; a non-empty input never decodes to nothing otherwise.
    if (text.empty() && !utf8.empty())
        throw std::runtime_error("MultiByteToWideChar() failed: 0");
    return text;
}
