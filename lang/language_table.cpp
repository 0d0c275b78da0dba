// The language table: every look-up reads the current language file again, so edits show at once.
#include "lang/language_table.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <cerrno>
#include <cstring>

#include "app/settings.h"
#include "platform/text/code_page.h"
#include "platform/text/ini_file.h"

namespace tovra::lang {

std::string LanguageFilePath() { return Program().programFolder + Program().languageFile; }

std::u16string Lookup(std::string_view section, std::string_view key) {
    return text::ReadIniString(LanguageFilePath(), text::FromCodePage(section), text::FromCodePage(key),
                               std::u16string(), kMaxTextUnits);
}

QString LookupText(std::string_view section, std::string_view key) {
    return QString::fromStdU16String(Lookup(section, key));
}

std::string Message(std::string_view key) { return text::Utf16ToUtf8(Lookup("ClassMSG", key)); }

QString MessageText(std::string_view key) { return QString::fromStdU16String(Lookup("ClassMSG", key)); }

QString MessageWith(std::string_view key, const QStringList& values, const QString& fallback) {
    QString text = MessageText(key);
    if (text.isEmpty()) text = fallback;
    if (!text.contains(QLatin1String("%1"))) text.replace(QLatin1String("%s"), QLatin1String("%1"));
    for (qsizetype i = 0; i < values.size(); ++i) text.replace(QStringLiteral("%%1").arg(i + 1), values[i]);
    return text;
}

QString MessageNumbers(std::string_view key, std::initializer_list<int> numbers) {
    QString text = MessageText(key);
    for (int n : numbers) {
        const qsizetype at = text.indexOf(QLatin1String("%d"));
        if (at < 0) break;
        text.replace(at, 2, QString::number(n));
    }
    return text;
}

QString SystemReason(int errorNumber) {
    const char* key = nullptr;
    switch (errorNumber) {
        case EACCES:
        case EPERM: key = "WhyDenied"; break;
        case ENOSPC:
        case EDQUOT: key = "WhyFull"; break;
        case EROFS: key = "WhyReadOnly"; break;
        case ENOENT:
        case ENOTDIR: key = "WhyMissing"; break;
        default: break;
    }
    const QString text = key ? MessageText(key) : QString();
    return text.isEmpty() ? QString::fromLocal8Bit(std::strerror(errorNumber)) : text;
}

void ApplyToolkitTranslation() {
    static QTranslator* translator = nullptr;
    if (translator) {
        QCoreApplication::removeTranslator(translator);
        delete translator;
        translator = nullptr;
    }
    // The language files say which language they are by their name: the Chinese one gets Qt's
    // Chinese texts, every other keeps Qt's own English.
    if (Program().languageFile.find("Chinese") == std::string::npos || !QCoreApplication::instance()) return;
    auto* loaded = new QTranslator;
    if (loaded->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(loaded);
        translator = loaded;
    } else {
        delete loaded;
    }
}

std::string LanguageFolder() {
    std::string file = Program().languageFile;
    const std::size_t dot = file.rfind('.');
    if (dot != std::string::npos && dot > 0) file.resize(dot);
    return Program().programFolder + "E" + file;
}

}  // namespace tovra::lang
