// The programs as a desktop user meets them: installed into a prefix, started
// from a desktop entry, files recognised by type, manual pages that match the
// programs' own help.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/ChildProcess.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/XSession.h"

namespace zop {
namespace {

namespace fs = std::filesystem;
using test::ChildOptions;
using test::RunChild;

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const fs::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// A waveform file as the program writes it.
std::string WaveformFileText()
{
    std::string text = "Zop5 V1.0\r\nbench supply\r\n07/12/2026\r\n10:15:00\r\n1ms/div\r\n0.5V/div\r\n127\r\n\r\n";
    for (int i = 0; i < 96; ++i)
        text += std::to_string(100 + i) + "\r\n";
    return text;
}

// Installs the build once into a fresh prefix for the whole suite.
class Installed : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_prefix = new test::TempDir;
        s_install = RunChild({ CMAKE_COMMAND_PATH, "--install", BUILD_DIR, "--prefix", s_prefix->Path() });
    }
    static void TearDownTestSuite()
    {
        delete s_prefix;
        s_prefix = nullptr;
    }
    void SetUp() override { ASSERT_EQ(s_install.ExitCode, 0) << s_install.Out << s_install.Err; }

    static fs::path Prefix() { return s_prefix->Path(); }
    static fs::path Share() { return Prefix() / "share"; }

    static test::TempDir* s_prefix;
    static test::ChildResult s_install;
};
test::TempDir* Installed::s_prefix = nullptr;
test::ChildResult Installed::s_install;

bool IsExecutableFile(const fs::path& path)
{
    struct stat info { };
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IXUSR);
}

TEST_F(Installed, EverythingLandsWhereTheDesktopLooks)
{
    for (const char* program : { "zop5", "zop5-tool" })
        EXPECT_TRUE(IsExecutableFile(Prefix() / "bin" / program)) << program;
    EXPECT_TRUE(fs::is_regular_file(Share() / "applications" / APP_ID ".desktop"));
    EXPECT_TRUE(fs::is_regular_file(Share() / "icons/hicolor/scalable/apps" / APP_ID ".svg"));
    EXPECT_TRUE(fs::is_regular_file(Share() / "icons/hicolor/scalable/mimetypes/application-x-zop5-waveform.svg"));
    EXPECT_TRUE(fs::is_regular_file(Share() / "mime/packages" / APP_ID ".xml"));
    EXPECT_TRUE(fs::is_regular_file(Share() / "man/man1/zop5.1"));
    EXPECT_TRUE(fs::is_regular_file(Share() / "man/man1/zop5-tool.1"));
    EXPECT_TRUE(fs::is_regular_file(Share() / "metainfo" / APP_ID ".metainfo.xml"));
    EXPECT_TRUE(fs::is_regular_file(Share() / "bash-completion/completions/zop5-tool"));
    EXPECT_TRUE(fs::is_regular_file(Share() / "doc/zop5/guide.html"));
    // The udev rule is an example for the administrator, never active by itself.
    EXPECT_TRUE(fs::is_regular_file(Share() / "doc/zop5/examples/70-zop5-serial.rules.example"));
    for (const auto& entry : fs::recursive_directory_iterator(Prefix()))
        EXPECT_FALSE(entry.path().string().find("rules.d") != std::string::npos) << entry.path();

    // The installed tool runs on its own, away from the build.
    const test::ChildResult help = RunChild({ (Prefix() / "bin/zop5-tool").string(), "--help" });
    EXPECT_EQ(help.ExitCode, 0) << help.Err;
    EXPECT_NE(help.Out.find("Usage: zop5-tool"), std::string::npos);
}

