#pragma once
// Today's date in the system's short date form and the time in its long time
// form (without the time zone, which would not fit the time field).
#include <QDateTime>
#include <QLocale>
#include <functional>

#include "document/DocumentCommands.h"

namespace zop {

class QtDateTimeSource final : public DateTimeSource {
public:
    explicit QtDateTimeSource(
        QLocale locale = QLocale::system(), std::function<QDateTime()> now = &QDateTime::currentDateTime);

    std::string CurrentDate() override;
    std::string CurrentTime() override;

    // The locale's long time format with its time-zone part removed.
    static QString LongTimeFormat(const QLocale& locale);

private:
    QLocale m_locale;
    std::function<QDateTime()> m_now;
};

} // namespace zop
