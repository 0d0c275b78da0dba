// Tells the desktop that ".lsn" files are Tovra documents opened by this program (a MIME type and a .desktop entry).
#pragma once

#include <QByteArray>
#include <QString>

namespace tovra::shell {

inline constexpr const char kDocumentMimeType[] = "application/x-tovra.document";

// The shared-mime-info package file (freedesktop.org Shared MIME-info Database).
QByteArray MimePackageXml();

// The desktop entry (freedesktop.org Desktop Entry Specification); empty when the path cannot
// be written into an Exec key (it holds a line break or another control character).
QByteArray DesktopEntry(const QString& executablePath);

// Writes <dataHome>/mime/packages/tovra-document.xml and <dataHome>/applications/tovra-editor.desktop,
// each only when its content differs; after a write, starts update-mime-database and
// update-desktop-database in the background when they are installed (never waits for them).
// dataHome empty: $XDG_DATA_HOME, or ~/.local/share. False when a file could not be written.
// wroteSomething, when given, says whether any file was (re)written.
bool RegisterShellFileTypes(const QString& executablePath, const QString& dataHome = QString(),
                            bool* wroteSomething = nullptr);

// True when the prefix the program is installed in (empty: none) has the type and the desktop
// entry registered for the whole system (PREFIX/share/mime/packages, PREFIX/share/applications).
bool InstalledRegistration(const QString& installedPrefix);

}  // namespace tovra::shell