// Key=value lines of the [Desktop Entry] group.
std::map<std::string, std::string> DesktopKeys(const std::string& text)
{
    std::map<std::string, std::string> keys;
    std::istringstream lines(text);
    std::string line;
    bool inEntry = false;
    while (std::getline(lines, line)) {
        if (!line.empty() && line[0] == '[')
            inEntry = line == "[Desktop Entry]";
        else if (inEntry && line.find('=') != std::string::npos)
            keys[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
    }
    return keys;
}

TEST_F(Installed, DesktopEntryIsValidAndOpensWaveformFiles)
{
    const fs::path entry = Share() / "applications" / APP_ID ".desktop";
    const test::ChildResult check = RunChild({ "desktop-file-validate", entry.string() });
    EXPECT_EQ(check.ExitCode, 0) << check.Out << check.Err;
    EXPECT_EQ(check.Out + check.Err, "") << "warnings or hints";

    // A reverse-DNS name: at least three dot-separated parts before .desktop.
    EXPECT_TRUE(std::regex_match(std::string(APP_ID), std::regex(R"([a-z]+(\.[A-Za-z0-9_]+){2,})")));

    const auto keys = DesktopKeys(ReadText(entry));
    EXPECT_EQ(keys.at("Type"), "Application");
    EXPECT_EQ(keys.at("Exec"), "zop5 %f");
    EXPECT_EQ(keys.at("Icon"), APP_ID);
    EXPECT_TRUE(fs::is_regular_file(Share() / "icons/hicolor/scalable/apps" / (keys.at("Icon") + ".svg")));
    EXPECT_NE(keys.at("MimeType").find(std::string(MIME_TYPE) + ";"), std::string::npos);
    // The program named by Exec is the one installed.
    const std::string program = keys.at("Exec").substr(0, keys.at("Exec").find(' '));
    EXPECT_TRUE(IsExecutableFile(Prefix() / "bin" / program));
}

// The values of `attribute` in every element `element` of an XML text, in order.
std::vector<std::string> XmlAttributes(
    const std::string& text, const std::string& element, const std::string& attribute)
{
    std::vector<std::string> values;
    const std::regex tag("<" + element + "\\b[^>]*\\b" + attribute + "=\"([^\"]*)\"");
    for (std::sregex_iterator it(text.begin(), text.end(), tag), end; it != end; ++it)
        values.push_back((*it)[1]);
    return values;
}

// The texts of every element `element` of an XML text, in order.
std::vector<std::string> XmlTexts(const std::string& text, const std::string& element)
{
    std::vector<std::string> values;
    const std::regex tag("<" + element + "\\b[^>]*>([^<]*)</" + element + ">");
    for (std::sregex_iterator it(text.begin(), text.end(), tag), end; it != end; ++it)
        values.push_back((*it)[1]);
    return values;
}

TEST_F(Installed, SoftwareCentreMetadataIsValidAndMatchesWhatIsInstalled)
{
    const fs::path metainfo = Share() / "metainfo" / APP_ID ".metainfo.xml";
    const test::ChildResult check = RunChild({ "appstreamcli", "validate", "--no-net", metainfo.string() });
    EXPECT_EQ(check.ExitCode, 0) << check.Out << check.Err;

    const std::string text = ReadText(metainfo);
    EXPECT_EQ(XmlTexts(text, "id"), std::vector<std::string> { APP_ID });
    EXPECT_EQ(XmlTexts(text, "launchable"), std::vector<std::string> { APP_ID ".desktop" });
    EXPECT_TRUE(fs::is_regular_file(Share() / "applications" / (XmlTexts(text, "launchable").at(0))));
    EXPECT_EQ(XmlTexts(text, "mediatype"), std::vector<std::string> { MIME_TYPE });
    for (const std::string& binary : XmlTexts(text, "binary"))
        EXPECT_TRUE(IsExecutableFile(Prefix() / "bin" / binary)) << binary;

    // The newest release is this version, dated as the package's changelog.
    const std::vector<std::string> versions = XmlAttributes(text, "release", "version");
    const std::vector<std::string> dates = XmlAttributes(text, "release", "date");
    ASSERT_FALSE(versions.empty());
    ASSERT_EQ(dates.size(), versions.size());
    EXPECT_EQ(versions.front(), PROJECT_VERSION_TEXT);
    const std::string changelog = ReadText(fs::path(DESKTOP_SOURCE_DIR) / "../packaging/changelog");
    EXPECT_TRUE(changelog.starts_with("zop5 (" PROJECT_VERSION_TEXT ")")) << changelog.substr(0, 40);
    std::smatch signed_;
    ASSERT_TRUE(std::regex_search(changelog, signed_, std::regex(R"(\n -- [^\n]*>  \w{3}, (\d{2}) (\w{3}) (\d{4}) )")));
    const std::string months = "JanFebMarAprMayJunJulAugSepOctNovDec";
    const std::string month = std::to_string(months.find(signed_[2].str()) / 3 + 1);
    EXPECT_EQ(dates.front(), signed_[3].str() + (month.size() == 1 ? "-0" : "-") + month + "-" + signed_[1].str());

    // Each screenshot is a picture of the window kept in the source, of the
    // size the metadata gives.
    const std::vector<std::string> images = XmlTexts(text, "image");
    const std::vector<std::string> widths = XmlAttributes(text, "image", "width");
    const std::vector<std::string> heights = XmlAttributes(text, "image", "height");
    ASSERT_GE(images.size(), 1u);
    ASSERT_EQ(widths.size(), images.size());
    ASSERT_EQ(heights.size(), images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const fs::path file = fs::path(DESKTOP_SOURCE_DIR) / "screenshots" / fs::path(images[i]).filename();
        const QImage picture(QString::fromStdString(file.string()));
        ASSERT_FALSE(picture.isNull()) << file;
        EXPECT_EQ(std::to_string(picture.width()), widths[i]) << file;
        EXPECT_EQ(std::to_string(picture.height()), heights[i]) << file;
    }
}

TEST_F(Installed, FileTypeResolvesWaveformFilesByNameAndByContent)
{
    // A private copy of the database, as a package's post-install step builds it.
    test::TempDir data;
    fs::copy(Share() / "mime", fs::path(data.Path()) / "mime", fs::copy_options::recursive);
    const fs::path mime = fs::path(data.Path()) / "mime";
    const test::ChildResult update = RunChild({ "update-mime-database", mime.string() });
    ASSERT_EQ(update.ExitCode, 0) << update.Err;

    const std::string globs = ReadText(mime / "globs2");
    EXPECT_NE(globs.find(std::string(MIME_TYPE) + ":*.zop"), std::string::npos) << globs;
    EXPECT_TRUE(fs::is_regular_file(mime / "application/x-zop5-waveform.xml"));

    test::TempDir files;
    const fs::path lower = fs::path(files.Path()) / "trace.zop";
    const fs::path upper = fs::path(files.Path()) / "TRACE.ZOP";
    const fs::path bare = fs::path(files.Path()) / "received";
    const fs::path other = fs::path(files.Path()) / "notes";
    WriteText(lower, WaveformFileText());
    WriteText(upper, WaveformFileText());
    WriteText(bare, WaveformFileText());
    WriteText(other, "Zop5 is a hand-held oscilloscope.\n");

    ChildOptions options;
    options.Environment["XDG_DATA_DIRS"] = data.Path() + ":/usr/share";
    options.Environment["XDG_DATA_HOME"] = files.Path() + "/no-user-data";
    const test::ChildResult probe
        = RunChild({ MIME_PROBE_PATH, lower.string(), upper.string(), bare.string(), other.string() }, options);
    ASSERT_EQ(probe.ExitCode, 0) << probe.Err;
    std::istringstream lines(probe.Out);
    std::string byName, byContent;
    lines >> byName >> byContent;
    EXPECT_EQ(byName, MIME_TYPE) << "trace.zop";
    EXPECT_EQ(byContent, MIME_TYPE) << "trace.zop";
    lines >> byName >> byContent;
    EXPECT_EQ(byName, MIME_TYPE) << "TRACE.ZOP: the program reads any letter case";
    lines >> byName >> byContent;
    EXPECT_EQ(byContent, MIME_TYPE) << "a saved waveform without its extension";
    lines >> byName >> byContent;
    EXPECT_NE(byContent, MIME_TYPE) << "text that merely mentions the instrument";
}

TEST_F(Installed, IconIsAScalableSquarePicture)
{
    QSvgRenderer renderer(QString::fromStdString((Share() / "icons/hicolor/scalable/apps" / APP_ID ".svg").string()));
    ASSERT_TRUE(renderer.isValid());
    EXPECT_EQ(renderer.viewBoxF().width(), renderer.viewBoxF().height());

    for (int size : { 16, 48, 256 }) {
        QImage image(size, size, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        renderer.render(&painter);
        painter.end();
        // Opaque at the centre, and the trace's blue somewhere.
        EXPECT_EQ(qAlpha(image.pixel(size / 2, size / 2)), 255) << size;
        bool blue = false;
        for (int y = 0; y < size && !blue; ++y)
            for (int x = 0; x < size && !blue; ++x)
                blue = qBlue(image.pixel(x, y)) > 200 && qRed(image.pixel(x, y)) < 80;
        EXPECT_TRUE(blue) << size;
    }
}

// The commands `zop5-tool --help` lists: the first word of each indented line
// after "Commands:".
std::vector<std::string> ToolCommands(const std::string& help)
{
    std::vector<std::string> names;
    std::istringstream lines(help.substr(help.find("Commands:")));
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line))
        if (line.starts_with("  ") && line.find_first_not_of(' ') != std::string::npos)
            names.push_back(line.substr(2, line.find(' ', 2) - 2));
    return names;
}

