// A build without Qt: the formats that need its drawing are refused.
#include <stdexcept>

#include "tools/ExportSurfaces.h"
#include "window/WindowModel.h"

namespace zop {

namespace {

class PlainExportSurfaces final : public ExportSurfaces {
public:
    TracePicture* ScreenPicture() override { return nullptr; }
    void WriteBitmap(const std::string&, const SheetContent&) override { Refuse("BMP"); }
    void WritePdf(const std::string&, const SheetContent&, int, PdfPage) override { Refuse("PDF"); }
    void WritePng(const std::string&, const SheetContent&, const PictureOptions&) override { Refuse("PNG"); }
    void WriteSvg(const std::string&, const SheetContent&, const PictureOptions&) override { Refuse("SVG"); }

private:
    [[noreturn]] static void Refuse(const char* format)
    {
        throw std::runtime_error(std::string(format) + " export needs a build with Qt (ZOP5_WITH_QT=ON)");
    }
};

} // namespace

TraceMode ConfiguredViewMode()
{
    return TraceMode::Smooth;
}

std::unique_ptr<DateTimeSource> MakeWindowClock()
{
    return std::make_unique<SystemDateTime>();
}

std::unique_ptr<ExportSurfaces> MakeExportSurfaces()
{
    return std::make_unique<PlainExportSurfaces>();
}

} // namespace zop
