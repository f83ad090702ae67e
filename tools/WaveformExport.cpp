#include "tools/WaveformExport.h"

#include <cstdio>

#include "document/SafeFile.h"
#include "output/ReportSheet.h"
#include "output/WmfCanvas.h"
#include "tools/CommandLineWindow.h"
#include "tools/MeasurementLine.h"
#include "tools/SigrokSession.h"
#include "tools/WaveformJson.h"
#include "waveform/Cp1252.h"
#include "waveform/ScaleTables.h"

namespace zop {

namespace {

std::string Number(long double value)
{
    char text[48];
    std::snprintf(text, sizeof text, "%.10Lg", value);
    return text;
}

} // namespace

std::optional<ExportFormat> ExportFormatOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::nullopt;
    const std::string extension = UpperAscii(path.substr(dot));
    if (extension == ".BMP")
        return ExportFormat::Bitmap;
    if (extension == ".WMF")
        return ExportFormat::Metafile;
    if (extension == ".PDF")
        return ExportFormat::Pdf;
    if (extension == ".PNG")
        return ExportFormat::Png;
    if (extension == ".SVG")
        return ExportFormat::Svg;
    if (extension == ".CSV")
        return ExportFormat::Csv;
    if (extension == ".JSON")
        return ExportFormat::Json;
    if (extension == ".SR")
        return ExportFormat::Sigrok;
    return std::nullopt;
}

bool NeedsSurfaces(ExportFormat format)
{
    return format != ExportFormat::Csv && format != ExportFormat::Metafile && format != ExportFormat::Json
        && format != ExportFormat::Sigrok;
}

std::string SampleTable(const WaveformRecord& record, int32_t probe)
{
    const TimeBaseRow& time = TimeRow(record.TimeIndex);
    const VoltScale scale = VoltsPerCount(record.VoltIndex, probe);
    const long double perUnit = scale.Prefix == "m" ? 1000.0L : 1.0L;
    std::string csv = "index,time_s,raw,volts\r\n";
    for (int i = 0; i < SampleCount; ++i) {
        const int32_t raw = record.Samples[static_cast<size_t>(i)];
        csv += std::to_string(i) + "," + Number(StepsToTime(i, record.TimeIndex) / time.PrefixDivisor) + ","
            + std::to_string(raw) + ",";
        if (raw != 0 && raw != 255)
            csv += Number(CountsToVolts(raw - record.ZeroRef, record.VoltIndex, probe) / perUnit);
        csv += "\r\n";
    }
    return csv;
}

std::vector<std::string> ExportWaveform(const ExportRequest& request, ExportSurfaces* surfaces)
{
    CommandLineWindow window(request.Mode, surfaces ? surfaces->ScreenPicture() : nullptr);
    if (!window.Open(request.Input))
        return window.Ui.Messages;
    if (request.Probe)
        window.SelectProbe(*request.Probe);
    if (request.Cursors)
        window.PlaceCursors(request.Cursors->First, request.Cursors->Second);

    const SheetContent sheet = SheetFromWindow(window.Model.Form(), window.Model.Record(), window.Model.Cursors());
    switch (request.Format) {
    case ExportFormat::Bitmap:
        surfaces->WriteBitmap(request.Output, sheet);
        break;
    case ExportFormat::Metafile:
        WritePictureFile(request.Output, ExportMetafile(sheet));
        break;
    case ExportFormat::Pdf:
        surfaces->WritePdf(request.Output, sheet, request.Dpi, request.Page);
        break;
    case ExportFormat::Png:
        surfaces->WritePng(request.Output, sheet, request.Picture);
        break;
    case ExportFormat::Svg:
        surfaces->WriteSvg(request.Output, sheet, request.Picture);
        break;
    case ExportFormat::Csv: {
        const std::string csv = SampleTable(window.Model.Record(), window.Model.Form().ProbeMenuFactor());
        WritePictureFile(request.Output, std::vector<uint8_t>(csv.begin(), csv.end()));
        break;
    }
    case ExportFormat::Json:
        WriteFileReplacing(
            request.Output, WaveformJson(window.Model, request.Cursors ? CursorsShown::Yes : CursorsShown::No));
        break;
    case ExportFormat::Sigrok:
        WriteFileReplacing(request.Output, SigrokSessionBytes(*ShownInVolts(window.Model)));
        break;
    }
    return {};
}

} // namespace zop
