// Recent-file list: ordering, storage under "Recent File List" and the menu captions.
#include "platform/shell/recent_files.h"

#include <QFileInfo>

#include <algorithm>

namespace tovra::shell {

namespace {
QString EntryKey(int oneBased) {
    return QString::fromLatin1(kRecentFileSection) + QStringLiteral("/File%1").arg(oneBased);
}
}  // namespace

RecentFileList::RecentFileList(int size) : size_(std::max(0, size)) {}

void RecentFileList::Load(const QSettings& settings) {
    entries_.clear();
    for (int i = 1; i <= size_; ++i) {
        const QString path = settings.value(EntryKey(i)).toString();
        if (path.isEmpty() || entries_.contains(path)) continue;
        entries_.append(path);
    }
}

void RecentFileList::Save(QSettings& settings) const {
    settings.remove(QString::fromLatin1(kRecentFileSection));
    for (int i = 0; i < entries_.size(); ++i) settings.setValue(EntryKey(i + 1), entries_[i]);
}

void RecentFileList::Add(const QString& absolutePath) {
    if (absolutePath.isEmpty() || size_ == 0) return;
    entries_.removeAll(absolutePath);
    entries_.prepend(absolutePath);
    while (entries_.size() > size_) entries_.removeLast();
}

void RecentFileList::Remove(int index) {
    if (index < 0 || index >= entries_.size()) return;
    entries_.removeAt(index);
}

const QStringList& RecentFileList::Entries() const { return entries_; }

int RecentFileList::Size() const { return size_; }

QString RecentFileList::DisplayName(int index, const QString& path) {
    QString name = QFileInfo(path).fileName();
    name.replace(QLatin1Char('&'), QStringLiteral("&&"));
    const int number = index + 1;
    // Mnemonics only exist for 1..9 and the 0 of 10, as in MFC's list.
    QString prefix;
    if (number < 10)
        prefix = QStringLiteral("&%1").arg(number);
    else if (number == 10)
        prefix = QStringLiteral("1&0");
    else
        prefix = QString::number(number);
    return prefix + QLatin1Char(' ') + name;
}

}  // namespace tovra::shell
