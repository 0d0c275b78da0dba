// Opens a file or address with the desktop's default handler (ShellExecute "open" of the Windows program).
#pragma once

#include <QString>

namespace tovra::shell {

// A plain path is opened as a local file; anything with a scheme ("http:", "file:") as that address.
bool OpenWithDefaultHandler(const QString& pathOrUrl);

}  // namespace tovra::shell
