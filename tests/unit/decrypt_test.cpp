// The decryption stage, driven with output windows of 1, 2, 3, 7 and 65536
// bytes and its input cut at every byte: every way must give the same bytes.
// AES rows with broken data hold what qpdf 11 answered for those streams
// (each put into an AES-128 document with this key as its object's key, and
// read with qpdf --show-object --raw-stream-data); the AES-256 rows are NIST
// SP 800-38A F.2.5; RC4 rows are RFC 6229's key stream.
#include <gtest/gtest.h>

#include <string>

#include "decode/decrypt.h"
#include "tests/unit/hex.h"
#include "tests/unit/stage_harness.h"

namespace {

// The object key of the qpdf rows, and the IV they begin with.
constexpr char QpdfKey[] = "602d7cffa747711c652df46bc2ccea9d";
constexpr char QpdfIv[] = "404142434445464748494a4b4c4d4e4f";
constexpr char NistKey[] = "603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4";
constexpr char NistIvAndCiphertext[] =
    "000102030405060708090a0b0c0d0e0f"
    "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
    "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b";
constexpr char NistPlaintext[] =
    "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
    "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710";

struct DecryptCase {
    const char* label;
    StreamCipher cipher;
    std::string key;       // hex
    std::string input;     // hex
    std::string expected;  // hex
};

StreamKey MakeKey(StreamCipher cipher, const std::string& hexKey) {
    StreamKey key;
    key.cipher = cipher;
    const std::string bytes = FromHex(hexKey);
    std::copy(bytes.begin(), bytes.end(), key.bytes);
    key.length = static_cast<uint32_t>(bytes.size());
    return key;
}

TEST(DecryptStage, AnyWindowsGiveTheSameBytes) {
    const std::string iv = QpdfIv;
    const DecryptCase cases[] = {
        {"AES: padded to a whole block", StreamCipher::AesCbc, QpdfKey,
         iv + "a9520da9fcce79766b60b40ece6786a92a78fcfaa09eef770880e932d7e5633d9cb4bcafb3c5588cfc03d5080842f8a6"
              "38a2ac528e6d138261354aea9721d827",
         "53747265616d2062797465732c20612077686f6c6520626c6f636b20616e6420612068616c6620776974682070616464696e67"},
        {"AES: last block cut short is filled with zero bytes", StreamCipher::AesCbc, QpdfKey,
         iv + "a9520da9fcce79766b60b40ece6786a92a78fcfaa09eef770880e932d7e5633d9cb4bcafb3c5588cfc03d5080842f8a6"
              "38a2ac528e6d138261354a",
         "53747265616d2062797465732c20612077686f6c6520626c6f636b20616e6420612068616c66207769746820706164644f"
         "0b2358636af4b86b76a6539deb55"},
        {"AES: an IV alone gives nothing", StreamCipher::AesCbc, QpdfKey, iv, ""},
        {"AES: an IV cut short gives nothing", StreamCipher::AesCbc, QpdfKey, iv.substr(0, 18), ""},
        {"AES: nothing at all", StreamCipher::AesCbc, QpdfKey, "", ""},
        {"AES: one byte after the IV", StreamCipher::AesCbc, QpdfKey, iv + "a9", "9d2b06fb680aaef4dbd7d30c10636f51"},
        {"AES: padding byte 0 removes nothing", StreamCipher::AesCbc, QpdfKey, iv + "ce791721c68fbdf308379c312383b095",
         "4142434445464748494a4b4c4d4e4f00"},
        {"AES: padding byte 17 removes nothing", StreamCipher::AesCbc, QpdfKey, iv + "db0e68209308a967cc5035719cc18889",
         "4142434445464748494a4b4c4d4e4f11"},
        {"AES: padding bytes that differ remove nothing", StreamCipher::AesCbc, QpdfKey,
         iv + "5276765d3ce79a16f0b93c272fc50e17", "4142434445464748494a4b0505040505"},
        {"AES: a whole block of padding", StreamCipher::AesCbc, QpdfKey,
         iv + "4243477bd1834070f44ff291c57d9fd449242d973849ffa0b11c059ec11e87ff", "30313233343536373839616263646566"},
        {"AES-256: last byte 16 without 16 of them is no padding", StreamCipher::AesCbc, NistKey, NistIvAndCiphertext,
         NistPlaintext},
        {"AES-256: with a block of padding", StreamCipher::AesCbc, NistKey,
         std::string(NistIvAndCiphertext) + "3f461796d6b0d6b2e0c2a72b4d80e644", NistPlaintext},
        {"RC4: the key stream", StreamCipher::Rc4, "0102030405", std::string(64, '0'),
         "b2396305f03dc027ccc3524a0a1118a86982944f18fc82d589c403a47a0d0919"},
        {"none: copied", StreamCipher::None, "", "000102ff", "000102ff"},
    };
    for (const DecryptCase& c : cases) {
        const std::string input = FromHex(c.input);
        for (const size_t window : {1, 2, 3, 7, 65536}) {
            for (const bool everyByte : {false, true}) {
                SCOPED_TRACE(std::string(c.label) + ", window " + std::to_string(window) +
                             (everyByte ? ", input cut at every byte" : ""));
                DecryptStage stage;
                ASSERT_EQ(StartDecrypt(stage, MakeKey(c.cipher, c.key)), Status::Ok);
                const StageWindows windows{window, everyByte ? EveryByte(input.size()) : std::vector<size_t>{}};
                const StageRun run = RunStage(stage, RunDecrypt, input, windows);
                EXPECT_EQ(run.fault, "");
                EXPECT_EQ(run.status, Status::End);
                EXPECT_EQ(ToHex(run.bytes), c.expected);
            }
        }
    }
}

TEST(DecryptStage, LongStreamsMatchAcrossWindows) {
    // 4 KiB of RFC 6229's key stream, taken whole and in small pieces: the
    // bytes at offset 4080 are the RFC's.
    const std::string zeros(4096, '\0');
    std::string whole;
    for (const size_t window : {7, 65536}) {
        DecryptStage stage;
        ASSERT_EQ(StartDecrypt(stage, MakeKey(StreamCipher::Rc4, "0102030405")), Status::Ok);
        const StageRun run = RunStage(stage, RunDecrypt, zeros, StageWindows{window, {1, 2, 100, 1000, 4095}});
        ASSERT_EQ(run.status, Status::End);
        EXPECT_EQ(ToHex(run.bytes.substr(4080)), "068326a2118416d21f9d04b2cd1ca050");
        if (whole.empty()) whole = run.bytes;
        EXPECT_EQ(run.bytes, whole);
    }
}

TEST(DecryptStage, KeysItsCipherCannotTake) {
    DecryptStage stage;
    EXPECT_EQ(StartDecrypt(stage, MakeKey(StreamCipher::AesCbc, "00112233445566778899")), Status::InvalidData);
    EXPECT_EQ(StartDecrypt(stage, MakeKey(StreamCipher::Rc4, "")), Status::InvalidData);
    EXPECT_EQ(StartDecrypt(stage, MakeKey(StreamCipher::Unavailable, "0102030405")), Status::OutOfMemory);
}

}  // namespace
