// What a downloaded installer must be before it runs: the file whose SHA-256 the configuration published, and a
// program that a named publisher signed. The checks read the finished file once, after every attempt and
// resumption of its download, so a file stitched from several transfers is judged whole.
#pragma once

#include <string>

// SHA-256 of the file as 64 lowercase digits, read in one streamed pass; empty with `error` set when the file
// cannot be read.
std::string FileSha256Hex(const std::wstring& path, std::wstring& error);

// Empty when the file's SHA-256 is `expected`; otherwise the failure text, naming both digests.
std::wstring CheckInstallerHash(const std::wstring& path, const std::string& expected);

// Empty when the program carries a valid Authenticode signature under a trusted chain for code signing, made
// with a certificate whose subject common name is `signer`; otherwise the failure text.
std::wstring CheckInstallerSigner(const std::wstring& path, const std::wstring& signer);
