// Whatever another program puts on the clipboard under the waveform's format
// name: a block that is short, long, out of the tables' range or without its
// text ends is refused with one message and the shown waveform stays; a
// well-formed block whose texts hold markup is shown as those characters.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <gtest/gtest.h>
#include <random>

#include "output/WaveformBlock.h"
#include "tests/support/WindowUnderTest.h"

namespace zop {
namespace {

void PutOnClipboard(const std::vector<uint8_t>& bytes)
{
    auto* data = new QMimeData;
    data->setData(WaveformFormatName, QByteArray(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    QApplication::clipboard()->setMimeData(data);
}

std::vector<uint8_t> Block(const BlockContent& content)
{
    const WaveformBlock block = EncodeWaveformBlock(content);
    return { block.begin(), block.end() };
}

void SetWord(std::vector<uint8_t>& block, size_t word, int32_t value)
{
    for (size_t i = 0; i < 4; ++i)
        block[word * 4 + i] = static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i));
}

class ClipboardFaultTest : public testing::Test {
protected:
    ClipboardFaultTest()
    {
        good.Samples.fill(77);
        good.TimeIndex = 5;
        good.VoltIndex = 6;
        good.Description = "first";
    }

    test::WindowUnderTest window;
    test::ScriptedUserInterface& ui = window.Ui;
    TZop5Form& form = window.Form();
    BlockContent good;
};

TEST_F(ClipboardFaultTest, MalformedBlocksAreRefusedAndTheShownWaveformStays)
{
    PutOnClipboard(Block(good));
    form.Click(Cmd::PasteItem);
    ASSERT_TRUE(ui.Messages.empty()) << testing::PrintToString(ui.Texts());
    const SampleArray shown = form.Record().Samples;
    const QImage picture = form.Image1().copy();
    form.Flags().Modified = false;

    std::vector<std::vector<uint8_t>> hostile;
    hostile.push_back({});
    hostile.push_back(Block(good));
    hostile.back().resize(WaveformBlockSize - 1);
    for (auto [word, value] : { std::pair { 0, 256 }, { 95, -1 }, { 96, 0 }, { 96, 23 }, { 97, 13 }, { 97, INT32_MIN },
             { 98, 300 }, { 99, 5 }, { 100, 384 }, { 101, 256 }, { 102, -2 }, { 103, INT32_MAX } }) {
        std::vector<uint8_t> block = Block(good);
        SetWord(block, static_cast<size_t>(word), value);
        hostile.push_back(block);
    }
    {
        // Texts without their end words up to the end of the block.
        std::vector<uint8_t> block = Block(good);
        for (size_t word = BlockTextOffset / 4; word < WaveformBlockSize / 4; ++word)
            SetWord(block, word, 'A');
        hostile.push_back(block);
    }
    std::mt19937 random(11);
    for (int i = 0; i < 20; ++i) {
        std::vector<uint8_t> block(WaveformBlockSize + static_cast<size_t>(random() % 3) * 1000);
        for (uint8_t& byte : block)
            byte = static_cast<uint8_t>(random());
        hostile.push_back(block);
    }

    for (const std::vector<uint8_t>& block : hostile) {
        ui.Messages.clear();
        PutOnClipboard(block);
        form.Click(Cmd::PasteItem);
        ASSERT_EQ(ui.Texts(), std::vector<std::string> { "Incorrect Clipboard contents" }) << block.size();
        // The shown waveform counts as changed, so closing will ask.
        EXPECT_TRUE(form.Flags().Modified);
        form.Flags().Modified = false;
        EXPECT_EQ(form.Record().Samples, shown);
        EXPECT_EQ(form.DescriptionEdit()->text(), "first");
        EXPECT_EQ(form.Image1(), picture);
    }
}

TEST_F(ClipboardFaultTest, MarkupInAPastedBlockIsShownAsCharacters)
{
    good.Description = "<img src=\"http://x/y.png\">";
    good.Date = "<b>1</b>";
    good.Time = "&amp;";
    PutOnClipboard(Block(good));
    form.Click(Cmd::PasteItem);
    ASSERT_TRUE(ui.Messages.empty()) << testing::PrintToString(ui.Texts());
    EXPECT_EQ(form.DescriptionEdit()->text().toStdString(), good.Description);
    EXPECT_EQ(form.DateEdit()->text().toStdString(), good.Date);
    EXPECT_EQ(form.TimeEdit()->text().toStdString(), good.Time);
}

} // namespace
} // namespace zop
