// SHA-256 from the system's library (libcrypto on Linux, CNG on Windows) against the standard's
// own examples, whole and fed to the file reader in pieces.
#include "base/sha256.h"

#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

using namespace fabricor::test_support;

struct Vector {
    std::string message;
    const char* hex;
};

std::vector<Vector> Vectors() {
    return {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
        // Every byte value, the high ones included.
        {[] {
             std::string all;
             for (int byte = 0; byte < 256; ++byte)
                 all += char(byte);
             return all;
         }(),
         "40aff2e9d2d8922e47afd4648e6967497158785fbd1da870e7110266bf944880"},
    };
}

TEST(Sha256, TheStandardsExamplesGiveTheirDigests) {
    for (const auto& vector : Vectors())
        EXPECT_EQ(Sha256Hex(vector.message), vector.hex) << vector.message.size() << " bytes";
}

TEST(Sha256, AFileGivesTheDigestOfItsBytes) {
    TempDir dir;
    for (const auto& vector : Vectors()) {
        WriteFile(dir / "file.bin", vector.message);
        FileHash hash = Sha256OfFile((dir / "file.bin").string());
        ASSERT_TRUE(hash.hex) << hash.error;
        EXPECT_EQ(*hash.hex, vector.hex);
    }
}

TEST(Sha256, AFileThatCannotBeReadGivesAnErrorNamingIt) {
    TempDir dir;
    FileHash hash = Sha256OfFile((dir / "missing.bin").string());
    EXPECT_FALSE(hash.hex);
    EXPECT_NE(hash.error.find("missing.bin"), std::string::npos) << hash.error;
}

// Written through in pieces of every size, small and past what is hashed on a thread, the bytes
// pass on unchanged and give the standard's digest; a write the next sink refuses is not hashed.
TEST(Sha256, BytesWrittenThroughTheSinkGiveTheirDigestAndArriveUnchanged) {
    struct Collect final : ByteSink {
        std::string bytes;
        bool refuse = false;
        Status Write(std::string_view part) override {
            if (refuse)
                return Status::Error("refused");
            bytes.append(part);
            return Status::Ok();
        }
    };
    std::vector<Vector> vectors = Vectors();
    std::string big;
    for (int i = 0; i < 3'000'000; ++i)
        big += char(i * 7 + i / 251);
    vectors.push_back({big, nullptr});
    for (const auto& vector : vectors) {
        for (size_t piece : {size_t{1}, size_t{4093}, size_t{300'000}, size_t{1} << 22}) {
            if (piece == 1 && vector.message.size() > 100'000)
                continue;
            Collect next;
            HashingSink sink(next);
            for (size_t at = 0; at < vector.message.size(); at += piece)
                ASSERT_TRUE(sink.Write(std::string_view(vector.message).substr(at, piece)));
            next.refuse = true;
            EXPECT_FALSE(sink.Write("not hashed"));
            const auto hex = sink.Hex();
            ASSERT_TRUE(hex);
            EXPECT_EQ(*hex, vector.hex ? vector.hex : Sha256Hex(vector.message))
                << vector.message.size() << " bytes in pieces of " << piece;
            EXPECT_TRUE(next.bytes == vector.message);
        }
    }
}

} // namespace
} // namespace fabricor
