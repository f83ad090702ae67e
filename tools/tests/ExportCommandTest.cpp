// zop5-tool export, run as a user runs it; every file it writes is read back
// by a reader that is not ours (ImageMagick, poppler, libwmf, libxml2) or by
// the file format's plain definition.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "tests/support/TestEnvironment.h"
#include "tools/tests/ToolRunner.h"

namespace zop::test {
namespace {

namespace fs = std::filesystem;

// A grey-level picture as a reader outside the program decoded it.
struct Raster {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Levels;
    uint8_t At(int x, int y) const { return Levels.at(static_cast<size_t>(y) * static_cast<size_t>(Width) + x); }
};

// Binary PGM (P5, 8 bits).
Raster ParsePgm(const std::string& bytes)
{
    Raster raster;
    std::istringstream in(bytes);
    std::string magic;
    int maximum = 0;
    in >> magic >> raster.Width >> raster.Height >> maximum;
    in.get();
    EXPECT_EQ(magic, "P5");
    EXPECT_EQ(maximum, 255);
    const size_t size = static_cast<size_t>(raster.Width) * static_cast<size_t>(raster.Height);
    raster.Levels.resize(size);
    in.read(reinterpret_cast<char*>(raster.Levels.data()), static_cast<std::streamsize>(size));
    EXPECT_EQ(static_cast<size_t>(in.gcount()), size);
    return raster;
}

// Decoded by ImageMagick: grey levels, or the alpha channel.
Raster Decode(const std::string& path, bool alpha = false)
{
    std::vector<std::string> argv { "convert", path };
    if (alpha)
        argv.insert(argv.end(), { "-alpha", "extract" });
    argv.insert(argv.end(), { "-depth", "8", "pgm:-" });
    const ChildResult result = RunChild(argv);
    EXPECT_EQ(result.ExitCode, 0) << result.Err;
    return ParsePgm(result.Out);
}

uint32_t Little(const std::string& bytes, size_t at, int count)
{
    uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | static_cast<uint8_t>(bytes.at(at + static_cast<size_t>(i)));
    return value;
}

// A flat line at 200 except for a step, and one cross pair when asked.
WaveformText StepWaveform()
{
    WaveformText waveform;
    waveform.Description = "step \xB5 test";
    waveform.VoltsLabel = "0.1V/div";
    waveform.ZeroRef = 127;
    waveform.Samples.fill(200);
    waveform.Samples[0] = 100;
    return waveform;
}

// A build without Qt writes only the formats of our own writers.
constexpr bool ToolDraws = ZOP5_TOOL_DRAWS;

class Export : public testing::Test {
protected:
    Export() { m_input = Write("step.zop", StepWaveform()); }
    std::string Write(const std::string& name, const WaveformText& waveform)
    {
        const std::string path = m_dir.File(name);
        WriteBytes(path, WaveformFileBytes(waveform));
        return path;
    }
    ChildResult Run(std::vector<std::string> args)
    {
        args.insert(args.begin(), "export");
        ChildOptions options;
        options.Environment["XDG_CONFIG_HOME"] = m_dir.Path();
        return RunTool(args, options);
    }
    TempDir m_dir;
    std::string m_input;
};

TEST_F(Export, BitmapIsTheOneBitSheetWithTheScreenTrace)
{
    if (!ToolDraws)
        GTEST_SKIP() << "a build without Qt draws no pictures";
    const std::string dot = m_dir.File("dot.bmp");
    const std::string bar = m_dir.File("bar.BMP");
    ASSERT_EQ(Run({ "--mode", "dot", m_input, dot }).ExitCode, 0);
    ASSERT_EQ(Run({ "--mode", "BAR", m_input, bar }).ExitCode, 0);

    // The file format by its definition: a 62-byte header, 384 x 321, one bit.
    const std::string bytes = ReadBytes(dot);
    ASSERT_EQ(bytes.size(), 15470u);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    EXPECT_EQ(Little(bytes, 2, 4), 15470u);
    EXPECT_EQ(Little(bytes, 10, 4), 62u);
    EXPECT_EQ(Little(bytes, 18, 4), 384u);
    EXPECT_EQ(Little(bytes, 22, 4), 321u);
    EXPECT_EQ(Little(bytes, 28, 2), 1u);

    // The screen picture sits at row 21: a dot of value 200 covers screen
    // rows 53..55, sheet rows 74..76; column 10 crosses no graticule line.
    const Raster sheet = Decode(dot);
    ASSERT_EQ(sheet.Width, 384);
    ASSERT_EQ(sheet.Height, 321);
    for (int y = 74; y <= 76; ++y)
        EXPECT_EQ(sheet.At(10, y), 0) << y;
    EXPECT_EQ(sheet.At(10, 73), 255);
    EXPECT_EQ(sheet.At(10, 77), 255);
    // Sample 0 (value 100) lies lower: rows 174..176 in columns 0..3.
    EXPECT_EQ(sheet.At(1, 175), 0);
    EXPECT_EQ(sheet.At(5, 175), 255);

    // Bar mode joins the step with a bar in sample 1's columns; dot mode
    // leaves the gap white.
    const Raster bars = Decode(bar);
    EXPECT_EQ(bars.At(5, 130), 0);
    EXPECT_EQ(sheet.At(5, 130), 255);

    // Header and footer texts are there, in black.
    const auto inkIn = [](const Raster& r, int x1, int y1, int x2, int y2) {
        int ink = 0;
        for (int y = y1; y < y2; ++y)
            for (int x = x1; x < x2; ++x)
                ink += r.At(x, y) == 0;
        return ink;
    };
    EXPECT_GT(inkIn(sheet, 2, 2, 100, 16), 20) << "description";
    EXPECT_GT(inkIn(sheet, 0, 280, 384, 295), 50) << "settings texts";
}

TEST_F(Export, ModeDefaultsToTheWindowsConfiguredMode)
{
    if (!ToolDraws)
        GTEST_SKIP() << "a build without Qt draws no pictures";
    WriteBytes(m_dir.File("Tracelet ZOP5.ini"), "[Configuration]\nViewMode=Bar\n");
    const std::string configured = m_dir.File("configured.bmp");
    ASSERT_EQ(Run({ m_input, configured }).ExitCode, 0);
    EXPECT_EQ(Decode(configured).At(5, 130), 0) << "drawn as bars";
}

TEST_F(Export, MetafileIsAPlaceableMetafileOthersCanPlay)
{
    const std::string out = m_dir.File("sheet.wmf");
    const ChildResult result = Run({ "--cursors", "10,30", m_input, out });
    ASSERT_EQ(result.ExitCode, 0) << result.Err;
    const std::string bytes = ReadBytes(out);
    ASSERT_GT(bytes.size(), 22u + 18u);
    EXPECT_EQ(Little(bytes, 0, 4), 0x9AC6CDD7u); // placeable key
    EXPECT_EQ(Little(bytes, 14, 2), 2540u); // units per inch
    const double width = Little(bytes, 10, 2) - Little(bytes, 6, 2);
    const double height = Little(bytes, 12, 2) - Little(bytes, 8, 2);
    EXPECT_NEAR(width / height, 396.0 / 321.0, 0.01);
    // The last record is the end record: size 3 words, function 0.
    EXPECT_EQ(Little(bytes, bytes.size() - 6, 4), 3u);
    EXPECT_EQ(Little(bytes, bytes.size() - 2, 2), 0u);

    // libwmf plays it.
    const std::string svg = m_dir.File("played.svg");
    const ChildResult played = RunChild({ "wmf2svg", "-o", svg, out });
    EXPECT_EQ(played.ExitCode, 0) << played.Err;
    const std::string text = ReadBytes(svg);
    EXPECT_NE(text.find("<svg"), std::string::npos);
    EXPECT_NE(text.find("dt=2ms"), std::string::npos);
}

TEST_F(Export, PdfIsThePrintedPageAtTheAskedResolution)
{
    if (!ToolDraws)
        GTEST_SKIP() << "a build without Qt draws no pictures";
    const std::string fine = m_dir.File("fine.pdf");
    const std::string coarse = m_dir.File("coarse.pdf");
    ASSERT_EQ(Run({ "--cursors", "10,30", m_input, fine }).ExitCode, 0);
    ASSERT_EQ(Run({ "--dpi", "300", "--cursors", "10,30", m_input, coarse }).ExitCode, 0);

    const ChildResult info = RunChild({ "pdfinfo", fine });
    EXPECT_NE(info.Out.find("Pages:           1"), std::string::npos) << info.Out;
    EXPECT_NE(info.Out.find("(A4)"), std::string::npos) << info.Out;
    const std::string letter = m_dir.File("letter.pdf");
    ASSERT_EQ(Run({ "--page", "Letter", m_input, letter }).ExitCode, 0);
    const ChildResult letterInfo = RunChild({ "pdfinfo", letter });
    EXPECT_NE(letterInfo.Out.find("(letter)"), std::string::npos) << letterInfo.Out;
    const ChildResult text = RunChild({ "pdftotext", "-layout", fine, "-" });
    for (const char* expected : { "step \xC2\xB5 test", "1ms/div", "0.1V/div", "dt=2ms", "f=500Hz" })
        EXPECT_NE(text.Out.find(expected), std::string::npos) << expected << " in\n" << text.Out;

    // The same page at either resolution: the ink covers the same area.
    const auto inkBox = [&](const std::string& pdf) {
        const std::string root = pdf + "-page";
        const ChildResult raster = RunChild({ "pdftoppm", "-gray", "-r", "50", "-singlefile", pdf, root });
        EXPECT_EQ(raster.ExitCode, 0) << raster.Err;
        const Raster page = ParsePgm(ReadBytes(root + ".pgm"));
        std::array<int, 4> box { page.Width, page.Height, -1, -1 };
        for (int y = 0; y < page.Height; ++y)
            for (int x = 0; x < page.Width; ++x)
                if (page.At(x, y) < 128) {
                    box = { std::min(box[0], x), std::min(box[1], y), std::max(box[2], x), std::max(box[3], y) };
                }
        return box;
    };
    const std::array<int, 4> a = inkBox(fine);
    const std::array<int, 4> b = inkBox(coarse);
    EXPECT_GT(a[2] - a[0], 100) << "the picture is several inches wide";
    for (size_t i = 0; i < 4; ++i)
        EXPECT_NEAR(a[i], b[i], 3) << i;
}

TEST_F(Export, PngIsTheExportSheetOnATransparentBackground)
{
    if (!ToolDraws)
        GTEST_SKIP() << "a build without Qt draws no pictures";
    const std::string with = m_dir.File("with.png");
    const std::string without = m_dir.File("without.png");
    ASSERT_EQ(Run({ "--mode", "dot", "--background", "transparent", "--cursors", "10,30", m_input, with }).ExitCode, 0);
    ASSERT_EQ(Run({ "--mode", "dot", "--background", "TRANSPARENT", m_input, without }).ExitCode, 0);
    const Raster alpha = Decode(with, true);
    ASSERT_EQ(alpha.Width, 396);
    ASSERT_EQ(alpha.Height, 321);
    EXPECT_EQ(alpha.At(0, 0), 0) << "nothing painted in the corner";
    // Sample 5 (value 200): a dot from (26, 74) to (30, 77).
    EXPECT_EQ(alpha.At(27, 75), 255);
    EXPECT_EQ(alpha.At(27, 72), 0);
    EXPECT_EQ(Decode(with).At(27, 75), 0) << "drawn in black";
    // The first cross's marker above the trace area at x = 42 + 6.
    EXPECT_EQ(alpha.At(48, 16), 255);
    EXPECT_EQ(Decode(without, true).At(48, 16), 0) << "no marker without crosses";
}

// By default the picture lies on white, so its black texts show on a dark
// page too; --scale draws each unit as N x N pixels.
TEST_F(Export, PngScaleAndBackground)
{
    if (!ToolDraws)
        GTEST_SKIP() << "a build without Qt draws no pictures";
    struct Case {
        std::vector<std::string> Options;
        int Scale;
    };
    const Case cases[] = { { {}, 1 }, { { "--scale", "2" }, 2 }, { { "--scale", "8", "--background", "white" }, 8 } };
    for (const Case& c : cases) {
        const std::string out = m_dir.File("scaled.png");
        std::vector<std::string> args { "--mode", "dot" };
        args.insert(args.end(), c.Options.begin(), c.Options.end());
        args.insert(args.end(), { m_input, out });
        ASSERT_EQ(Run(args).ExitCode, 0) << c.Scale;
        const Raster grey = Decode(out);
        const Raster alpha = Decode(out, true);
        ASSERT_EQ(grey.Width, 396 * c.Scale);
        ASSERT_EQ(grey.Height, 321 * c.Scale);
        const int n = c.Scale;
        EXPECT_EQ(alpha.At(0, 0), 255) << n;
        EXPECT_EQ(grey.At(0, 0), 255) << n << ": white ground";
        // The dot of sample 5 covers units (26..29, 74..76): every pixel of
        // unit (27, 75) is black, the unit above it white.
        for (int dy = 0; dy < n; ++dy)
            for (int dx = 0; dx < n; ++dx) {
                EXPECT_EQ(grey.At(27 * n + dx, 75 * n + dy), 0) << n;
                EXPECT_EQ(grey.At(27 * n + dx, 72 * n + dy), 255) << n;
            }
    }
    for (const char* scale : { "0", "9", "2x" })
        EXPECT_EQ(Run({ "--scale", scale, m_input, m_dir.File("bad.png") }).ExitCode, 2) << scale;
    EXPECT_EQ(Run({ "--background", "black", m_input, m_dir.File("bad.png") }).ExitCode, 2);
}

TEST_F(Export, SvgIsWellFormedXmlOfTheSheet)
{
    if (!ToolDraws)
        GTEST_SKIP() << "a build without Qt draws no pictures";
    const std::string out = m_dir.File("sheet.svg");
    ASSERT_EQ(Run({ m_input, out }).ExitCode, 0);
    const ChildResult lint = RunChild({ "xmllint", "--noout", out });
    EXPECT_EQ(lint.ExitCode, 0) << lint.Err;
    const std::string text = ReadBytes(out);
    EXPECT_NE(text.find("viewBox=\"0 0 396 321\""), std::string::npos);
    EXPECT_NE(text.find("step \xC2\xB5 test"), std::string::npos) << "texts in UTF-8";
    EXPECT_NE(text.find("0.1V/div"), std::string::npos);

    // Control characters in a text, which XML cannot hold, are replaced.
    WaveformText controls = StepWaveform();
    controls.Description = std::string("bell\x07 start\x01 nul") + '\0' + "end\x1F";
    const std::string replaced = m_dir.File("controls.svg");
    const ChildResult written = Run({ Write("controls.zop", controls), replaced });
    ASSERT_EQ(written.ExitCode, 0) << written.Err;
    const ChildResult strict = RunChild({ "xmllint", "--noout", replaced });
    EXPECT_EQ(strict.ExitCode, 0) << strict.Err;
    EXPECT_NE(ReadBytes(replaced).find("bell\xEF\xBF\xBD start\xEF\xBF\xBD nul"), std::string::npos);
}

// The picture's title is the description (as XML reads it), and its ground
// is white unless asked otherwise.
TEST_F(Export, SvgTitleIsTheDescription)
{
    if (!ToolDraws)
        GTEST_SKIP() << "a build without Qt draws no pictures";
    WaveformText waveform = StepWaveform();
    waveform.Description = "R&D <probe> \xB5 \"A\"";
    const std::string input = Write("titled.zop", waveform);
    for (const char* background : { "white", "transparent" }) {
        const std::string out = m_dir.File(std::string(background) + ".svg");
        ASSERT_EQ(Run({ "--background", background, input, out }).ExitCode, 0);
        const ChildResult title
            = RunChild({ "xmllint", "--xpath", "string(/*[local-name()='svg']/*[local-name()='title'])", out });
        ASSERT_EQ(title.ExitCode, 0) << title.Err;
        EXPECT_EQ(title.Out, "R&D <probe> \xC2\xB5 \"A\"\n");
        const ChildResult ground = RunChild({ "xmllint", "--xpath",
            "count(//*[local-name()='g'][@fill='#ffffff']/*[local-name()='rect'][@width='396'][@height='321'])", out });
        EXPECT_EQ(ground.Out, std::string(background) == "white" ? "1\n" : "0\n") << background;
    }
}

TEST_F(Export, CsvHasOneRowPerSampleWithTimeAndVolts)
{
    WaveformText waveform = StepWaveform();
    waveform.TimeLabel = "0.1ms/div"; // 10 us per sample
    waveform.Samples[3] = 255;
    waveform.Samples[4] = 0;
    waveform.Samples[5] = 127;
    const std::string input = Write("csv.zop", waveform);
    const std::string out = m_dir.File("samples.csv");
    const std::string x10 = m_dir.File("x10.csv");
    ASSERT_EQ(Run({ input, out }).ExitCode, 0);
    ASSERT_EQ(Run({ "--probe", "x10", input, x10 }).ExitCode, 0);

    const auto rows = [](const std::string& text) {
        std::vector<std::vector<std::string>> table;
        for (std::string line : Lines(text)) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            std::vector<std::string> cells;
            std::istringstream in(line);
            for (std::string cell; std::getline(in, cell, ',');)
                cells.push_back(cell);
            if (!line.empty() && line.back() == ',')
                cells.emplace_back();
            table.push_back(cells);
        }
        return table;
    };
    const auto table = rows(ReadBytes(out));
    ASSERT_EQ(table.size(), 97u);
    EXPECT_EQ(table[0], (std::vector<std::string> { "index", "time_s", "raw", "volts" }));
    for (size_t i = 1; i < table.size(); ++i) {
        const auto& row = table[i];
        ASSERT_EQ(row.size(), 4u) << i;
        const int index = static_cast<int>(i) - 1;
        EXPECT_EQ(std::stoi(row[0]), index);
        EXPECT_NEAR(std::stod(row[1]), index * 10e-6, 1e-12);
        const int raw = std::stoi(row[2]);
        EXPECT_EQ(raw, waveform.Samples[static_cast<size_t>(index)]);
        if (raw == 0 || raw == 255)
            EXPECT_EQ(row[3], "") << "off-scale sample " << index;
        else
            EXPECT_NEAR(std::stod(row[3]), (raw - 127) * 0.0031496, 1e-9) << index;
    }
    EXPECT_EQ(table[6][3], "0") << "the zero reference is 0 V";
    const auto tenfold = rows(ReadBytes(x10));
    EXPECT_NEAR(std::stod(tenfold[1][3]), (100 - 127) * 0.031496, 1e-9);
}

TEST_F(Export, RefusedInputAndUnwritableOutputFailWithOne)
{
    const std::string out = m_dir.File("never.png");
    WaveformText bad = StepWaveform();
    bad.Samples[7] = 256;
    const ChildResult refused = Run({ Write("bad.zop", bad), out });
    EXPECT_EQ(refused.ExitCode, 1);
    EXPECT_NE(refused.Err.find("Incorrect file type"), std::string::npos) << refused.Err;
    EXPECT_FALSE(fs::exists(out));

    for (const char* name : { "no/such/folder/out.wmf", "no/such/folder/out.pdf", "no/such/folder/out.bmp" }) {
        if (!ToolDraws && !std::string(name).ends_with(".wmf"))
            continue;
        const ChildResult unwritable = Run({ m_input, m_dir.File(name) });
        EXPECT_EQ(unwritable.ExitCode, 1) << name;
        EXPECT_NE(unwritable.Err.find("Cannot create file"), std::string::npos) << unwritable.Err;
    }

    // An existing file stays as it was when the new one cannot be written.
    const std::string existing = m_dir.File("keep.csv");
    WriteBytes(existing, "precious");
    EXPECT_EQ(Run({ m_dir.File("missing.zop"), existing }).ExitCode, 1);
    EXPECT_EQ(ReadBytes(existing), "precious");
}

TEST_F(Export, BuildWithoutQtRefusesThePicturesItCannotDraw)
{
    if (ToolDraws)
        GTEST_SKIP() << "this build draws every format";
    for (const char* name : { "o.bmp", "o.pdf", "o.png", "o.svg" }) {
        const ChildResult result = Run({ m_input, m_dir.File(name) });
        EXPECT_EQ(result.ExitCode, 1) << name;
        EXPECT_NE(result.Err.find("needs a build with Qt"), std::string::npos) << result.Err;
        EXPECT_FALSE(fs::exists(m_dir.File(name)));
    }
}

TEST_F(Export, UsageErrorsExitWithTwo)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>> {
             {},
             { m_input },
             { m_input, m_dir.File("out.jpg") },
             { m_input, m_dir.File("no-extension") },
             { "--mode", "zigzag", m_input, m_dir.File("o.png") },
             { "--dpi", "10", m_input, m_dir.File("o.pdf") },
             { "--dpi", "many", m_input, m_dir.File("o.pdf") },
             { "--page", "legal", m_input, m_dir.File("o.pdf") },
             { "--probe", "x2", m_input, m_dir.File("o.csv") },
             { m_input, m_dir.File("a.csv"), m_dir.File("b.csv") },
         }) {
        const ChildResult result = Run(args);
        EXPECT_EQ(result.ExitCode, 2) << testing::PrintToString(args);
        EXPECT_NE(result.Err, "");
    }
    EXPECT_EQ(Run({ "--help" }).ExitCode, 0);
}

} // namespace
} // namespace zop::test
