// The standard security handler: file keys of every revision against
// qpdf's own library, the keys of single objects against the standard's
// algorithm computed by hand, which cipher each kind of stream gets, and
// finding the encryption in a body without the cross-reference table.
// tests/data/make-security-vectors printed the key rows: each holds an
// encryption dictionary and /ID as qpdf or Ghostscript wrote them (Ghostscript's
// literal /O and /U as hex), a password, and the file key that pikepdf
// (qpdf's library) found with the user and with the owner password.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

#include "document/security.h"
#include "tests/unit/hex.h"

namespace {

using namespace std::literals;

struct FileKeyCase {
    const char* label;
    const char* dictionary;
    const char* id;
    const char* password;  // UTF-8
    Status status;
    const char* fileKey;   // hex; empty when refused
};

const FileKeyCase FileKeyCases[] = {
    {"R 2, 40 bits (qpdf), user password", "<< /Filter /Standard /Length 40 /O <94e8094419662a774442fb072e3d9f19e9d130ec09a4d0061e78fe920f7ab62f> /P -4 /R 2 /U <73ff029383574068326d2ee4a2ed6a72b63e749cbbdcfa1fe2eb4b07506f6335> /V 1 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><d6bf00bf5732186aba90cc7cd0f89de9>]", "user", Status::Ok, "b2aeb104fb"},
    {"R 2, 40 bits (qpdf), owner password", "<< /Filter /Standard /Length 40 /O <94e8094419662a774442fb072e3d9f19e9d130ec09a4d0061e78fe920f7ab62f> /P -4 /R 2 /U <73ff029383574068326d2ee4a2ed6a72b63e749cbbdcfa1fe2eb4b07506f6335> /V 1 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><d6bf00bf5732186aba90cc7cd0f89de9>]", "owner", Status::Ok, "b2aeb104fb"},
    {"R 2, 40 bits (qpdf), wrong password", "<< /Filter /Standard /Length 40 /O <94e8094419662a774442fb072e3d9f19e9d130ec09a4d0061e78fe920f7ab62f> /P -4 /R 2 /U <73ff029383574068326d2ee4a2ed6a72b63e749cbbdcfa1fe2eb4b07506f6335> /V 1 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><d6bf00bf5732186aba90cc7cd0f89de9>]", "nope", Status::NeedsPassword, ""},
    {"R 3, 128 bits (qpdf), user password", "<< /Filter /Standard /Length 128 /O <0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671> /P -4 /R 3 /U <739a722ce3a4fa1b4291696cd49dbecc0122456a91bae5134273a6db134c87c4> /V 2 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><889c18b82718ec31d0f5b56d6952249f>]", "user", Status::Ok, "682a47b2a76873dc464b78ef30239e39"},
    {"R 3, 128 bits (qpdf), owner password", "<< /Filter /Standard /Length 128 /O <0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671> /P -4 /R 3 /U <739a722ce3a4fa1b4291696cd49dbecc0122456a91bae5134273a6db134c87c4> /V 2 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><889c18b82718ec31d0f5b56d6952249f>]", "owner", Status::Ok, "682a47b2a76873dc464b78ef30239e39"},
    {"R 3, 128 bits (qpdf), wrong password", "<< /Filter /Standard /Length 128 /O <0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671> /P -4 /R 3 /U <739a722ce3a4fa1b4291696cd49dbecc0122456a91bae5134273a6db134c87c4> /V 2 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><889c18b82718ec31d0f5b56d6952249f>]", "nope", Status::NeedsPassword, ""},
    {"R 3, 40 bits (Ghostscript), user password", "<</Filter /Standard /V 1 /Length 40 /R 3 /P 4294967292 /O <cf2662e6fb01997cc7651e17056d4dfad2c78dd5f3f4109bdffb50433bb04670>\012/U <c18f121990ab0dec7898eceaae95f6b628bf4e5e4e758a4164004e56fffa0108>>>",
     "[<CB4D4C767481EB0C565532B59C4D4368><CB4D4C767481EB0C565532B59C4D4368>]", "user", Status::Ok, "0986275996"},
    {"R 3, 40 bits (Ghostscript), owner password", "<</Filter /Standard /V 1 /Length 40 /R 3 /P 4294967292 /O <cf2662e6fb01997cc7651e17056d4dfad2c78dd5f3f4109bdffb50433bb04670>\012/U <c18f121990ab0dec7898eceaae95f6b628bf4e5e4e758a4164004e56fffa0108>>>",
     "[<CB4D4C767481EB0C565532B59C4D4368><CB4D4C767481EB0C565532B59C4D4368>]", "owner", Status::Ok, "0986275996"},
    {"R 3, 40 bits (Ghostscript), wrong password", "<</Filter /Standard /V 1 /Length 40 /R 3 /P 4294967292 /O <cf2662e6fb01997cc7651e17056d4dfad2c78dd5f3f4109bdffb50433bb04670>\012/U <c18f121990ab0dec7898eceaae95f6b628bf4e5e4e758a4164004e56fffa0108>>>",
     "[<CB4D4C767481EB0C565532B59C4D4368><CB4D4C767481EB0C565532B59C4D4368>]", "nope", Status::NeedsPassword, ""},
    {"R 4, AES-128 (qpdf), user password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV2 /Length 16 >> >> /Filter /Standard /Length 128 /O <0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671> /P -4 /R 4 /StmF /StdCF /StrF /StdCF /U <739a722ce3a4fa1b4291696cd49dbecc0122456a91bae5134273a6db134c87c4> /V 4 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><1697123a12e38d13cc74bd5ce84ad5c4>]", "user", Status::Ok, "682a47b2a76873dc464b78ef30239e39"},
    {"R 4, AES-128 (qpdf), owner password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV2 /Length 16 >> >> /Filter /Standard /Length 128 /O <0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671> /P -4 /R 4 /StmF /StdCF /StrF /StdCF /U <739a722ce3a4fa1b4291696cd49dbecc0122456a91bae5134273a6db134c87c4> /V 4 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><1697123a12e38d13cc74bd5ce84ad5c4>]", "owner", Status::Ok, "682a47b2a76873dc464b78ef30239e39"},
    {"R 4, AES-128 (qpdf), wrong password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV2 /Length 16 >> >> /Filter /Standard /Length 128 /O <0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671> /P -4 /R 4 /StmF /StdCF /StrF /StdCF /U <739a722ce3a4fa1b4291696cd49dbecc0122456a91bae5134273a6db134c87c4> /V 4 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><1697123a12e38d13cc74bd5ce84ad5c4>]", "nope", Status::NeedsPassword, ""},
    {"R 4, metadata in clear (qpdf), user password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV2 /Length 16 >> >> /EncryptMetadata false /Filter /Standard /Length 128 /O <0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671> /P -4 /R 4 /StmF /StdCF /StrF /StdCF /U <11eb336e2a906a12ecbc6e020fba0cf10122456a91bae5134273a6db134c87c4> /V 4 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><a160d987d5fb3213cb694eaf0d437324>]", "user", Status::Ok, "63c4f47283bd8739d5e6d5663d0eabb0"},
    {"R 4, metadata in clear (qpdf), owner password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV2 /Length 16 >> >> /EncryptMetadata false /Filter /Standard /Length 128 /O <0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671> /P -4 /R 4 /StmF /StdCF /StrF /StdCF /U <11eb336e2a906a12ecbc6e020fba0cf10122456a91bae5134273a6db134c87c4> /V 4 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><a160d987d5fb3213cb694eaf0d437324>]", "owner", Status::Ok, "63c4f47283bd8739d5e6d5663d0eabb0"},
    {"R 4, metadata in clear (qpdf), wrong password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV2 /Length 16 >> >> /EncryptMetadata false /Filter /Standard /Length 128 /O <0ba3835f88f90388e74e54584125ce142be0de24c6b0d37746e075b891756671> /P -4 /R 4 /StmF /StdCF /StrF /StdCF /U <11eb336e2a906a12ecbc6e020fba0cf10122456a91bae5134273a6db134c87c4> /V 4 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><a160d987d5fb3213cb694eaf0d437324>]", "nope", Status::NeedsPassword, ""},
    {"R 5 (qpdf), user password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 /O <47d518638058f200932f01792669b4e68ba06b2d043e1f284905489dc3ce8c9b099929adf3b98204fdba1e315d88677d> /OE <5e1766a54764991661f48811b74e0b1d692971272b967b9ca3608056b70f19eb> /P -4 /Perms <9db385ded63dab37558ee16bf29f478a> /R 5 /StmF /StdCF /StrF /StdCF /U <9b391b7ac3bc2a797e170cbd0527f2248a5323bf666c74de920c882e9f721a25638eb24b1f4a4a10f495bbdf9ea469f9> /UE <5751f6144cabe1aabcb30885273664e86940ffdc555067e0051c2e350a8bb1d7> /V 5 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><d680a5601eedd2cd1caa316981329547>]", "user", Status::Ok, "37943f7906bf393ce9abfe3ad8e3035a9f6a928258bf5499434d2258002d260d"},
    {"R 5 (qpdf), owner password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 /O <47d518638058f200932f01792669b4e68ba06b2d043e1f284905489dc3ce8c9b099929adf3b98204fdba1e315d88677d> /OE <5e1766a54764991661f48811b74e0b1d692971272b967b9ca3608056b70f19eb> /P -4 /Perms <9db385ded63dab37558ee16bf29f478a> /R 5 /StmF /StdCF /StrF /StdCF /U <9b391b7ac3bc2a797e170cbd0527f2248a5323bf666c74de920c882e9f721a25638eb24b1f4a4a10f495bbdf9ea469f9> /UE <5751f6144cabe1aabcb30885273664e86940ffdc555067e0051c2e350a8bb1d7> /V 5 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><d680a5601eedd2cd1caa316981329547>]", "owner", Status::Ok, "37943f7906bf393ce9abfe3ad8e3035a9f6a928258bf5499434d2258002d260d"},
    {"R 5 (qpdf), wrong password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 /O <47d518638058f200932f01792669b4e68ba06b2d043e1f284905489dc3ce8c9b099929adf3b98204fdba1e315d88677d> /OE <5e1766a54764991661f48811b74e0b1d692971272b967b9ca3608056b70f19eb> /P -4 /Perms <9db385ded63dab37558ee16bf29f478a> /R 5 /StmF /StdCF /StrF /StdCF /U <9b391b7ac3bc2a797e170cbd0527f2248a5323bf666c74de920c882e9f721a25638eb24b1f4a4a10f495bbdf9ea469f9> /UE <5751f6144cabe1aabcb30885273664e86940ffdc555067e0051c2e350a8bb1d7> /V 5 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><d680a5601eedd2cd1caa316981329547>]", "nope", Status::NeedsPassword, ""},
    {"R 6 (qpdf), user password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 /O <f3e3fd5ee390f4923d9cae2eec6096c51eb0615fba2ffd5dc7bff6a9b63bbfc0c15383a09f921d2b8aa517acea446fac> /OE <57acc17b669eff7ac2cc83544410f005f9f97c206416a46c5c37cca964e13cbc> /P -4 /Perms <c2e732b2a8c452ee36a51b5e148f9929> /R 6 /StmF /StdCF /StrF /StdCF /U <a432eb0709cedd0779a8741885c3b486e5e36b746c9d21e7086196c809086528204fdaad529b63a854e3a856249279ff> /UE <953567a213120a8668c93d06cda9b8a9df7e725f27c13899abfd5d3196e96bba> /V 5 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><2577b6d896dd05f1d9aaee4407f2a516>]", "user", Status::Ok, "60e9e764abcf0bf05a4d66ab9276459da0bc4d5721a1eafd18ba886c5efc18cd"},
    {"R 6 (qpdf), owner password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 /O <f3e3fd5ee390f4923d9cae2eec6096c51eb0615fba2ffd5dc7bff6a9b63bbfc0c15383a09f921d2b8aa517acea446fac> /OE <57acc17b669eff7ac2cc83544410f005f9f97c206416a46c5c37cca964e13cbc> /P -4 /Perms <c2e732b2a8c452ee36a51b5e148f9929> /R 6 /StmF /StdCF /StrF /StdCF /U <a432eb0709cedd0779a8741885c3b486e5e36b746c9d21e7086196c809086528204fdaad529b63a854e3a856249279ff> /UE <953567a213120a8668c93d06cda9b8a9df7e725f27c13899abfd5d3196e96bba> /V 5 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><2577b6d896dd05f1d9aaee4407f2a516>]", "owner", Status::Ok, "60e9e764abcf0bf05a4d66ab9276459da0bc4d5721a1eafd18ba886c5efc18cd"},
    {"R 6 (qpdf), wrong password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 /O <f3e3fd5ee390f4923d9cae2eec6096c51eb0615fba2ffd5dc7bff6a9b63bbfc0c15383a09f921d2b8aa517acea446fac> /OE <57acc17b669eff7ac2cc83544410f005f9f97c206416a46c5c37cca964e13cbc> /P -4 /Perms <c2e732b2a8c452ee36a51b5e148f9929> /R 6 /StmF /StdCF /StrF /StdCF /U <a432eb0709cedd0779a8741885c3b486e5e36b746c9d21e7086196c809086528204fdaad529b63a854e3a856249279ff> /UE <953567a213120a8668c93d06cda9b8a9df7e725f27c13899abfd5d3196e96bba> /V 5 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><2577b6d896dd05f1d9aaee4407f2a516>]", "nope", Status::NeedsPassword, ""},
    {"R 6, empty user password (qpdf), user password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 /O <70cc15b84e3b82505189198e50ace765bad3952925a70fc86bed986eacef219c7605bd3cd62df448c9e62e98a3b7a235> /OE <fbf00920beb9857ab040216698e0449c074b55c7e388bd313f56696795b80884> /P -4 /Perms <f5edc1b0786d945062acb6715f8289c9> /R 6 /StmF /StdCF /StrF /StdCF /U <f51ed0db5e2d11b0a7119277f7b6a1ad4d0fb1a2ce22ecba734d2649237848e64b10f70675068ae3e96bedf0d241669c> /UE <b2c1179c43537a0fc758f69120db73357bf0755caa2865528881947bd580777a> /V 5 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><7f472c34c714a1d5244ad7f34cb05108>]", "", Status::Ok, "b4a09b8ff280016e97b10126f4f52dc64052f34b2a07034eb6667433bad98d26"},
    {"R 6, empty user password (qpdf), owner password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 /O <70cc15b84e3b82505189198e50ace765bad3952925a70fc86bed986eacef219c7605bd3cd62df448c9e62e98a3b7a235> /OE <fbf00920beb9857ab040216698e0449c074b55c7e388bd313f56696795b80884> /P -4 /Perms <f5edc1b0786d945062acb6715f8289c9> /R 6 /StmF /StdCF /StrF /StdCF /U <f51ed0db5e2d11b0a7119277f7b6a1ad4d0fb1a2ce22ecba734d2649237848e64b10f70675068ae3e96bedf0d241669c> /UE <b2c1179c43537a0fc758f69120db73357bf0755caa2865528881947bd580777a> /V 5 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><7f472c34c714a1d5244ad7f34cb05108>]", "owner", Status::Ok, "b4a09b8ff280016e97b10126f4f52dc64052f34b2a07034eb6667433bad98d26"},
    {"R 6, empty user password (qpdf), wrong password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 /O <70cc15b84e3b82505189198e50ace765bad3952925a70fc86bed986eacef219c7605bd3cd62df448c9e62e98a3b7a235> /OE <fbf00920beb9857ab040216698e0449c074b55c7e388bd313f56696795b80884> /P -4 /Perms <f5edc1b0786d945062acb6715f8289c9> /R 6 /StmF /StdCF /StrF /StdCF /U <f51ed0db5e2d11b0a7119277f7b6a1ad4d0fb1a2ce22ecba734d2649237848e64b10f70675068ae3e96bedf0d241669c> /UE <b2c1179c43537a0fc758f69120db73357bf0755caa2865528881947bd580777a> /V 5 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><7f472c34c714a1d5244ad7f34cb05108>]", "nope", Status::Ok, "b4a09b8ff280016e97b10126f4f52dc64052f34b2a07034eb6667433bad98d26"},
    {"R 6, UTF-8 password (qpdf), user password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 /O <471c65cbe1fcd0627aa788ea15ee57f8d0b7a92f3cd94c474bb009588e26474f269d348a6c3b93778223b0ac0f01527b> /OE <4af50a0248934304e93c9897f676952217ee4929146d039c2cd83aad2282948d> /P -4 /Perms <5c07572ee7627c580bb6c1e3b9f8118e> /R 6 /StmF /StdCF /StrF /StdCF /U <c357bc49b6d88052573b516090b9b4a50f0aea7a40efbba2003bc933760109fcf647a911b3236f95f3146b411c145223> /UE <159aefb63ee1dec73543f48f044de88327cde1e8699ce02c3301715eb3cba0e0> /V 5 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><b382dce56cbc4a5ac146b348a8a29de8>]", "p\303\244ssw\303\266rd", Status::Ok, "de89727df672936ff1d1aa4a0ec06ae4ee4d80645e1d37ad54921371cef9d1c2"},
    {"R 6, UTF-8 password (qpdf), owner password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 /O <471c65cbe1fcd0627aa788ea15ee57f8d0b7a92f3cd94c474bb009588e26474f269d348a6c3b93778223b0ac0f01527b> /OE <4af50a0248934304e93c9897f676952217ee4929146d039c2cd83aad2282948d> /P -4 /Perms <5c07572ee7627c580bb6c1e3b9f8118e> /R 6 /StmF /StdCF /StrF /StdCF /U <c357bc49b6d88052573b516090b9b4a50f0aea7a40efbba2003bc933760109fcf647a911b3236f95f3146b411c145223> /UE <159aefb63ee1dec73543f48f044de88327cde1e8699ce02c3301715eb3cba0e0> /V 5 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><b382dce56cbc4a5ac146b348a8a29de8>]", "owner", Status::Ok, "de89727df672936ff1d1aa4a0ec06ae4ee4d80645e1d37ad54921371cef9d1c2"},
    {"R 6, UTF-8 password (qpdf), wrong password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 /O <471c65cbe1fcd0627aa788ea15ee57f8d0b7a92f3cd94c474bb009588e26474f269d348a6c3b93778223b0ac0f01527b> /OE <4af50a0248934304e93c9897f676952217ee4929146d039c2cd83aad2282948d> /P -4 /Perms <5c07572ee7627c580bb6c1e3b9f8118e> /R 6 /StmF /StdCF /StrF /StdCF /U <c357bc49b6d88052573b516090b9b4a50f0aea7a40efbba2003bc933760109fcf647a911b3236f95f3146b411c145223> /UE <159aefb63ee1dec73543f48f044de88327cde1e8699ce02c3301715eb3cba0e0> /V 5 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><b382dce56cbc4a5ac146b348a8a29de8>]", "nope", Status::NeedsPassword, ""},
    {"R 6, composed password given decomposed (qpdf), user password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 /O <ee5c128d9b0da39bbe55765a5c454aae737440f9bd92c00d1fd08b52aafb32e177734a6c046b0833ca698671310ffe16> /OE <b7421d0164c8413969a9299a561502abff88e0650e4a1a2d39bc363260f86e9d> /P -4 /Perms <5fd9e3572eefecdcbbf8ce4a6c077e97> /R 6 /StmF /StdCF /StrF /StdCF /U <4814e2cdf52ade732cbb783ce47e49b538297f1ad1875b1dd60eaa6ef65a83f1fed0f644460a8bf6f32a1a5f5a276a9a> /UE <8fa3b1cf233619ad675d329d90806fe85acf4acb336373b65f7ca52a6e0f7eb4> /V 5 >>",
     "[<dfef07d8db55e5d579ef2d9874b89e24><b29864e773fe4be7b597b868eb3b446a>]", "A\314\212ngstro\314\210m", Status::Ok, "3ff7d9af69238df4c9079e3651f1cc3c16385158956bb663c70fe77aac50cec4"},
    {"R 6, composed password given decomposed (qpdf), owner password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 /O <ee5c128d9b0da39bbe55765a5c454aae737440f9bd92c00d1fd08b52aafb32e177734a6c046b0833ca698671310ffe16> /OE <b7421d0164c8413969a9299a561502abff88e0650e4a1a2d39bc363260f86e9d> /P -4 /Perms <5fd9e3572eefecdcbbf8ce4a6c077e97> /R 6 /StmF /StdCF /StrF /StdCF /U <4814e2cdf52ade732cbb783ce47e49b538297f1ad1875b1dd60eaa6ef65a83f1fed0f644460a8bf6f32a1a5f5a276a9a> /UE <8fa3b1cf233619ad675d329d90806fe85acf4acb336373b65f7ca52a6e0f7eb4> /V 5 >>",
     "[<dfef07d8db55e5d579ef2d9874b89e24><b29864e773fe4be7b597b868eb3b446a>]", "owner", Status::Ok, "3ff7d9af69238df4c9079e3651f1cc3c16385158956bb663c70fe77aac50cec4"},
    {"R 6, composed password given decomposed (qpdf), wrong password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV3 /Length 32 >> >> /Filter /Standard /Length 256 /O <ee5c128d9b0da39bbe55765a5c454aae737440f9bd92c00d1fd08b52aafb32e177734a6c046b0833ca698671310ffe16> /OE <b7421d0164c8413969a9299a561502abff88e0650e4a1a2d39bc363260f86e9d> /P -4 /Perms <5fd9e3572eefecdcbbf8ce4a6c077e97> /R 6 /StmF /StdCF /StrF /StdCF /U <4814e2cdf52ade732cbb783ce47e49b538297f1ad1875b1dd60eaa6ef65a83f1fed0f644460a8bf6f32a1a5f5a276a9a> /UE <8fa3b1cf233619ad675d329d90806fe85acf4acb336373b65f7ca52a6e0f7eb4> /V 5 >>",
     "[<dfef07d8db55e5d579ef2d9874b89e24><b29864e773fe4be7b597b868eb3b446a>]", "nope", Status::NeedsPassword, ""},
    {"R 4, euro sign (qpdf, PDFDocEncoding), user password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV2 /Length 16 >> >> /Filter /Standard /Length 128 /O <def85963fe08385ce85fde5773da7a43dc34f12c5e4ebbff16a74791401d9ce6> /P -4 /R 4 /StmF /StdCF /StrF /StdCF /U <29066617fc994cabade00b50b5b6320b0122456a91bae5134273a6db134c87c4> /V 4 >>",
     "[<dfef07d8db55e5d579ef2d9874b89e24><4773391b7995879274590971fb152c7f>]", "\342\202\254", Status::Ok, "c558843061880a62f508e3ccea7ff276"},
    {"R 4, euro sign (qpdf, PDFDocEncoding), owner password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV2 /Length 16 >> >> /Filter /Standard /Length 128 /O <def85963fe08385ce85fde5773da7a43dc34f12c5e4ebbff16a74791401d9ce6> /P -4 /R 4 /StmF /StdCF /StrF /StdCF /U <29066617fc994cabade00b50b5b6320b0122456a91bae5134273a6db134c87c4> /V 4 >>",
     "[<dfef07d8db55e5d579ef2d9874b89e24><4773391b7995879274590971fb152c7f>]", "owner", Status::Ok, "c558843061880a62f508e3ccea7ff276"},
    {"R 4, euro sign (qpdf, PDFDocEncoding), wrong password", "<< /CF << /StdCF << /AuthEvent /DocOpen /CFM /AESV2 /Length 16 >> >> /Filter /Standard /Length 128 /O <def85963fe08385ce85fde5773da7a43dc34f12c5e4ebbff16a74791401d9ce6> /P -4 /R 4 /StmF /StdCF /StrF /StdCF /U <29066617fc994cabade00b50b5b6320b0122456a91bae5134273a6db134c87c4> /V 4 >>",
     "[<dfef07d8db55e5d579ef2d9874b89e24><4773391b7995879274590971fb152c7f>]", "nope", Status::NeedsPassword, ""},
    {"R 3, Latin-1 password (qpdf), user password", "<< /Filter /Standard /Length 128 /O <19a21a4388f90388e74e54584125ce142be0de24c6b0d37746e075b891756671> /P -4 /R 3 /U <13de5cf64fecc5aa481640958bc3256c0122456a91bae5134273a6db134c87c4> /V 2 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><a6176d69918156feeb85b203e308b148>]", "gr\303\274n", Status::Ok, "f4f357ee5058ce2ac53f1fe8501c85da"},
    {"R 3, Latin-1 password (qpdf), owner password", "<< /Filter /Standard /Length 128 /O <19a21a4388f90388e74e54584125ce142be0de24c6b0d37746e075b891756671> /P -4 /R 3 /U <13de5cf64fecc5aa481640958bc3256c0122456a91bae5134273a6db134c87c4> /V 2 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><a6176d69918156feeb85b203e308b148>]", "owner", Status::Ok, "f4f357ee5058ce2ac53f1fe8501c85da"},
    {"R 3, Latin-1 password (qpdf), wrong password", "<< /Filter /Standard /Length 128 /O <19a21a4388f90388e74e54584125ce142be0de24c6b0d37746e075b891756671> /P -4 /R 3 /U <13de5cf64fecc5aa481640958bc3256c0122456a91bae5134273a6db134c87c4> /V 2 >>",
     "[<c562a7c54978c814b4a8e507df9141a2><a6176d69918156feeb85b203e308b148>]", "nope", Status::NeedsPassword, ""},
};

TEST(Security, FileKeyOfEveryRevision) {
    for (const FileKeyCase& c : FileKeyCases) {
        SCOPED_TRACE(c.label);
        EncryptionDictionary read;
        ASSERT_EQ(ReadEncryptionDictionary(c.dictionary, c.id, read), Status::Ok);
        Security security;
        ASSERT_EQ(ComputeFileKey(read, c.password, security), c.status);
        if (c.status != Status::Ok) continue;
        EXPECT_EQ(ToHex(std::string(reinterpret_cast<const char*>(security.fileKey), security.fileKeyLength)),
                  c.fileKey);
    }
}

struct ObjectKeyCase {
    const char* fileKey;  // hex
    uint32_t objectNumber;
    uint32_t generation;
    bool aes;
    const char* objectKey;  // hex: MD5 over the key, 3 bytes of number, 2 of generation (and "sAlT")
};

TEST(Security, KeyOfEachObject) {
    const ObjectKeyCase cases[] = {
    {"0123456789", 12, 0, false, "030a16d66ff214b69406"},
    {"000102030405060708090a0b0c0d0e0f", 1193046, 3, false, "012107993625a6d634e82e930b76d560"},
    {"000102030405060708090a0b0c0d0e0f", 7, 65538, true, "fd139c2a57e555a0c32e245fc2c4b309"},
    };
    for (const ObjectKeyCase& c : cases) {
        SCOPED_TRACE(c.objectKey);
        Security security;
        security.encrypted = true;
        security.version = c.aes ? 4 : 2;
        security.streamMethod = c.aes ? CryptMethod::AesV2 : CryptMethod::Rc4;
        const std::string fileKey = FromHex(c.fileKey);
        std::memcpy(security.fileKey, fileKey.data(), fileKey.size());
        security.fileKeyLength = static_cast<uint32_t>(fileKey.size());
        const StreamKey key = KeyForStream(security, c.objectNumber, c.generation, "<</Length 10>>");
        EXPECT_EQ(key.cipher, c.aes ? StreamCipher::AesCbc : StreamCipher::Rc4);
        EXPECT_EQ(ToHex(std::string(reinterpret_cast<const char*>(key.bytes), key.length)), c.objectKey);
    }
}

struct StreamMethodCase {
    const char* label;
    const char* dictionary;
    StreamCipher cipher;
};

TEST(Security, CipherOfEachKindOfStream) {
    // V 4 with two crypt filters, AES by default, metadata in clear.
    Security security;
    security.encrypted = true;
    security.version = 4;
    security.revision = 4;
    security.fileKeyLength = 16;
    security.encryptMetadata = false;
    security.streamMethod = CryptMethod::AesV2;
    security.embeddedFileMethod = CryptMethod::Rc4;
    security.filters[0] = CryptFilter{"/StdCF", CryptMethod::AesV2};
    security.filters[1] = CryptFilter{"/Plain", CryptMethod::Rc4};
    security.filterCount = 2;
    const StreamMethodCase cases[] = {
        {"the document's filter", "<</Length 5 /Filter /FlateDecode>>", StreamCipher::AesCbc},
        {"cross-reference stream", "<</Type /XRef /W [1 2 1]>>", StreamCipher::None},
        {"metadata under /EncryptMetadata false", "<</Type /Metadata /Subtype /XML>>", StreamCipher::None},
        {"/Type inside /DecodeParms is not the stream's", "<</DecodeParms <</Type /XRef>> /Length 5>>",
         StreamCipher::AesCbc},
        {"embedded file", "<</Type /EmbeddedFile>>", StreamCipher::Rc4},
        {"own crypt filter by name", "<</Filter /Crypt /DecodeParms <</Name /Plain>>>>", StreamCipher::Rc4},
        {"own crypt filter in an array", "<</Filter [/Crypt /FlateDecode] /DecodeParms [<</Name /Plain>> null]>>",
         StreamCipher::Rc4},
        {"own /Identity", "<</Filter [/Crypt] /DecodeParms [<</Type /CryptFilterDecodeParms /Name /Identity>>]>>",
         StreamCipher::None},
        {"own crypt filter without a name is /Identity", "<</Filter /Crypt>>", StreamCipher::None},
        {"own crypt filter over metadata", "<</Type /Metadata /Filter /Crypt /DecodeParms <</Name /StdCF>>>>",
         StreamCipher::AesCbc},
        {"a name /CF does not have falls back to the document's", "<</Filter /Crypt /DecodeParms <</Name /Gone>>>>",
         StreamCipher::AesCbc},
    };
    for (const StreamMethodCase& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(KeyForStream(security, 5, 0, c.dictionary).cipher, c.cipher);
    }
    Security plain;
    EXPECT_EQ(KeyForStream(plain, 5, 0, "<</Length 5>>").cipher, StreamCipher::None);
}

struct TrailerCase {
    const char* label;
    std::string_view body;
    bool encrypted;
    const char* encrypt;  // the /Encrypt value found
    const char* id;       // the /ID value found
};

TEST(Security, FindsTheEncryptionInTheBody) {
    const TrailerCase cases[] = {
        {"classic trailer", "1 0 obj\n<</Type /Catalog>>\nendobj\nxref\n0 1\ntrailer\n<</Root 1 0 R /Encrypt 9 0 R "
                            "/ID [<01><02>]>>\nstartxref\n9\n",
         true, "9 0 R", "[<01><02>]"},
        {"not encrypted", "trailer\n<</Root 1 0 R /Size 3>>\nstartxref\n", false, "", ""},
        {"the last trailer decides", "trailer <</Root 1 0 R /Encrypt 9 0 R>>\ntrailer <</Root 1 0 R /Prev 5>>\n",
         false, "", ""},
        {"an update keeps it", "trailer <</Root 1 0 R>>\ntrailer <</Root 1 0 R /Encrypt 4 0 R /Prev 5>>\n", true,
         "4 0 R", ""},
        {"cross-reference stream", "5 0 obj\n<</Type /XRef /W [1 2 1] /Root 1 0 R /Encrypt <</Filter /Standard>> "
                                   "/ID [<aa><bb>]>>\nstream\nxx\nendstream\nendobj\n",
         true, "<</Filter /Standard>>", "[<aa><bb>]"},
        {"/XRef inside a nested dictionary is no cross-reference stream",
         "trailer <</Root 1 0 R /Encrypt 2 0 R>>\n5 0 obj\n<</Type /Page /A <</Type /XRef>>>>\nendobj\n", true,
         "2 0 R", ""},
        {"linearized: the last trailer has neither, the first decides",
         "1 0 obj <</Linearized 1>> endobj\ntrailer <</Root 2 0 R /Encrypt 7 0 R /ID [<01><01>]>>\n"
         "3 0 obj <</Type /Page>> endobj\ntrailer <</Size 4 /ID [<01><01>]>>\n",
         true, "7 0 R", "[<01><01>]"},
        {"the word trailer in a string is no trailer", "trailer <</Root 1 0 R>>\n4 0 obj (trailer) endobj\n", false,
         "", ""},
        {"/Encrypt null", "trailer <</Root 1 0 R /Encrypt null>>\n", false, "", ""},
        {"/XRef again and again in an object that is no cross-reference stream",
         "trailer <</Root 1 0 R /Encrypt 2 0 R>>\n5 0 obj\n<</A /XRef /B [/XRef /XRef] /Type /Page>>\nendobj\n", true,
         "2 0 R", ""},
        {"a keyword cut short by the body's end", "trailer <</Root 1 0 R /Encrypt 3 0 R>>\n%%EOF\ntrail", true, "3 0 R",
         ""},
        {"linearized with cross-reference streams and no trailer: the first decides",
         "1 0 obj <</Linearized 1>> endobj\n2 0 obj <</Type /XRef /Root 3 0 R /Encrypt 9 0 R /ID [<01><01>]>> "
         "stream\nx\nendstream endobj\n4 0 obj <</Type /Page /A /XRef>> endobj\n"
         "5 0 obj <</Type /XRef /Size 6>> stream\nx\nendstream endobj\n",
         true, "9 0 R", "[<01><01>]"},
        {"keywords in a comment after the trailer",
         "trailer <</Root 1 0 R /Encrypt 3 0 R>>\n% trailer <<trailer %trailer /XRef\n", true, "3 0 R", ""},
    };
    for (const TrailerCase& c : cases) {
        SCOPED_TRACE(c.label);
        TrailerSecurity found;
        ASSERT_EQ(FindTrailerSecurity(c.body, found), c.encrypted);
        if (!c.encrypted) continue;
        EXPECT_EQ(found.encrypt, c.encrypt);
        EXPECT_EQ(found.id, c.id);
    }
}

TEST(Security, GivesUpOnATailOfKeywordsThatEachReadTheRest) {
    // Each "trailer %" reads its comment, which holds every later one, so
    // the keywords of a long line would read the line over and over: the
    // search ends once its candidates have read the body's size and a few
    // windows. A few of them still leave the real trailer found.
    const std::string trailer = "trailer <</Root 1 0 R /Encrypt 3 0 R>>\n";
    std::string repeated;
    for (int i = 0; i < 100000; ++i) repeated += "trailer %";
    TrailerSecurity found;
    EXPECT_TRUE(FindTrailerSecurity(trailer + "trailer %trailer %trailer %\n", found));
    EXPECT_FALSE(FindTrailerSecurity(trailer + repeated + "\n", found));
}

TEST(Security, FindsTheEncryptionDictionaryByItsHeader) {
    const std::string_view body =
        "9 0 obj\n<</Filter /Old>>\nendobj\n19 0 obj\n<</Filter /Other>>\nendobj\n"
        "9 0 obj <</Filter /Standard /O (a>>b)>>\nendobj\ntrailer <</Encrypt 9 0 R>>\n";
    DictionaryText dictionary;
    ASSERT_TRUE(FindEncryptionDictionary(body, "9 0 R", dictionary));
    EXPECT_EQ(dictionary, "<</Filter /Standard /O (a>>b)>>");
    EXPECT_FALSE(FindEncryptionDictionary(body, "8 0 R", dictionary));
    ASSERT_TRUE(FindEncryptionDictionary(body, "<</Filter /Direct>>", dictionary));
    EXPECT_EQ(dictionary, "<</Filter /Direct>>");
}

struct RefusalCase {
    const char* label;
    const char* dictionary;
    Status status;
    const char* handler;
};

TEST(Security, RefusesWhatItCannotRead) {
    const std::string user(64, 'a');  // 32 bytes as hex
    const std::string strings = " /O <" + user + "> /U <" + user + "> /P -4";
    const RefusalCase cases[] = {
        {"another handler", "<</Filter /FooSec /V 2 /R 3>>", Status::Unsupported, "/FooSec"},
        // A refusal of the standard handler names the form it cannot read.
        {"V 3", "<</Filter /Standard /V 3 /R 3>>", Status::Unsupported, "the /Standard handler's V 3, R 3"},
        {"R 7", "<</Filter /Standard /V 5 /R 7>>", Status::Unsupported, "the /Standard handler's V 5, R 7"},
        {"V 4 with R 3", "<</Filter /Standard /V 4 /R 3>>", Status::Unsupported, "the /Standard handler's V 4, R 3"},
        {"no handler", "<</V 2 /R 3>>", Status::InvalidData, ""},
        {"no /O", "<</Filter /Standard /V 2 /R 3 /U <00> /P -4>>", Status::InvalidData, "/Standard"},
        {"/O too short", "<</Filter /Standard /V 2 /R 3 /O <00> /U <00> /P -4>>", Status::InvalidData, "/Standard"},
        {"V 5 without /OE", "<</Filter /Standard /V 5 /R 6 /O <00> /U <00> /P -4>>", Status::InvalidData,
         "/Standard"},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.label);
        EncryptionDictionary read;
        EXPECT_EQ(ReadEncryptionDictionary(c.dictionary, "", read), c.status);
        EXPECT_STREQ(read.handler, c.handler);
    }
    // A /Length outside 40 to 128 bits in steps of 8.
    EncryptionDictionary read;
    const std::string odd = "<</Filter /Standard /V 2 /R 3 /Length 44" + strings + ">>";
    EXPECT_EQ(ReadEncryptionDictionary(odd, "", read), Status::InvalidData);
    const std::string fine = "<</Filter /Standard /V 2 /R 3 /Length 48" + strings + ">>";
    EXPECT_EQ(ReadEncryptionDictionary(fine, "", read), Status::Ok);
    EXPECT_EQ(read.keyBytes, 6u);
}

TEST(Security, OpenSecurityKeepsTheHandlerOfARefusal) {
    const std::string_view body = "3 0 obj <</Filter /Adobe.PubSec /V 4>> endobj\ntrailer <</Root 1 0 R /Encrypt 3 0 R>>\n";
    Security security;
    EXPECT_EQ(OpenSecurity(body, "", security), Status::Unsupported);
    EXPECT_TRUE(security.encrypted);
    EXPECT_STREQ(security.handler, "/Adobe.PubSec");
    EXPECT_EQ(OpenSecurity("trailer <</Root 1 0 R>>\n", "", security), Status::Ok);
    EXPECT_FALSE(security.encrypted);
}

}  // namespace
