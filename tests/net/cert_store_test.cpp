// Where the process's authorities come from: the platform's roots and "cacert.pem" beside the
// program, never the working folder's.
#include "net/cert_store.h"
#include "net/cert_store_platform.h"
#include "support/temp_dir.h"
#include "support/test_authority.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <cstdlib>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>

#include <wincrypt.h>
#endif

namespace {

// This process's own store is chosen empty before its first use.
const bool ChosenEmpty = (TrustOnly(""), true);

// Files that exist for the object's life: a test's own, or a stand-in beside the program.
class ScopedFile {
public:
    ScopedFile(std::string path, const std::string& bytes) : Path(std::move(path)) {
        WriteFileBytes(Path, bytes);
    }
    ~ScopedFile() { std::remove(Path.c_str()); }

    const std::string Path;
};

class ScopedWorkingFolder {
public:
    explicit ScopedWorkingFolder(const std::string& folder)
        : Saved(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~ScopedWorkingFolder() { std::filesystem::current_path(Saved); }

private:
    const std::filesystem::path Saved;
};

TEST(CertStore, AnEmptyStoreIsReportedEmpty) {
    ASSERT_TRUE(ChosenEmpty);
    EXPECT_NE(SharedCertificateStore(), nullptr);
    EXPECT_EQ(CountAuthorities(SharedCertificateStore()), 0);
    EXPECT_EQ(CertificateStoreHasAuthorities(), 0);
}

TEST(CertStore, TheBundleBesideTheProgramCountsNotTheWorkingFolders) {
    const TestCertificate besideProgram("Beside The Program", nullptr, true);
    const TestCertificate inWorkingFolder("In The Working Folder", nullptr, true);
    const TestCertificate fromBeside("pop.example.com", &besideProgram);
    const TestCertificate fromWorking("pop.example.com", &inWorkingFolder);
    CGCertStoreSeams seams = DefaultCertStoreSeams();
    seams.AddPlatformRoots = nullptr;
    // The path is the running program's folder, wherever the process was started.
    const TempDir working;
    const ScopedWorkingFolder startedIn(working.Path());
    const std::string bundle = seams.BundlePath();
    const std::filesystem::path folder = std::filesystem::path(bundle).parent_path();
    EXPECT_EQ(std::filesystem::path(bundle).filename(), "cacert.pem");
    EXPECT_TRUE(std::filesystem::exists(folder / "test_cert_store") ||
                std::filesystem::exists(folder / "test_cert_store.exe"))
        << bundle;

    const ScopedFile planted(working.File("cacert.pem"), inWorkingFolder.Pem());
    CGCertStorePtr store = LoadCertificateStore(seams);
    EXPECT_EQ(CountAuthorities(store.get()), 0) << "the working folder's file was read";

    const ScopedFile beside(bundle, besideProgram.Pem());
    store = LoadCertificateStore(seams);
    EXPECT_EQ(CountAuthorities(store.get()), 1);
    EXPECT_TRUE(Verifies(store.get(), fromBeside));
    EXPECT_FALSE(Verifies(store.get(), fromWorking));
}

#ifdef _WIN32
// A certificate in a ROOT store of the prefix for the object's life. Only under Wine: on
// Windows adding one to the user's ROOT store asks the user first.
class ScopedRoot {
public:
    ScopedRoot(DWORD location, const TestCertificate& certificate)
        : Root(location == CERT_SYSTEM_STORE_CURRENT_USER ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE),
          Key(L"Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\" +
              Thumbprint(certificate)) {
        const std::string der = certificate.Der();
        HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, location, L"ROOT");
        Present = store && CertAddEncodedCertificateToStore(
                               store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                               static_cast<DWORD>(der.size()), CERT_STORE_ADD_NEW, nullptr);
        if (store)
            CertCloseStore(store, 0); // Wine writes the addition to the registry now
    }
    // Wine's store does not forget a deleted certificate: its registry key goes instead.
    ~ScopedRoot() { RegDeleteKeyW(Root, Key.c_str()); }

    bool Present = false;

private:
    // The name of the certificate's key: its SHA-1, upper-case hex.
    static std::wstring Thumbprint(const TestCertificate& certificate) {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        X509_digest(certificate.Cert, EVP_sha1(), digest, &size);
        std::wstring hex;
        for (unsigned int i = 0; i < size; ++i) {
            hex += L"0123456789ABCDEF"[digest[i] >> 4];
            hex += L"0123456789ABCDEF"[digest[i] & 15];
        }
        return hex;
    }

    const HKEY Root;
    const std::wstring Key;
};
#endif

TEST(CertStore, ThePlatformsRootsVerify) {
    CGCertStoreSeams seams = DefaultCertStoreSeams();
    seams.BundlePath = nullptr;
    // What the system trusts (Debian's bundle natively, the host's under Wine).
    EXPECT_GT(CountAuthorities(LoadCertificateStore(seams).get()), 0);

    const TestCertificate authority("Varnocle Root Test", nullptr, true);
    const TestCertificate server("pop.example.com", &authority);
    EXPECT_FALSE(Verifies(LoadCertificateStore(seams).get(), server));
#ifdef _WIN32
    // The user's ROOT store, and the machine's.
    for (DWORD location : {CERT_SYSTEM_STORE_CURRENT_USER, CERT_SYSTEM_STORE_LOCAL_MACHINE}) {
        const ScopedRoot root(location, authority);
        ASSERT_TRUE(root.Present) << location;
        EXPECT_TRUE(Verifies(LoadCertificateStore(seams).get(), server)) << location;
    }
#else
    const TempDir folder;
    const ScopedFile bundle(folder.File("roots.pem"), authority.Pem());
    setenv("SSL_CERT_FILE", bundle.Path.c_str(), 1);
    EXPECT_TRUE(Verifies(LoadCertificateStore(seams).get(), server));
    unsetenv("SSL_CERT_FILE");
#endif
    EXPECT_FALSE(Verifies(LoadCertificateStore(seams).get(), server)) << "taken out again";
}

} // namespace
