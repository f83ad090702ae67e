#pragma once
// The per-user configuration store: "$XDG_CONFIG_HOME/Tracelet ZOP5.ini".
// It holds the trace drawing mode (group "Configuration", value "ViewMode")
// and the serial device of each port (group "Ports", read by the serial
// library itself).
#include <QSettings>
#include <memory>

#include "document/FormState.h"

namespace zop {

class Configuration {
public:
    // Opens the store, creating it when it is missing.
    Configuration();

    // "Dot" or "Bar" in any letter case; anything else, a missing value or an
    // unreadable store gives Smooth.
    TraceMode ReadViewMode() const;
    // Writes "Dot", "Bar" or "Smooth" and flushes the store.
    void WriteViewMode(TraceMode mode);

    QString FilePath() const;

private:
    std::unique_ptr<QSettings> m_settings;
};

} // namespace zop
