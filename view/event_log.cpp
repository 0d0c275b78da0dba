// Appends "kind detail" lines to the file named by TOVRA_EVENT_LOG.
#include "view/event_log.h"

#include <QFile>
#include <QtGlobal>

namespace tovra {

void LogEvent(const QString& kind, const QString& detail) {
    static const QString path = qEnvironmentVariable("TOVRA_EVENT_LOG");
    if (path.isEmpty()) return;
    QFile file(path);
    if (!file.open(QIODevice::Append | QIODevice::Text)) return;
    file.write((kind + QLatin1Char(' ') + detail + QLatin1Char('\n')).toUtf8());
}

}  // namespace tovra
