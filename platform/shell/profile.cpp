// Per-user profile values by section and key, written through at once like the registry.
#include "platform/shell/profile.h"

namespace tovra::shell {

namespace {
QString FullKey(const QString& section, const QString& key) { return section + QLatin1Char('/') + key; }
}  // namespace

Profile::Profile()
    : settings_(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(kProfileOrganisation),
                QString::fromLatin1(kProfileApplication)) {}

int Profile::GetProfileInt(const QString& section, const QString& key, int defaultValue) const {
    const QVariant value = settings_.value(FullKey(section, key));
    if (!value.isValid()) return defaultValue;
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok);
    return ok ? number : defaultValue;
}

void Profile::WriteProfileInt(const QString& section, const QString& key, int value) {
    settings_.setValue(FullKey(section, key), value);
    settings_.sync();  // a crash later must not lose the choice
}

QString Profile::GetProfileString(const QString& section, const QString& key, const QString& defaultValue) const {
    const QVariant value = settings_.value(FullKey(section, key));
    return value.isValid() ? value.toString() : defaultValue;
}

void Profile::WriteProfileString(const QString& section, const QString& key, const QString& value) {
    settings_.setValue(FullKey(section, key), value);
    settings_.sync();
}

QSettings& Profile::Settings() { return settings_; }

}  // namespace tovra::shell
