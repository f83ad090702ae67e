// The export surfaces on Qt: the window's bitmap sheet, printed page and
// sheet pictures, drawn without a display and without widgets.
#include <QGuiApplication>
#include <QPageSize>
#include <QPdfWriter>
#include <filesystem>
#include <optional>
#include <stdexcept>

#include "output/WmfCanvas.h"
#include "platform/Configuration.h"
#include "platform/ImageTracePicture.h"
#include "platform/PictureFormats.h"
#include "platform/QtDateTimeSource.h"
#include "tools/ExportSurfaces.h"

namespace zop {

namespace {

std::vector<uint8_t> ToVector(const QByteArray& bytes)
{
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// Fonts and painting need an application object; a command-line program has
// no display to show anything on.
QGuiApplication& Application()
{
    static int argc = 1;
    static char name[] = "zop5-tool";
    static char* argv[] = { name, nullptr };
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication application(argc, argv);
    return application;
}

class QtExportSurfaces final : public ExportSurfaces {
public:
    QtExportSurfaces()
    {
        Application();
        m_graticule = MakeGraticulePicture();
        m_screen = m_graticule.copy();
        m_picture.emplace(m_screen, m_graticule);
    }

    TracePicture* ScreenPicture() override { return &*m_picture; }

    void WriteBitmap(const std::string& path, const SheetContent& sheet) override
    {
        // The window's Save As: the sheet with the screen picture as it stands.
        QtPictureFiles files([&] { return sheet; }, [&] { return m_screen; });
        files.WriteBitmap(path);
    }

    void WritePdf(const std::string& path, const SheetContent& sheet, int dpi, PdfPage page) override
    {
        // Printed to a temporary file beside the target and renamed over it,
        // so a failed print leaves an existing file as it was.
        const std::filesystem::path target(path);
        const std::filesystem::path temporary
            = target.parent_path() / ("." + target.filename().string() + ".zop5-tool-part");
        {
            // The page as the window prints it to a PDF file: the same
            // default margins, the origin at the printable area's corner.
            QPdfWriter writer(QString::fromStdString(temporary.string()));
            writer.setResolution(dpi);
            writer.setPageSize(QPageSize(page == PdfPage::Letter ? QPageSize::Letter : QPageSize::A4));
            try {
                PaintPrintedPage(writer, sheet);
            } catch (const std::exception& error) {
                std::error_code ignored;
                std::filesystem::remove(temporary, ignored);
                throw std::runtime_error("Cannot create file " + path + " (" + error.what() + ")");
            }
        }
        std::error_code error;
        std::filesystem::rename(temporary, target, error);
        if (error) {
            const std::string reason = error.message();
            std::filesystem::remove(temporary, error);
            throw std::runtime_error("Cannot create file " + path + " (" + reason + ")");
        }
    }

    void WritePng(const std::string& path, const SheetContent& sheet, const PictureOptions& options) override
    {
        WritePictureFile(path, ToVector(ExportPng(sheet, options)));
    }

    void WriteSvg(const std::string& path, const SheetContent& sheet, const PictureOptions& options) override
    {
        WritePictureFile(path, ToVector(ExportSvg(sheet, options)));
    }

private:
    QImage m_graticule;
    QImage m_screen;
    std::optional<ImageTracePicture> m_picture;
};

} // namespace

TraceMode ConfiguredViewMode()
{
    return Configuration().ReadViewMode();
}

std::unique_ptr<DateTimeSource> MakeWindowClock()
{
    return std::make_unique<QtDateTimeSource>();
}

std::unique_ptr<ExportSurfaces> MakeExportSurfaces()
{
    return std::make_unique<QtExportSurfaces>();
}

} // namespace zop
