// The learning-platform manifest as an XML reader sees it: SCORM 1.2's namespaces, one
// organization and item, one SCO resource listing the files, and names kept whole.
#include "course/scorm_manifest.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/shell_output.h"
#include "tests/support/temp_dir.h"

namespace tovra {
namespace {

using testing::TempDir;
using testing_support::Shell;

TEST(ScormManifest, IsWellFormedScorm12WithEveryNameWhole) {
    ScormPackage package;
    package.identifier = "tovra-course-1";
    package.courseName = "光学 & \"Größe\" <1> 'a'\x01";
    package.startPage = "web.htm";
    package.files = {"web.htm", "web.files/课程 1.html", "web.files/a&b#c?.js"};
    TempDir dir;
    std::ofstream(dir / "imsmanifest.xml", std::ios::binary) << ScormManifest(package);
    // Python's parser reads it back, with the namespaces resolved.
    const std::string script =
        "import sys, xml.etree.ElementTree as E, urllib.parse as U\n"
        "cp = '{http://www.imsproject.org/xsd/imscp_rootv1p1p2}'\n"
        "adl = '{http://www.adlnet.org/xsd/adlcp_rootv1p2}'\n"
        "m = E.parse(sys.argv[1]).getroot()\n"
        "print(m.tag == cp + 'manifest', m.get('identifier'))\n"
        "print(m.find(cp + 'metadata/' + cp + 'schema').text, m.find(cp + 'metadata/' + cp + 'schemaversion').text)\n"
        "orgs = m.find(cp + 'organizations'); o = orgs.findall(cp + 'organization')\n"
        "print(len(o), orgs.get('default') == o[0].get('identifier'), o[0].find(cp + 'title').text)\n"
        "items = o[0].findall(cp + 'item'); r = m.findall(cp + 'resources/' + cp + 'resource')\n"
        "print(len(items), len(r), items[0].get('identifierref') == r[0].get('identifier'))\n"
        "print(r[0].get(adl + 'scormtype'), r[0].get('type'), r[0].get('href'))\n"
        "print([U.unquote(f.get('href')) for f in r[0].findall(cp + 'file')])\n";
    std::ofstream(dir / "read.py") << script;
    EXPECT_EQ(Shell("python3 '" + (dir / "read.py") + "' '" + (dir / "imsmanifest.xml") + "' 2>&1"),
              "True tovra-course-1\n"
              "ADL SCORM 1.2\n"
              "1 True 光学 & \"Größe\" <1> 'a'\n"
              "1 1 True\n"
              "sco webcontent web.htm\n"
              "['web.htm', 'web.files/课程 1.html', 'web.files/a&b#c?.js']\n");
    EXPECT_EQ(ManifestHref("web.files/课 a#?.htm"), "web.files/%E8%AF%BE%20a%23%3F.htm");
}

}  // namespace
}  // namespace tovra
