#include "base/run_temporaries.h"

#include <gtest/gtest.h>

#include <optional>

namespace fabricor {
namespace {

// The clean-up deletes files by these names: only a temporary's exact form may yield an owner.
TEST(RunTemporaries, OnlyATemporarysExactNameTellsItsOwner) {
    struct Case {
        const char* name;
        std::optional<pid_t> owner;
    };
    for (const Case& c : {
             Case{".New_SX30418.sx.tmp4711-Ab3xYz", 4711},
             Case{".Bin.sx.tmp1-000000", 1},
             Case{".pargen.xml.tmp.tmp99-abcdef", 99},
             Case{"New_SX30418.sx.tmp4711-Ab3xYz", std::nullopt}, // not hidden
             Case{".New_SX30418.sx.tmpAb3xYz", std::nullopt},     // an older form: no owner
             Case{".New_SX30418.sx.tmp4711-Ab3xY", std::nullopt},
             Case{".New_SX30418.sx.tmp4711-Ab3xYz7", std::nullopt},
             Case{".New_SX30418.sx.tmp4711_Ab3xYz", std::nullopt},
             Case{".New_SX30418.sx.tmp-Ab3xYz", std::nullopt},
             Case{".New_SX30418.sx.tmp0-Ab3xYz", std::nullopt},
             Case{".New_SX30418.sx.tmp4711-Ab3.Yz", std::nullopt},
             Case{".x.tmp12345678901-abcdef", std::nullopt}, // too many digits for a process
             Case{".tmp4711-Ab3xYz", std::nullopt},
             Case{"pargen.xml", std::nullopt},
             Case{".update.lock", std::nullopt},
         }) {
        EXPECT_EQ(TemporaryOwner(c.name), c.owner) << c.name;
    }
}

} // namespace
} // namespace fabricor
