// The per-user application profile (the registry profile of the Windows program), kept in an ini file by QSettings.
#pragma once

#include <QSettings>
#include <QString>

namespace tovra::shell {

inline constexpr const char kProfileOrganisation[] = "Local AppWizard-Generated Applications";
inline constexpr const char kProfileApplication[] = "Tovra Editor";

class Profile {
public:
    // Opens ~/.config/Local AppWizard-Generated Applications/Tovra Editor.ini (or where QSettings::setPath says).
    Profile();
    Profile(const Profile&) = delete;
    Profile& operator=(const Profile&) = delete;

    // defaultValue when the key is missing or does not hold a whole number.
    int GetProfileInt(const QString& section, const QString& key, int defaultValue) const;
    void WriteProfileInt(const QString& section, const QString& key, int value);
    // defaultValue when the key is missing.
    QString GetProfileString(const QString& section, const QString& key, const QString& defaultValue) const;
    void WriteProfileString(const QString& section, const QString& key, const QString& value);

    QSettings& Settings();

private:
    QSettings settings_;
};

}  // namespace tovra::shell
