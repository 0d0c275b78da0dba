#include "course/scorm_manifest.h"

#include <cstdio>

namespace tovra {

namespace {

std::string XmlEscaped(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default:
                // Control characters other than tab and line breaks are not allowed in XML 1.0.
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') continue;
                out += c;
        }
    }
    return out;
}

}  // namespace

std::string ManifestHref(const std::string& path) {
    std::string out;
    for (const char c : path) {
        const unsigned char u = static_cast<unsigned char>(c);
        const bool plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || c == '/' ||
                           c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            out += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", u);
            out += escaped;
        }
    }
    return out;
}

std::string ScormManifest(const ScormPackage& package) {
    const std::string id = XmlEscaped(package.identifier);
    const std::string title = XmlEscaped(package.courseName);
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<manifest identifier=\"" + id + "\" version=\"1.0\"\n"
        "          xmlns=\"http://www.imsproject.org/xsd/imscp_rootv1p1p2\"\n"
        "          xmlns:adlcp=\"http://www.adlnet.org/xsd/adlcp_rootv1p2\"\n"
        "          xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"\n"
        "          xsi:schemaLocation=\"http://www.imsproject.org/xsd/imscp_rootv1p1p2 imscp_rootv1p1p2.xsd "
        "http://www.imsglobal.org/xsd/imsmd_rootv1p2p1 imsmd_rootv1p2p1.xsd "
        "http://www.adlnet.org/xsd/adlcp_rootv1p2 adlcp_rootv1p2.xsd\">\n"
        "  <metadata>\n"
        "    <schema>ADL SCORM</schema>\n"
        "    <schemaversion>1.2</schemaversion>\n"
        "  </metadata>\n"
        "  <organizations default=\"ORG-" + id + "\">\n"
        "    <organization identifier=\"ORG-" + id + "\">\n"
        "      <title>" + title + "</title>\n"
        "      <item identifier=\"ITEM-" + id + "\" identifierref=\"RES-" + id + "\" isvisible=\"true\">\n"
        "        <title>" + title + "</title>\n"
        "      </item>\n"
        "    </organization>\n"
        "  </organizations>\n"
        "  <resources>\n"
        "    <resource identifier=\"RES-" + id + "\" type=\"webcontent\" adlcp:scormtype=\"sco\" href=\"" +
        XmlEscaped(ManifestHref(package.startPage)) + "\">\n";
    for (const std::string& file : package.files) xml += "      <file href=\"" + XmlEscaped(ManifestHref(file)) + "\"/>\n";
    xml +=
        "    </resource>\n"
        "  </resources>\n"
        "</manifest>\n";
    return xml;
}

}  // namespace tovra
