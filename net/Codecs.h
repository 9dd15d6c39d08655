// Small codecs shared by the server-facing code: digests as lowercase hexadecimal, a base-62 encoder and the
// UTF-8 decoder for server texts. All of them are re-entrant.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// SHA-256 of the bytes as 64 lowercase hexadecimal digits. Raises std::runtime_error if the system's hash
// provider is not usable.
std::string Sha256Hex(std::string_view bytes);

// SHA-256 fed piece by piece, for data too large to hold at once (a downloaded installer). Each call raises
// std::runtime_error when the system's hash provider fails.
class Sha256Hasher {
public:
    Sha256Hasher();
    ~Sha256Hasher();
    Sha256Hasher(const Sha256Hasher&) = delete;
    Sha256Hasher& operator=(const Sha256Hasher&) = delete;

    void Add(const void* data, size_t count);
    // The digest of everything added, as 64 lowercase hexadecimal digits; call once.
    std::string FinishHex();

private:
    void* m_algorithm = nullptr;
    void* m_hash = nullptr;
};

// MD5 of the text in the thread's ANSI code page as 32 lowercase hexadecimal digits; "" when the crypto
// provider fails, since the digest only ever feeds an optional placeholder.
std::string Md5Hex(std::wstring_view text);

// The longest input Base62Encode takes. A base conversion costs the square of its length, so the bound is what
// keeps it quick; the encoded texts are bounded server names with a few identifiers around them, far below it.
constexpr std::size_t kMaxBase62InputBytes = 4096;

// Base-62 numeral (digits, lower case, upper case) of the bytes read as one big-endian integer. Leading zero
// bytes leave no trace, so no bytes, or only zero bytes, give "". Raises std::length_error for more than
// kMaxBase62InputBytes bytes.
std::string Base62Encode(std::string_view bytes);

// Decodes UTF-8; raises std::runtime_error "MultiByteToWideChar() failed: N" when the text cannot be sized.
std::wstring Utf8ToWide(std::string_view utf8);
