// Decks made for a test: a flat presentation (.fodp) written here with the slides asked for,
// then converted by the office suite to the kind the test needs (.ppt, .pptx, .ppsx, .odp).
#pragma once

#include <QProcess>
#include <QString>
#include <filesystem>
#include <string>
#include <vector>

namespace tovra::testing_support {

struct MadeSlide {
    QString title;
    bool hidden = false;  // passed over by a slide show
};

// The flat presentation of slides, each with a title placeholder, on pages widthCm × heightCm.
inline QString FlatPresentation(const std::vector<MadeSlide>& slides, double widthCm = 28, double heightCm = 21) {
    QString pages;
    for (size_t i = 0; i < slides.size(); ++i) {
        pages += QStringLiteral(
                     "<draw:page draw:name=\"p%2\" draw:style-name=\"%3\" draw:master-page-name=\"Default\" "
                     "presentation:presentation-page-layout-name=\"AL1T0\">"
                     "<draw:frame presentation:style-name=\"pr1\" draw:layer=\"layout\" presentation:class=\"title\" "
                     "svg:width=\"20cm\" svg:height=\"3cm\" svg:x=\"2cm\" svg:y=\"1cm\">"
                     "<draw:text-box><text:p>%1</text:p></draw:text-box></draw:frame></draw:page>")
                     .arg(slides[i].title.toHtmlEscaped())
                     .arg(i + 1)
                     .arg(slides[i].hidden ? QStringLiteral("dpHidden") : QStringLiteral("dpShown"));
    }
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
               "<office:document xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
               "xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\" "
               "xmlns:presentation=\"urn:oasis:names:tc:opendocument:xmlns:presentation:1.0\" "
               "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" "
               "xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\" "
               "xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\" "
               "xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\" "
               "office:version=\"1.2\" office:mimetype=\"application/vnd.oasis.opendocument.presentation\">"
               // A title frame is a title placeholder only with a presentation style of its own, on a
               // page whose layout has a title.
               "<office:styles><style:presentation-page-layout style:name=\"AL1T0\"><presentation:placeholder "
               "presentation:object=\"title\" svg:x=\"2cm\" svg:y=\"1cm\" svg:width=\"20cm\" svg:height=\"3cm\"/>"
               "</style:presentation-page-layout></office:styles>"
               "<office:automatic-styles><style:style style:name=\"pr1\" style:family=\"presentation\"/>"
               "<style:style style:name=\"dpShown\" style:family=\"drawing-page\"/>"
               "<style:style style:name=\"dpHidden\" style:family=\"drawing-page\">"
               "<style:drawing-page-properties presentation:visibility=\"hidden\"/></style:style>"
               "<style:page-layout style:name=\"PM1\"><style:page-layout-properties fo:page-width=\"%2cm\" "
               "fo:page-height=\"%3cm\"/></style:page-layout></office:automatic-styles>"
               "<office:master-styles><style:master-page style:name=\"Default\" style:page-layout-name=\"PM1\"/>"
               "</office:master-styles>"
               "<office:body><office:presentation>%1</office:presentation></office:body></office:document>")
        .arg(pages)
        .arg(widthCm)
        .arg(heightCm);
}

// Converts source into outDir as `format` (the extension: "ppt", "pptx", "odp", ...) with the
// office suite, on a private profile; the converted file, or an empty path with *error set.
inline std::filesystem::path ConvertWithOffice(const std::filesystem::path& source, const QString& format,
                                               const std::filesystem::path& outDir,
                                               const std::filesystem::path& profile, std::string* error) {
    QProcess office;
    office.start(QStringLiteral("soffice"),
                 {QStringLiteral("-env:UserInstallation=file://") + QString::fromStdString(profile.string()),
                  QStringLiteral("--headless"), QStringLiteral("--convert-to"), format, QStringLiteral("--outdir"),
                  QString::fromStdString(outDir.string()), QString::fromStdString(source.string())});
    const bool finished = office.waitForFinished(180000);
    const std::filesystem::path made = outDir / (source.stem().string() + "." + format.toStdString());
    if (finished && std::filesystem::is_regular_file(made)) return made;
    if (error) *error = (finished ? QString() : QStringLiteral("timed out: ")).toStdString() +
                        office.readAllStandardError().toStdString();
    return {};
}

}  // namespace tovra::testing_support
