#include "platform/QtDateTimeSource.h"

#include "platform/Cp1252Qt.h"

namespace zop {

QtDateTimeSource::QtDateTimeSource(QLocale locale, std::function<QDateTime()> now)
    : m_locale(std::move(locale))
    , m_now(std::move(now))
{
}

std::string QtDateTimeSource::CurrentDate()
{
    return FromQString(m_locale.toString(m_now().date(), QLocale::ShortFormat));
}

std::string QtDateTimeSource::CurrentTime()
{
    return FromQString(m_locale.toString(m_now().time(), LongTimeFormat(m_locale)));
}

QString QtDateTimeSource::LongTimeFormat(const QLocale& locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (QChar c : format) {
        if (c == '\'')
            quoted = !quoted;
        if (!quoted && c == 't')
            continue; // the time zone
        result += c;
    }
    return result.simplified();
}

} // namespace zop
