#pragma once
// The picture formats of zop5-tool export that need the window system's
// drawing (the bitmap sheet with the screen's trace picture, the printed page
// as PDF, the export sheet as PNG and SVG). Built with Qt they are drawn by
// the window's own output code; a build without Qt refuses them.
#include <memory>
#include <string>

#include "display/TracePicture.h"
#include "document/DocumentCommands.h"
#include "output/ReportSheet.h"

namespace zop {

// The paper of the printed page a PDF holds.
enum class PdfPage { A4, Letter };

class ExportSurfaces {
public:
    virtual ~ExportSurfaces() = default;
    // The screen's trace picture the window draws on; nullptr when this build
    // has none.
    virtual TracePicture* ScreenPicture() = 0;
    // Each writes `path` or throws with the text the window would show.
    virtual void WriteBitmap(const std::string& path, const SheetContent& sheet) = 0;
    virtual void WritePdf(const std::string& path, const SheetContent& sheet, int dpi, PdfPage page) = 0;
    virtual void WritePng(const std::string& path, const SheetContent& sheet, const PictureOptions& options) = 0;
    virtual void WriteSvg(const std::string& path, const SheetContent& sheet, const PictureOptions& options) = 0;
};

// The drawing mode the window starts with: the configured one where this
// build can read the window's configuration, else Smooth.
TraceMode ConfiguredViewMode();

// The clock the window dates a received waveform with: the window's own
// where this build has it, else the C library's formats of the user's locale.
std::unique_ptr<DateTimeSource> MakeWindowClock();

// The surfaces of this build.
std::unique_ptr<ExportSurfaces> MakeExportSurfaces();

} // namespace zop
