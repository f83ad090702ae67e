// Copies of the program on two X servers of the test's own: a copy on one
// display never finds the copy on another, while copies on one display,
// however its name is spelt, still do. A copy that finds no running copy
// answers the restore requests under its own name; one that finds a running
// copy sends that copy the request and leaves the name to it.
#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/support/XSession.h"

namespace zop {
namespace {

using namespace std::chrono_literals;
using namespace test;

// The names of the program's local servers that process `pid` listens on.
std::set<std::string> ListeningNames(pid_t pid)
{
    std::set<std::string> inodes;
    const std::string fdDir = "/proc/" + std::to_string(pid) + "/fd";
    if (DIR* dir = opendir(fdDir.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            char target[128] = {};
            const std::string link = fdDir + "/" + entry->d_name;
            const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
            const std::string text(target, n > 0 ? static_cast<size_t>(n) : 0);
            if (text.rfind("socket:[", 0) == 0)
                inodes.insert(text.substr(8, text.size() - 9));
        }
        closedir(dir);
    }
    std::set<std::string> names;
    std::ifstream table("/proc/net/unix");
    std::string line;
    std::getline(table, line); // the heading
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, references, protocol, flags, type, state, inode, path;
        fields >> slot >> references >> protocol >> flags >> type >> state >> inode >> path;
        if (state == "01" && flags == "00010000" && inodes.count(inode) && path.rfind("@TZop5Form-", 0) == 0)
            names.insert(path);
    }
    return names;
}

bool Running(pid_t pid)
{
    return kill(pid, 0) == 0;
}

TEST(SingleInstanceX, CopiesOnTwoDisplaysAreStrangersAndCopiesOnOneDisplayMeet)
{
    const std::string program = ZOP5_PROGRAM;
    ASSERT_EQ(access(program.c_str(), X_OK), 0) << program;
    ASSERT_TRUE(XToolsPresent()) << "Xvfb, xdotool and import are needed";
    XServer first, second;
    ASSERT_FALSE(first.Display().empty()) << "Xvfb did not start";
    ASSERT_FALSE(second.Display().empty()) << "Xvfb did not start";

    first.Use();
    RunningCopy one({ program });
    ASSERT_FALSE(one.Window().empty()) << "no window on " << first.Display();
    std::set<std::string> firstNames;
    ASSERT_TRUE(WaitFor([&] { return !(firstNames = ListeningNames(one.Pid())).empty(); }, 10s));
    ASSERT_EQ(firstNames.size(), 1u);

    // Another display: the copy there finds nothing to restore, answers under
    // a name of its own, and the first copy keeps running with its name.
    second.Use();
    RunningCopy other({ program });
    ASSERT_FALSE(other.Window().empty()) << "no window on " << second.Display();
    std::set<std::string> otherNames;
    EXPECT_TRUE(WaitFor([&] { return !(otherNames = ListeningNames(other.Pid())).empty(); }, 10s))
        << "the copy on " << second.Display() << " took the first display's copy for its own";
    EXPECT_NE(otherNames, firstNames);
    EXPECT_EQ(ListeningNames(one.Pid()), firstNames);
    EXPECT_TRUE(Running(one.Pid()));
    EXPECT_TRUE(Running(other.Pid()));

    // The first display again, spelt another way: this copy finds the first
    // one, restores it and leaves the name to it; once the first copy ends
    // it answers under that very name.
    setenv("DISPLAY", ("unix" + first.Display() + ".0").c_str(), 1);
    auto again = std::make_unique<RunningCopy>(std::vector<std::string> { program });
    ASSERT_FALSE(again->Window().empty()) << "no window on " << getenv("DISPLAY");
    std::this_thread::sleep_for(1500ms); // longer than its retry interval
    EXPECT_TRUE(ListeningNames(again->Pid()).empty());
    EXPECT_EQ(ListeningNames(one.Pid()), firstNames);
    EXPECT_TRUE(Running(one.Pid()));
    StopProcess(one.Pid());
    EXPECT_TRUE(WaitFor([&] { return ListeningNames(again->Pid()) == firstNames; }, 10s));
    EXPECT_TRUE(Running(other.Pid()));
}

} // namespace
} // namespace zop
