#include "output/ReportSheet.h"

#include "display/TraceRenderer.h"
#include "output/WmfCanvas.h"

namespace zop {

namespace {

const Font ArialFont { "Arial", 8, false };
const Font SansSerifFont { "MS Sans Serif", 8, false };

void TextEndingAt(Canvas& canvas, int right, int top, std::string_view text)
{
    if (!text.empty()) {
        canvas.TextOut(right - canvas.TextWidth(text), top, text);
    }
}

void TextAt(Canvas& canvas, int left, int top, std::string_view text)
{
    if (!text.empty()) {
        canvas.TextOut(left, top, text);
    }
}

// Header texts at `y`, footers right-aligned: settings panel i ends at
// settingsRight + 64 i, cursor readout j (1..3) at readoutRight + 64 j.
struct TextLayout {
    int DescriptionX, DateX, TimeX, HeaderY;
    int SettingsRight, SettingsY;
    int ReadoutRight, ReadoutY;
    int Step;
};

void DrawTexts(Canvas& canvas, const SheetContent& sheet, const TextLayout& t)
{
    TextAt(canvas, t.DescriptionX, t.HeaderY, sheet.Description);
    TextAt(canvas, t.DateX, t.HeaderY, sheet.Date);
    TextAt(canvas, t.TimeX, t.HeaderY, sheet.Time);
    for (int i = 0; i < 6; ++i) {
        TextEndingAt(canvas, t.SettingsRight + t.Step * i, t.SettingsY, sheet.SettingsPanel[static_cast<size_t>(i)]);
    }
    for (int j = 1; j <= 3; ++j) {
        TextEndingAt(canvas, t.ReadoutRight + t.Step * j, t.ReadoutY, sheet.CursorReadouts[static_cast<size_t>(j - 1)]);
    }
}

} // namespace

SheetContent SheetFromWindow(const FormState& form, const WaveformRecord& record, const CursorPositions& cursors)
{
    SheetContent sheet;
    sheet.Description = form.Description.Text();
    sheet.Date = form.DateField.Text();
    sheet.Time = form.TimeField.Text();
    sheet.SettingsPanel = form.SettingsPanel;
    for (size_t j = 0; j < 3; ++j) {
        sheet.CursorReadouts[j] = form.StatusBar[VoltDifferencePanel + j];
    }
    sheet.Record = record;
    sheet.Mode = form.ViewMode;
    sheet.Cursors = cursors;
    return sheet;
}

void RenderExportPicture(Canvas& canvas, const SheetContent& sheet)
{
    const Pen pen = canvas.GetPen();
    const Brush brush = canvas.GetBrush();
    canvas.SetFont(ArialFont);
    DrawTexts(canvas, sheet, TextLayout { 8, 270, 342, 2, 70, 285, 198, 301, 64 });
    RenderTraceGeometry(canvas, TraceLayout::Sheet(6, 21, 1), sheet.Record, sheet.Mode, sheet.Cursors);
    canvas.SetPen(pen);
    canvas.SetBrush(brush);
}

std::vector<uint8_t> ExportMetafile(const SheetContent& sheet)
{
    WmfCanvas canvas(ExportWidth, ExportHeight);
    RenderExportPicture(canvas, sheet);
    return canvas.PlaceableBytes();
}

void DrawBitmapSheetTexts(Canvas& canvas, const SheetContent& sheet)
{
    canvas.SetFont(SansSerifFont);
    DrawTexts(canvas, sheet, TextLayout { 2, 264, 336, 2, 64, 280, 192, 301, 64 });
}

int PrintUnit(int printableWidth)
{
    const int unit = printableWidth / 768;
    return unit > 0 ? unit : 1;
}

void PrintPage(Canvas& canvas, int u, const SheetContent& sheet)
{
    canvas.SetFont(ArialFont);
    TextAt(canvas, 10 * u, 0, sheet.Description);
    TextAt(canvas, 274 * u, 0, sheet.Date);
    TextAt(canvas, 346 * u, 0, sheet.Time);
    const Pen pen = canvas.GetPen();
    const Brush brush = canvas.GetBrush();
    RenderTraceGeometry(canvas, TraceLayout::Sheet(10, 25, u), sheet.Record, sheet.Mode, sheet.Cursors);
    for (int j = 0; j < 6; ++j) {
        TextEndingAt(canvas, (64 * (j + 1) + 10) * u, 290 * u, sheet.SettingsPanel[static_cast<size_t>(j)]);
    }
    for (int k = 1; k <= 3; ++k) {
        TextEndingAt(canvas, (64 * (k + 3) + 10) * u, 305 * u, sheet.CursorReadouts[static_cast<size_t>(k - 1)]);
    }
    canvas.SetPen(pen);
    canvas.SetBrush(brush);
}

} // namespace zop