TEST_F(Installed, ManualPagesFormatCleanlyAndCoverWhatTheProgramsOffer)
{
    for (const char* page : { "zop5.1", "zop5-tool.1" }) {
        const fs::path path = Share() / "man/man1" / page;
        const test::ChildResult groff = RunChild({ "groff", "-man", "-Tutf8", "-ww", "-z", path.string() });
        EXPECT_EQ(groff.ExitCode, 0) << page;
        EXPECT_EQ(groff.Err, "") << page;
        const std::string text = ReadText(path);
        EXPECT_NE(text.find(PROJECT_VERSION_TEXT), std::string::npos) << page;
        EXPECT_EQ(text.find('@'), std::string::npos) << page << ": a placeholder was left";
    }

    const test::ChildResult help = RunChild({ ZOP5_TOOL_PATH, "--help" });
    ASSERT_EQ(help.ExitCode, 0);
    const std::vector<std::string> commands = ToolCommands(help.Out);
    EXPECT_FALSE(commands.empty());
    const std::string toolPage = ReadText(Share() / "man/man1/zop5-tool.1");
    for (const std::string& command : commands)
        EXPECT_NE(toolPage.find(".SS " + command + "\n"), std::string::npos) << command << " is not documented";

    // Every option of the window program appears in its page (read with
    // roff's "\-" as a plain minus).
    const test::ChildResult windowHelp = RunChild({ ZOP5_PATH, "--help" });
    ASSERT_EQ(windowHelp.ExitCode, 0);
    const std::string windowPage = std::regex_replace(ReadText(Share() / "man/man1/zop5.1"), std::regex(R"(\\-)"), "-");
    std::smatch match;
    std::string rest = windowHelp.Out;
    int options = 0;
    while (std::regex_search(rest, match, std::regex(R"(--([a-z-]+))"))) {
        ++options;
        EXPECT_NE(windowPage.find(match[0].str()), std::string::npos) << match[0];
        rest = match.suffix();
    }
    EXPECT_GE(options, 2);
}

