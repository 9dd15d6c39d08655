// Adds a DER certificate to the machine's Root store of the current (Wine) prefix, replacing an older copy.
// Usage: trustca.exe <certificate.der>
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: trustca <certificate.der>\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    std::vector<BYTE> der((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (der.empty()) {
        std::fprintf(stderr, "trustca: cannot read the certificate\n");
        return 1;
    }
    HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                       CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, L"Root");
    if (store == nullptr) {
        std::fprintf(stderr, "trustca: cannot open the Root store (%lu)\n", ::GetLastError());
        return 1;
    }
    BOOL added = ::CertAddEncodedCertificateToStore(
        store, X509_ASN_ENCODING, der.data(), static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    DWORD error = ::GetLastError();
    ::CertCloseStore(store, 0);
    if (!added) {
        std::fprintf(stderr, "trustca: cannot add the certificate (%lu)\n", error);
        return 1;
    }
    return 0;
}
