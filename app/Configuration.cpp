#include "app/Configuration.h"

#include "app/Cp1252Qt.h"

namespace zop {

Configuration::Configuration()
    : m_settings(std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "Tracelet ZOP5"))
{
}

TraceMode Configuration::ReadViewMode() const
{
    if (m_settings->status() != QSettings::NoError)
        return TraceMode::Smooth;
    const QVariant value = m_settings->value("Configuration/ViewMode", "Error");
    // A list or other non-text value (possible in a hand-edited file) is no mode.
    if (value.typeId() != QMetaType::QString)
        return TraceMode::Smooth;
    return ParseViewMode(FromQString(value.toString()));
}

void Configuration::WriteViewMode(TraceMode mode)
{
    m_settings->setValue("Configuration/ViewMode", ToQString(ViewModeName(mode)));
    m_settings->sync();
}

QString Configuration::FilePath() const
{
    return m_settings->fileName();
}

} // namespace zop
