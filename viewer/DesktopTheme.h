#pragma once
// Light or dark, as the desktop prefers: the desktop's colour-scheme setting
// (the settings portal on the session bus) when it answers, else what the
// platform's palette and GTK_THEME say. Also the program's own palettes.
#include <QObject>
#include <QDBusVariant>
#include <QPalette>

#include "viewer/PlotRenderer.h"

namespace zop::viewer {

// Dark when the palette's window colour is darker than its text, or when
// GTK_THEME names a dark variant ("Adwaita:dark").
Theme ThemeFromPalette(const QPalette& palette, const QString& gtkTheme);

// The palette of a theme for the Fusion style.
QPalette ThemePalette(Theme theme);

class DesktopTheme : public QObject {
    Q_OBJECT
public:
    // Guesses from `platformPalette` at once, then asks the desktop without
    // waiting and reports a different answer, and every later change.
    DesktopTheme(const QPalette& platformPalette, QObject* parent = nullptr);
    Theme Current() const { return m_theme; }

Q_SIGNALS:
    void Changed(zop::viewer::Theme theme);

private Q_SLOTS:
    void PortalSettingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    void Take(uint colourScheme);
    Theme m_theme;
};

} // namespace zop::viewer
