// Qt WebEngine behind the browser control.
#include "platform/browser/browser_control.h"

#include <QRegularExpression>

#include <algorithm>
#include <memory>

#include <QChildEvent>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace tovra::browser {

namespace {

QString JsStringLiteral(const QString& text) {
    // A JSON string is a valid JavaScript string literal, line separators included.
    QString quoted = QString::fromUtf8(QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact));
    quoted = quoted.mid(1, quoted.size() - 2);
    quoted.replace(QChar(0x2028), QStringLiteral("\\u2028"));
    quoted.replace(QChar(0x2029), QStringLiteral("\\u2029"));
    return quoted;
}

}  // namespace

QString WrapScript(const QString& script) {
    // Indirect eval runs in global scope, as the page's own scripts do: declared functions and
    // variables stay visible to later scripts.
    return QStringLiteral("(function(){try{(0,eval)(%1);return true;}catch(e){return false;}})()")
        .arg(JsStringLiteral(script));
}

QUrl AddressToUrl(const QString& address) {
    static const QLatin1String kFileScheme("file://");
    const bool fileAddress = address.startsWith(kFileScheme, Qt::CaseInsensitive);
    static const QRegularExpression kScheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    if (!fileAddress && kScheme.match(address).hasMatch()) return QUrl(address);
    if (!fileAddress && address.startsWith(QLatin1String("about:"))) return QUrl(address);

    // "file://" + folder + tail is built from a raw folder name that may hold spaces, "#" or
    // "%": take it as a path. The query starts at the first "?" right after a page name
    // (".htm", ".html"), since a query may itself hold an address with "/" in it; without one,
    // at a "?" after the last "/".
    QString path = fileAddress ? address.mid(kFileScheme.size()) : address;
    QString query;
    static const QRegularExpression kPageThenQuery(QStringLiteral("\\.html?\\?"),
                                                   QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch page = kPageThenQuery.match(path);
    const qsizetype mark =
        page.hasMatch() ? page.capturedEnd() - 1
                        : path.indexOf(QLatin1Char('?'), std::max<qsizetype>(0, path.lastIndexOf(QLatin1Char('/'))));
    if (mark >= 0) {
        query = path.mid(mark + 1);
        path.truncate(mark);
    }
    QUrl url = QUrl::fromLocalFile(path);
    if (!query.isEmpty()) url.setQuery(query);
    return url;
}

BrowserControl::BrowserControl(QWidget* parent) : QWidget(parent), view_(new QWebEngineView(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);

    QWebEngineSettings* settings = view_->settings();
    // Course pages live in frames that script each other; they must reach local files.
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
    settings->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, true);

    connect(view_, &QWebEngineView::titleChanged, this, &BrowserControl::TitleChange);
    connect(view_, &QWebEngineView::loadFinished, this, [this](bool) {
        AttachInputFilter();
        emit DocumentComplete(view_->url().toString());
    });
    view_->installEventFilter(this);
}

BrowserControl::~BrowserControl() = default;

void BrowserControl::Navigate2(const QString& address) { view_->setUrl(AddressToUrl(address)); }

bool BrowserControl::RunForResult(const QString& script, QVariant& result, int timeoutMs) {
    QPointer<BrowserControl> self(this);
    QEventLoop loop;
    auto shared = std::make_shared<std::pair<bool, QVariant>>(false, QVariant());
    QPointer<QEventLoop> loopGuard(&loop);
    view_->page()->runJavaScript(script, [shared, loopGuard](const QVariant& value) {
        shared->first = true;
        shared->second = value;
        if (loopGuard) loopGuard->quit();
    });
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    if (!shared->first) loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!self || !shared->first) return false;
    result = shared->second;
    return true;
}

bool BrowserControl::RunScript(const QString& script, int timeoutMs) {
    QVariant result;
    if (!RunForResult(WrapScript(script), result, timeoutMs)) return false;
    return result.typeId() == QMetaType::Bool && result.toBool();
}

bool BrowserControl::Evaluate(const QString& expression, QVariant& result, int timeoutMs) {
    return RunForResult(expression, result, timeoutMs);
}

bool BrowserControl::ReadField(const QString& name, QString& value, int timeoutMs) {
    const QString lit = JsStringLiteral(name);
    const QString script =
        QStringLiteral(
            "(function(){var n=%1;var e=document.getElementsByName(n)[0]||document.getElementById(n);"
            "if(!e||e.value===undefined)return null;return String(e.value);})()")
            .arg(lit);
    QVariant result;
    if (!RunForResult(script, result, timeoutMs)) return false;
    if (result.typeId() != QMetaType::QString) return false;
    value = result.toString();
    return true;
}

void BrowserControl::Refresh() { view_->reload(); }

QUrl BrowserControl::CurrentUrl() const { return view_->url(); }

QString BrowserControl::CurrentTitle() const { return view_->title(); }

void BrowserControl::SetInputFilter(QObject* filter) {
    if (filteredWidget_ && inputFilter_) filteredWidget_->removeEventFilter(inputFilter_);
    filteredWidget_ = nullptr;
    inputFilter_ = filter;
    AttachInputFilter();
}

QWidget* BrowserControl::InputWidget() const { return view_->focusProxy(); }

void BrowserControl::AttachInputFilter() {
    QWidget* target = view_->focusProxy();
    if (!inputFilter_ || !target || target == filteredWidget_) return;
    if (filteredWidget_) filteredWidget_->removeEventFilter(inputFilter_);
    target->installEventFilter(inputFilter_);
    filteredWidget_ = target;
}

bool BrowserControl::eventFilter(QObject* watched, QEvent* event) {
    // The engine may replace the widget that takes input when the render process changes.
    if (watched == view_ && (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished)) {
        QTimer::singleShot(0, this, &BrowserControl::AttachInputFilter);
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tovra::browser
