#include "app/main_window.h"

#include "app/settings_file.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

namespace fabricor {
namespace {

using testing::TempDir;

TEST(MainWindowStartup, TitleComesFromTheRestoredProjectAndCloseStoresIt) {
    TempDir app;
    std::filesystem::create_directories(app / "PROJECTS" / "pump");
    ASSERT_TRUE(WriteIniValue(app / "Fabricor.ini", "lastproj", "projectname", "pump"));
    {
        TFFabricoreFirmWare window(QString::fromStdString(app.str() + "/fabricor"));
        EXPECT_EQ(window.windowTitle().toStdString(), std::string(ProductCaption) + " : /pump");
        window.show();
        window.close();
    }
    EXPECT_EQ(ReadIniValue(app / "Fabricor.ini", "lastproj", "projectname"), "/pump");
}

} // namespace
} // namespace fabricor
