// Hands a file or address to the desktop (xdg-open under the hood).
#include "platform/shell/open_default.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace tovra::shell {

bool OpenWithDefaultHandler(const QString& pathOrUrl) {
    if (pathOrUrl.isEmpty()) return false;
    // "/home/x/a b.htm" must not be parsed as a URL; only a real scheme makes it one.
    const QUrl asUrl(pathOrUrl, QUrl::StrictMode);
    const bool isUrl = !pathOrUrl.startsWith(QLatin1Char('/')) && asUrl.isValid() && asUrl.scheme().size() > 1;
    const QUrl url = isUrl ? asUrl : QUrl::fromLocalFile(QFileInfo(pathOrUrl).absoluteFilePath());
    return QDesktopServices::openUrl(url);
}

}  // namespace tovra::shell
