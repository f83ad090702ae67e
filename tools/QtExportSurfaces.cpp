// The export surfaces on Qt: the window's bitmap sheet, printed page and
// sheet pictures, drawn without a display and without widgets.
#include <QGuiApplication>
#include <QPageSize>
#include <QPdfWriter>
#include <optional>
#include <new>
#include <sys/mman.h>

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

// The window system's drawing, its fonts and its PDF writer do not survive a
// failed allocation: some end the program, some crash on the null pointer.
// Before any of it runs, the room it takes at most (the PDF writer about
// 45 MB, the rest a few) must be free, or the command reports the memory
// as exhausted instead. A probe costs nothing: the room is only reserved
// in the address space, never touched, and given back at once.
constexpr size_t DrawingRoom = size_t { 64 } << 20;

void RequireRoomForDrawing()
{
    void* room = mmap(nullptr, DrawingRoom, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (room == MAP_FAILED)
        throw std::bad_alloc();
    munmap(room, DrawingRoom);
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
        RequireRoomForDrawing();
        Application();
        m_graticule = MakeGraticulePicture();
        m_screen = m_graticule.copy();
        m_picture.emplace(m_screen, m_graticule);
    }

    TracePicture* ScreenPicture() override { return &*m_picture; }

    void WriteBitmap(const std::string& path, const SheetContent& sheet) override
    {
        RequireRoomForDrawing();
        // The window's Save As: the sheet with the screen picture as it stands.
        QtPictureFiles files([&] { return sheet; }, [&] { return m_screen; });
        files.WriteBitmap(path);
    }

    void WritePdf(const std::string& path, const SheetContent& sheet, int dpi, PdfPage page) override
    {
        RequireRoomForDrawing();
        // The page as the window prints it to a PDF file: the same default
        // margins, the origin at the printable area's corner.
        QPageLayout layout = QPdfWriter(QString()).pageLayout();
        layout.setPageSize(QPageSize(page == PdfPage::Letter ? QPageSize::Letter : QPageSize::A4));
        WritePdfFile(path, sheet, layout, dpi);
    }

    void WritePng(const std::string& path, const SheetContent& sheet, const PictureOptions& options) override
    {
        RequireRoomForDrawing();
        WritePictureFile(path, ToVector(ExportPng(sheet, options)));
    }

    void WriteSvg(const std::string& path, const SheetContent& sheet, const PictureOptions& options) override
    {
        RequireRoomForDrawing();
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
