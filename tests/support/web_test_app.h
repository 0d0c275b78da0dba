// The Qt application for tests that run the browser engine: it needs shared GL contexts
// before the application object exists.
#pragma once

#include <QApplication>

#include "tests/support/qt_test_application.h"

namespace tovra::testing_support {

class WebEngineTestApp : public QApplication {
public:
    WebEngineTestApp(int& argc, char** argv)
        : QApplication((QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts), argc), argv) {}
};

}  // namespace tovra::testing_support
