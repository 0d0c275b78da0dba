// The most-recently-used project list of the File menu, stored in the profile as MFC stores it.
#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>

namespace tovra::shell {

inline constexpr const char kRecentFileSection[] = "Recent File List";

class RecentFileList {
public:
    explicit RecentFileList(int size = 4);

    // Reads "Recent File List"/"File1".."FileN"; empty and repeated entries are skipped.
    void Load(const QSettings& settings);
    // Rewrites the section whole, so entries dropped since the last save disappear.
    void Save(QSettings& settings) const;

    // Puts the path on top (moving it if present) and keeps at most Size() entries.
    // Paths are compared exactly: Linux file systems tell case apart.
    void Add(const QString& absolutePath);
    // Out-of-range indexes are ignored.
    void Remove(int index);

    const QStringList& Entries() const;
    int Size() const;  // the most entries kept

    // Menu caption of entry index: "&1 name.lsn", '&' in the name doubled so it is not a mnemonic.
    static QString DisplayName(int index, const QString& path);

private:
    int size_;
    QStringList entries_;
};

}  // namespace tovra::shell
