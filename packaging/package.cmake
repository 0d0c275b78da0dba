# The Debian package: `make package` (cpack in the build folder) makes
# tovra-editor_<version>_<arch>.deb of the installed layout under /usr.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tovra-editor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "The Tovra Editor developers <developers@tovra.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "courseware editor: slide decks and pages into recorded courses")
# The long description without its first line (the summary); CPack indents it and marks the empty
# line between the paragraphs as Debian does.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tovra Editor turns a slide deck, or a set of blank pages, into a course: a
folder of pages that plays in any web browser, straight from disk. The
teacher shows the pages, draws over them with a pen and records the lecture
with microphone and camera; page turns, pointer and ink go onto the same
time line as the sound and the picture.

Courses can be published as SCORM 1.2 packages for learning platforms and
as MP4 videos with chapters.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION education)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://tovra.example.org/)
# The libraries it links come from dpkg-shlibdeps; the programs and plugins it loads at run time
# are named: the office suite for decks, GStreamer's elements for microphone and camera, the Qt
# platform and SVG plugins, and the MIME and desktop databases the package adds to.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libreoffice-impress-nogui | libreoffice-impress, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-pulseaudio, libpulse0, qt6-qpa-plugins, libqt6svg6, shared-mime-info, desktop-file-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse, qt6-translations-l10n, fonts-noto-cjk, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
include(CPack)
