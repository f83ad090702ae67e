// zop5-view as installed: the program answers --help and --version without a
// display, and its desktop entry "Tracelet Viewer" is offered under "Open
// with" for captures while the window program stays their default.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/support/ChildProcess.h"
#include "tests/support/TestEnvironment.h"

namespace zop::viewer {
namespace {

std::string Read(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

bool Have(const std::string& program)
{
    return test::RunChild({ "sh", "-c", "command -v " + program }).ExitCode == 0;
}

TEST(InstalledViewer, OffersItselfForCapturesAndLeavesTheDefaultToTheWindowProgram)
{
    zop::test::TempDir prefix;
    // The viewer's own install rules, and the window program's file type and entry beside them.
    for (const char* folder : { "/viewer", "/desktop" }) {
        const test::ChildResult install = test::RunChild(
            { CMAKE_COMMAND_PATH, "--install", std::string(BUILD_DIR) + folder, "--prefix", prefix.Path() });
        ASSERT_EQ(install.ExitCode, 0) << install.Out << install.Err;
    }
    const std::string entry = prefix.Path() + "/share/applications/org.tracelet.Zop5View.desktop";
    const std::string text = Read(entry);
    EXPECT_NE(text.find("\nName=Tracelet Viewer\n"), std::string::npos);
    EXPECT_NE(text.find("\nExec=zop5-view %F\n"), std::string::npos);
    EXPECT_NE(text.find("\nMimeType=application/x-zop5-waveform;\n"), std::string::npos);

    // Without a display, as packaging tools ask.
    test::ChildOptions headless;
    headless.Environment["DISPLAY"] = std::nullopt;
    headless.Environment["WAYLAND_DISPLAY"] = std::nullopt;
    headless.Environment["QT_QPA_PLATFORM"] = std::nullopt;
    const test::ChildResult version = test::RunChild({ prefix.Path() + "/bin/zop5-view", "--version" }, headless);
    EXPECT_EQ(version.ExitCode, 0) << version.Err;
    EXPECT_NE(version.Out.find(PROJECT_VERSION_TEXT), std::string::npos);
    const test::ChildResult help = test::RunChild({ prefix.Path() + "/bin/zop5-view", "--help" }, headless);
    EXPECT_EQ(help.ExitCode, 0) << help.Err;
    EXPECT_NE(help.Out.find("--follow <folder>"), std::string::npos);

    if (Have("desktop-file-validate")) {
        const test::ChildResult valid = test::RunChild({ "desktop-file-validate", entry });
        EXPECT_EQ(valid.ExitCode, 0) << valid.Out << valid.Err;
    }
    if (!Have("gio") || !Have("update-desktop-database") || !Have("update-mime-database"))
        GTEST_SKIP() << "needs gio, update-desktop-database and update-mime-database";
    // The databases a package's post-install step builds, and what a file manager then offers.
    ASSERT_EQ(test::RunChild({ "update-mime-database", prefix.Path() + "/share/mime" }).ExitCode, 0);
    ASSERT_EQ(test::RunChild({ "update-desktop-database", prefix.Path() + "/share/applications" }).ExitCode, 0);
    test::ChildOptions desktop;
    desktop.Environment["XDG_DATA_DIRS"] = prefix.Path() + "/share";
    desktop.Environment["XDG_DATA_HOME"] = prefix.Path() + "/home-data";
    desktop.Environment["XDG_CONFIG_HOME"] = prefix.Path() + "/home-config";
    desktop.Environment["XDG_CONFIG_DIRS"] = prefix.Path() + "/etc-xdg";
    // Entries whose program is not on PATH are not offered.
    desktop.Environment["PATH"] = prefix.Path() + "/bin:/usr/bin:/bin";
    const test::ChildResult offered = test::RunChild({ "gio", "mime", "application/x-zop5-waveform" }, desktop);
    EXPECT_NE(offered.Out.find("application/x-zop5-waveform\xE2\x80\x9D: org.tracelet.Zop5.desktop"), std::string::npos)
        << offered.Out;
    EXPECT_NE(offered.Out.find("\torg.tracelet.Zop5View.desktop"), std::string::npos) << offered.Out;
}

} // namespace
} // namespace zop::viewer