// The words of an Exec line with %f given `file`, as a launcher expands it.
std::vector<std::string> ExpandExec(const std::string& exec, const std::string& file)
{
    std::vector<std::string> words;
    std::istringstream in(exec);
    for (std::string word; in >> word;)
        words.push_back(word == "%f" ? file : word);
    return words;
}

TEST_F(Installed, LaunchedFromTheDesktopEntryTheProgramShowsTheFile)
{
    if (!test::XToolsPresent())
        GTEST_SKIP() << "needs Xvfb and xdotool";
    test::TempDir files;
    const std::string trace = files.File("trace.zop");
    const std::string refused = files.File("refused.zop");
    WriteText(trace, WaveformFileText());
    WriteText(refused, "not a waveform\r\n");

    // A port to listen on, so that start-up has no port warning to show.
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
    setenv("ZOP5_COM1", ptsname(terminal), 1);

    test::XServer server;
    ASSERT_FALSE(server.Display().empty()) << "Xvfb did not start";
    server.Use();
    // The launcher finds the program on PATH, as after an install.
    setenv("PATH", ((Prefix() / "bin").string() + ":" + std::getenv("PATH")).c_str(), 1);
    const std::string exec = DesktopKeys(ReadText(Share() / "applications" / APP_ID ".desktop")).at("Exec");

    {
        test::RunningCopy opened(ExpandExec(exec, trace));
        ASSERT_FALSE(opened.Window().empty()) << "no window";
        EXPECT_TRUE(opened.WaitForCaption("Tracelet - trace.zop")) << opened.Caption();
    }
    {
        // A file the program refuses leaves an empty window.
        test::RunningCopy empty(ExpandExec(exec, refused));
        ASSERT_FALSE(empty.Window().empty()) << "no window";
        EXPECT_TRUE(empty.WaitForCaption("Tracelet - [Untitled]")) << empty.Caption();
    }
    close(terminal);
}

TEST(WindowProgram, AnswersHelpAndVersionWithoutOpeningAWindow)
{
    // From a terminal without any display.
    ChildOptions offscreen;
    offscreen.Environment["QT_QPA_PLATFORM"] = std::nullopt;
    offscreen.Environment["DISPLAY"] = std::nullopt;
    offscreen.Environment["WAYLAND_DISPLAY"] = std::nullopt;

    const test::ChildResult version = RunChild({ ZOP5_PATH, "--version" }, offscreen);
    EXPECT_EQ(version.ExitCode, 0) << version.Err;
    EXPECT_NE(version.Out.find(PROJECT_VERSION_TEXT), std::string::npos) << version.Out;

    const test::ChildResult help = RunChild({ ZOP5_PATH, "--help" }, offscreen);
    EXPECT_EQ(help.ExitCode, 0) << help.Err;
    EXPECT_NE(help.Out.find("Usage:"), std::string::npos);
    EXPECT_NE(help.Out.find("--version"), std::string::npos);
    EXPECT_NE(help.Out.find("file"), std::string::npos) << "the waveform file argument";
    // The window system's options a user may need, without the whole list.
    EXPECT_NE(help.Out.find("-platform NAME"), std::string::npos) << help.Out;
    EXPECT_NE(help.Out.find("-display NAME"), std::string::npos) << help.Out;
    EXPECT_EQ(help.Out.find("-reverse"), std::string::npos) << "that is --help-all";

    offscreen.Environment["QT_QPA_PLATFORM"] = "offscreen";
    const test::ChildResult wrong = RunChild({ ZOP5_PATH, "--frobnicate" }, offscreen);
    EXPECT_NE(wrong.ExitCode, 0);
    EXPECT_NE(wrong.Err.find("frobnicate"), std::string::npos) << wrong.Err;
}

} // namespace
} // namespace zop
