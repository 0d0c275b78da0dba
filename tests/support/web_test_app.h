// The Qt application for tests that run the browser engine: it needs shared GL contexts
// before the application object exists.
#pragma once

#include <QApplication>
#include <QString>
#include <QVariant>
#include <QWebEnginePage>

#include "tests/support/qt_test_application.h"

namespace tovra::testing_support {

class WebEngineTestApp : public QApplication {
public:
    WebEngineTestApp(int& argc, char** argv)
        : QApplication((QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts), argc), argv) {}
};

// The page's own answer to a script, as text (empty when it gives none within five seconds).
inline QString EvaluateInPage(QWebEnginePage* page, const QString& script) {
    QString result;
    bool done = false;
    page->runJavaScript(script, [&](const QVariant& v) {
        result = v.toString();
        done = true;
    });
    WaitUntil([&] { return done; }, 5000);
    return result;
}

}  // namespace tovra::testing_support
