// The manifest of a learning-platform package (SCORM 1.2: IMS Content Packaging 1.1.2 with the
// ADL extensions): the course as one organization with one item, played by one SCO.
#pragma once

#include <string>
#include <vector>

namespace tovra {

struct ScormPackage {
    std::string identifier;          // of the manifest; letters, digits, "-" and "_" only
    std::string courseName;          // UTF-8, shown by the platform
    std::string startPage;           // the SCO's href, "/"-separated, relative to the package
    std::vector<std::string> files;  // every file of the package the course plays from
};

// The imsmanifest.xml text, UTF-8, every text and attribute XML-escaped.
std::string ScormManifest(const ScormPackage& package);

// href and file names as a manifest holds them: a URI reference, letters outside ASCII, spaces
// and reserved characters percent-encoded as UTF-8 bytes, "/" kept.
std::string ManifestHref(const std::string& path);

}  // namespace tovra
