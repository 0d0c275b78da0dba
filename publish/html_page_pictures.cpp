#include "publish/html_page_pictures.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace tovra {

namespace {
constexpr int kLoadTimeoutMs = 15000;

// Runs the event loop until done() or timeoutMs; false on the timeout.
template <class Done>
bool WaitFor(Done done, int timeoutMs) {
    QEventLoop loop;
    QTimer poll, limit;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done()) loop.quit();
    });
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    poll.start(20);
    limit.setSingleShot(true);
    limit.start(timeoutMs);
    if (!done()) loop.exec();
    return done();
}
}  // namespace

HtmlPagePictures::HtmlPagePictures(std::string webFolder) : web_(std::move(webFolder)) {}

HtmlPagePictures::~HtmlPagePictures() = default;

QImage HtmlPagePictures::Picture(int page, int step, QSize size) {
    (void)step;  // a blank course's page has no steps
    const QString file = QString::fromStdString(web_ + "/" + std::to_string(page) + ".html");
    if (!QFileInfo(file).isFile()) return {};
    if (!view_) {
        view_ = std::make_unique<QWebEngineView>();
        // Laid out and painted as on screen, but never shown there.
        view_->setAttribute(Qt::WA_DontShowOnScreen);
        view_->show();
    }
    view_->resize(size);
    bool loaded = false, ok = false;
    const QMetaObject::Connection c = QObject::connect(view_.get(), &QWebEngineView::loadFinished, [&](bool good) {
        loaded = true;
        ok = good;
    });
    view_->load(QUrl::fromLocalFile(file));
    WaitFor([&] { return loaded; }, kLoadTimeoutMs);
    QObject::disconnect(c);
    if (!ok) return {};
    // Its fonts and pictures, then two frames painted at this size.
    bool ready = false;
    view_->page()->runJavaScript(
        QStringLiteral("new Promise(function (done) { (document.fonts ? document.fonts.ready : Promise.resolve())"
                       ".then(function () { requestAnimationFrame(function () { requestAnimationFrame(done); }); }); })"
                       ".then(function () { window.__tovraDrawn = 1; }); 1"),
        [](const QVariant&) {});
    WaitFor(
        [&] {
            view_->page()->runJavaScript(QStringLiteral("window.__tovraDrawn === 1"),
                                         [&](const QVariant& v) { ready = v.toBool(); });
            return ready;
        },
        kLoadTimeoutMs);
    WaitFor([] { return false; }, 150);  // the compositor's frame reaches the widget
    QImage picture = view_->grab().toImage().convertToFormat(QImage::Format_RGB32);
    return picture.size() == size ? picture : picture.scaled(size);
}

}  // namespace tovra
