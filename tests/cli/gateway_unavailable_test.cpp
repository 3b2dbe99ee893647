// A build without the software gateway (FABRICOR_WITH_GATEWAY off) still lists the command and
// says plainly that it is not part of this build.
#include "cli/cli.h"

#include <gtest/gtest.h>

#include <sstream>

namespace fabricor::cli {
namespace {

TEST(GatewayUnavailable, TheCommandSaysItIsNotPartOfThisBuild) {
    for (const Arguments& args : std::vector<Arguments>{
             {"gateway"}, {"gateway", "--help"}, {"gateway", "P", "--serial", "COM1"}}) {
        std::ostringstream out, err;
        EXPECT_EQ(RunCli(args, out, err), kExitFailure);
        EXPECT_EQ(out.str(), "");
        EXPECT_NE(err.str().find("fabricor-cli gateway: not part of this build"), std::string::npos)
            << err.str();
    }
    std::ostringstream out, err;
    ASSERT_EQ(RunCli({"--help"}, out, err), kExitOk);
    EXPECT_NE(out.str().find("  gateway"), std::string::npos);
}

} // namespace
} // namespace fabricor::cli
