#include "platform/slides/web_export.h"

#include <cstdio>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>

namespace tovra::slides {

namespace {

QString FindIgnoringCase(const QDir& dir, const QString& name) {
    for (const QString& entry : dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0) return dir.filePath(entry);
    }
    return dir.filePath(name);
}

QString Resource(const char* name) {
    QFile file(QStringLiteral(":/tovra/slides/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

QString HtmlEscaped(const std::string& utf8) {
    QString text = QString::fromStdString(utf8);
    // Line breaks of a title read as spaces in a document title.
    text.replace(QRegularExpression(QStringLiteral("[\\r\\n\\v\\t]+")), QStringLiteral(" "));
    return text.trimmed().toHtmlEscaped();
}

// A JavaScript string literal safe inside a <script> element.
QString ScriptString(const std::string& utf8) {
    QString out = QStringLiteral("'");
    for (QChar c : QString::fromStdString(utf8)) {
        const ushort u = c.unicode();
        if (u < 0x20 || u == '\'' || u == '"' || u == '\\' || u == '<' || u == '>' || u == '&' || u > 0x7e) {
            out += QStringLiteral("\\u%1").arg(u, 4, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    return out + QLatin1Char('\'');
}

bool WriteText(const QString& path, const QString& text) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(text.toUtf8());
    return file.commit();
}

}  // namespace

ExportPaths ResolveExportPaths(const QString& fileName) {
    const QFileInfo asked(fileName);
    const QDir dir = asked.absoluteDir();
    ExportPaths paths;
    paths.mainFile = FindIgnoringCase(dir, asked.fileName());
    paths.folder = FindIgnoringCase(dir, asked.completeBaseName() + QStringLiteral(".files"));
    return paths;
}

std::string SlidePageName(int number) {
    char name[32];
    std::snprintf(name, sizeof name, "slide%04d.htm", number);
    return name;
}

std::string SlidePictureName(int number) {
    char name[32];
    std::snprintf(name, sizeof name, "slide%04d.png", number);
    return name;
}

bool WriteWebExport(const ExportPaths& paths, const std::string& deckName, const std::vector<ExportSlide>& slides) {
    QDir folder(paths.folder);
    if (!folder.exists() && !QDir().mkpath(paths.folder)) return false;
    const QString folderName = QFileInfo(paths.folder).fileName();
    const QString deck = HtmlEscaped(deckName);

    QString main = Resource("main.htm");
    main.replace(QStringLiteral("{{DECK}}"), deck).replace(QStringLiteral("{{FOLDER}}"), folderName.toHtmlEscaped());
    if (!WriteText(paths.mainFile, main)) return false;

    QStringList hidden;
    for (size_t i = 0; i < slides.size(); ++i) {
        if (slides[i].hidden) hidden << QString::number(i + 1);
    }
    QString viewer = Resource("fullscreen.htm");
    viewer.replace(QStringLiteral("{{DECK}}"), deck)
        .replace(QStringLiteral("{{HIDDEN}}"), QLatin1Char('[') + hidden.join(QLatin1Char(',')) + QLatin1Char(']'))
        .replace(QStringLiteral("{{DECK_JS}}"), ScriptString(deckName))
        .replace(QStringLiteral("{{COUNT}}"), QString::number(slides.size()));
    if (!WriteText(folder.filePath(QStringLiteral("fullscreen.htm")), viewer)) return false;
    if (!WriteText(folder.filePath(QStringLiteral("script.js")), Resource("script.js"))) return false;

    const QString pageTemplate = Resource("slide.htm");
    for (size_t i = 0; i < slides.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        QString page = pageTemplate;
        page.replace(QStringLiteral("{{TITLE}}"), HtmlEscaped(slides[i].title))
            .replace(QStringLiteral("{{NUMBER}}"), QString::number(number))
            .replace(QStringLiteral("{{WIDTH}}"), QString::number(slides[i].pictureWidth))
            .replace(QStringLiteral("{{HEIGHT}}"), QString::number(slides[i].pictureHeight))
            .replace(QStringLiteral("{{PICTURE}}"), QString::fromStdString(SlidePictureName(number)));
        if (!WriteText(folder.filePath(QString::fromStdString(SlidePageName(number))), page)) return false;
    }
    // Slides of an earlier, longer export of this folder would linger as unreachable pages.
    static const QRegularExpression kSlideFile(QStringLiteral("^slide(\\d{4,})\\.(htm|png)$"));
    for (const QString& entry : folder.entryList(QDir::Files)) {
        const QRegularExpressionMatch m = kSlideFile.match(entry);
        if (m.hasMatch() && m.captured(1).toInt() > static_cast<int>(slides.size())) folder.remove(entry);
    }
    return true;
}

}  // namespace tovra::slides
