// The Qt application for tests that run the browser engine: it needs shared GL contexts
// before the application object exists.
#pragma once

#include <memory>

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
    // The answer may come after the wait gave up; it must then land in state that still exists.
    struct Answer {
        QString text;
        bool done = false;
    };
    auto answer = std::make_shared<Answer>();
    page->runJavaScript(script, [answer](const QVariant& v) {
        answer->text = v.toString();
        answer->done = true;
    });
    WaitUntil([&] { return answer->done; }, 5000);
    return answer->text;
}

}  // namespace tovra::testing_support
