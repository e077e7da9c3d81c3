// Encrypted documents that cannot be decrypted are refused at the open, as a
// file that does not open is: OpenArchiveW answers no handle and 11, and
// nothing of the document is ever listed. (Those that can be decrypted are
// the corpus test's.)
#include <gtest/gtest.h>

#include <string>

#include "tests/exports/pdf_fixture.h"

namespace {

std::filesystem::path CorpusFile(const std::string& name) {
    return std::filesystem::path(VELLUM_SOURCE_DIR) / "tests" / "corpus" / name;
}

void ExpectRefused(const std::filesystem::path& pdf) {
    OpenedArchive archive(pdf);
    EXPECT_EQ(archive.Handle(), 0u);
    EXPECT_EQ(archive.OpenResult(), HostNoMemory);
}

TEST(Encryption, AUserPasswordThatIsMissingOrWrongRefusesTheOpen) {
    // qpdf's AES-256 with the user password "pässwörd" (tests/corpus/passwords.txt).
    const std::filesystem::path pdf = CorpusFile("qpdf-aes256-user.pdf");
    ExpectRefused(pdf);
    {
        const PasswordVariable wrong("passwörd");
        ExpectRefused(pdf);
    }
    const PasswordVariable right("pässwörd");
    OpenedArchive archive(pdf);
    ASSERT_NE(archive.Handle(), 0u);
    EXPECT_FALSE(archive.ListAll().empty());
}

TEST(Encryption, ARevisionTwoUserPasswordThatIsWrongRefusesTheOpen) {
    // Ghostscript's 40-bit RC4 with the user password "gsuser".
    const PasswordVariable wrong("gsuse");
    ExpectRefused(CorpusFile("gs-rc4-40-user.pdf"));
}

TEST(Encryption, AnUnknownSecurityHandlerRefusesTheOpen) {
    ScratchFolder folder;
    const std::vector<StreamObject> streams = {{5, "BT (Hello) Tj ET", ""}};
    std::string pdf = BuildPdf(streams);
    const std::string trailer = "trailer\n<</Root 1 0 R /Encrypt 9 0 R /ID [<0011><0011>]>>\n";
    const std::string handler =
        "9 0 obj\n<</Filter /Adobe.PubSec /SubFilter /adbe.pkcs7.s5 /V 4 /R 4 /Length 128>>\nendobj\n";
    const size_t end = pdf.rfind("%%EOF");
    WriteWholeFile(folder.Path() / "plain.pdf", std::string(pdf).insert(end, "trailer\n<</Root 1 0 R>>\n"));
    WriteWholeFile(folder.Path() / "pubsec.pdf", pdf.insert(end, handler + trailer));
    {
        // The same document without the encryption dictionary opens.
        OpenedArchive plain(folder.Path() / "plain.pdf");
        EXPECT_NE(plain.Handle(), 0u);
    }
    ExpectRefused(folder.Path() / "pubsec.pdf");
    const PasswordVariable password("anything");
    ExpectRefused(folder.Path() / "pubsec.pdf");
}

}  // namespace
