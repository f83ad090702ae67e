#include "viewer/DesktopTheme.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>

namespace zop::viewer {

namespace {

const char* const PortalService = "org.freedesktop.portal.Desktop";
const char* const PortalPath = "/org/freedesktop/portal/desktop";
const char* const PortalSettings = "org.freedesktop.portal.Settings";

} // namespace

Theme ThemeFromPalette(const QPalette& palette, const QString& gtkTheme)
{
    if (gtkTheme.endsWith(":dark", Qt::CaseInsensitive))
        return Theme::Dark;
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness() ? Theme::Dark
                                                                                                         : Theme::Light;
}

QPalette ThemePalette(Theme theme)
{
    if (theme == Theme::Light) {
        QPalette light(QColor(0xef, 0xef, 0xef));
        light.setColor(QPalette::Base, Qt::white);
        light.setColor(QPalette::AlternateBase, QColor(0xf5, 0xf5, 0xf5));
        light.setColor(QPalette::Highlight, QColor(0x30, 0x8c, 0xc6));
        light.setColor(QPalette::HighlightedText, Qt::white);
        return light;
    }
    QPalette dark;
    const QColor window(0x2b, 0x2d, 0x30), base(0x1e, 0x1f, 0x22), text(0xe6, 0xe6, 0xe6);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, text);
    dark.setColor(QPalette::Base, base);
    dark.setColor(QPalette::AlternateBase, QColor(0x26, 0x28, 0x2b));
    dark.setColor(QPalette::ToolTipBase, window);
    dark.setColor(QPalette::ToolTipText, text);
    dark.setColor(QPalette::PlaceholderText, QColor(0x8a, 0x8d, 0x93));
    dark.setColor(QPalette::Text, text);
    dark.setColor(QPalette::Button, QColor(0x35, 0x37, 0x3b));
    dark.setColor(QPalette::ButtonText, text);
    dark.setColor(QPalette::BrightText, Qt::white);
    dark.setColor(QPalette::Light, QColor(0x45, 0x47, 0x4b));
    dark.setColor(QPalette::Midlight, QColor(0x3c, 0x3e, 0x42));
    dark.setColor(QPalette::Mid, QColor(0x25, 0x26, 0x29));
    dark.setColor(QPalette::Dark, QColor(0x18, 0x19, 0x1b));
    dark.setColor(QPalette::Shadow, Qt::black);
    dark.setColor(QPalette::Highlight, QColor(0x3d, 0x8e, 0xc9));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Link, QColor(0x56, 0xb4, 0xe9));
    for (QPalette::ColorRole role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        dark.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
    return dark;
}

DesktopTheme::DesktopTheme(const QPalette& platformPalette, QObject* parent)
    : QObject(parent)
    , m_theme(ThemeFromPalette(platformPalette, qEnvironmentVariable("GTK_THEME")))
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.connect(PortalService, PortalPath, PortalSettings, "SettingChanged", this,
        SLOT(PortalSettingChanged(QString, QString, QDBusVariant)));
    QDBusMessage read = QDBusMessage::createMethodCall(PortalService, PortalPath, PortalSettings, "Read");
    read << QString("org.freedesktop.appearance") << QString("color-scheme");
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(read, 2000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* call) {
        call->deleteLater();
        const QDBusPendingReply<QDBusVariant> reply = *call;
        if (reply.isError())
            return; // no portal: the palette's guess stands
        // Read answers a variant holding a variant.
        QVariant value = reply.value().variant();
        if (value.canConvert<QDBusVariant>())
            value = value.value<QDBusVariant>().variant();
        Take(value.toUInt());
    });
}

void DesktopTheme::PortalSettingChanged(const QString& group, const QString& key, const QDBusVariant& value)
{
    if (group == "org.freedesktop.appearance" && key == "color-scheme")
        Take(value.variant().toUInt());
}

void DesktopTheme::Take(uint colourScheme)
{
    // 1: prefers dark, 2: prefers light, 0: no preference (the palette's guess stands).
    if (colourScheme != 1 && colourScheme != 2)
        return;
    const Theme theme = colourScheme == 1 ? Theme::Dark : Theme::Light;
    if (theme == m_theme)
        return;
    m_theme = theme;
    Q_EMIT Changed(theme);
}

} // namespace zop::viewer
