#include "platform/Configuration.h"

#include "comm/DevicePath.h"
#include "comm/IniFile.h"
#include "platform/Cp1252Qt.h"

namespace zop {

Configuration::Configuration()
    : m_path(PortConfigPath())
{
    // QSettings reads the whole file as it opens it: a pipe would block the
    // start, a device would fill the memory. Such a store counts as absent.
    if (ConfigFileUsable(m_path))
        m_settings = std::make_unique<QSettings>(QString::fromStdString(m_path), QSettings::IniFormat);
}

Configuration::~Configuration() = default;

TraceMode Configuration::ReadViewMode() const
{
    if (!m_settings || m_settings->status() != QSettings::NoError)
        return TraceMode::Smooth;
    const QVariant value = m_settings->value("Configuration/ViewMode", "Error");
    // A list or other non-text value (possible in a hand-edited file) is no mode.
    if (value.typeId() != QMetaType::QString)
        return TraceMode::Smooth;
    return ParseViewMode(FromQString(value.toString()));
}

void Configuration::WriteViewMode(TraceMode mode)
{
    // Writing reads the file again first; what is no store by now is left
    // as it is, never written through.
    if (!m_settings || !ConfigFileUsable(m_path))
        return;
    m_settings->setValue("Configuration/ViewMode", ToQString(ViewModeName(mode)));
    m_settings->sync();
}

QString Configuration::FilePath() const
{
    return QString::fromStdString(m_path);
}

} // namespace zop
