#include <gtest/gtest.h>

#include "document/FilePaths.h"

namespace zop {
namespace {

TEST(FilePaths, TheExtensionStartsAtTheLastDotOfTheName)
{
    EXPECT_EQ(FileExtension("/home/u/trace.zop"), ".zop");
    EXPECT_EQ(FileExtension("/home/u/trace.old.ZOP"), ".ZOP");
    EXPECT_EQ(FileExtension("/home/u.v/trace"), "") << "a dot in a folder is no extension";
    EXPECT_EQ(FileExtension("trace."), ".");
    EXPECT_EQ(FileExtension(".zop"), ".zop");
    EXPECT_EQ(FileExtension(""), "");
}

TEST(FilePaths, ChangingTheExtensionReplacesOrAppends)
{
    EXPECT_EQ(ChangeFileExtension("/a/trace.bmp", ".zop"), "/a/trace.zop");
    EXPECT_EQ(ChangeFileExtension("/a.b/trace", ".zop"), "/a.b/trace.zop");
    EXPECT_EQ(ChangeFileExtension("", ".zop"), ".zop") << "an untitled document becomes just the extension";
    EXPECT_EQ(ChangeFileExtension(".zop", ".bmp"), ".bmp");
    EXPECT_EQ(ChangeFileExtension("/a/TRACE.zop.txt", ".wmf"), "/a/TRACE.zop.wmf");
}

TEST(FilePaths, TheNameWithoutItsFolder)
{
    EXPECT_EQ(FileNameOnly("/home/u/trace.zop"), "trace.zop");
    EXPECT_EQ(FileNameOnly("trace.zop"), "trace.zop");
    EXPECT_EQ(FileNameOnly("/home/u/"), "");
}

} // namespace
} // namespace zop
