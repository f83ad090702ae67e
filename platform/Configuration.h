#pragma once
// The per-user configuration store: "$XDG_CONFIG_HOME/Tracelet ZOP5.ini".
// It holds the trace drawing mode (group "Configuration", value "ViewMode")
// and the serial device of each port (group "Ports", read by the serial
// library itself). A store that is not a small regular file (a pipe, a
// device, a folder, a huge file) counts as absent and is never written.
#include <QSettings>
#include <memory>
#include <string>

#include "document/FormState.h"

namespace zop {

class Configuration {
public:
    // Opens the store; a write creates it when it is missing.
    Configuration();
    ~Configuration();
    Configuration(const Configuration&) = delete;
    Configuration& operator=(const Configuration&) = delete;

    // "Dot" or "Bar" in any letter case; anything else, a missing value or an
    // unreadable store gives Smooth.
    TraceMode ReadViewMode() const;
    // Writes "Dot", "Bar" or "Smooth" and flushes the store.
    void WriteViewMode(TraceMode mode);

    QString FilePath() const;

private:
    std::string m_path;
    std::unique_ptr<QSettings> m_settings; // none while the store counts as absent
};

} // namespace zop
