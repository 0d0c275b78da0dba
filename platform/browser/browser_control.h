// The embedded web browser on Qt WebEngine: navigation, synchronous scripts, form fields and
// the title and document-complete events the course view relies on.
#pragma once

#include <QPointer>
#include <QString>
#include <QUrl>
#include <QVariant>
#include <QWidget>

class QWebEngineView;
class QWebEngineProfile;
class QWebEnginePage;

namespace tovra::browser {

class BrowserControl : public QWidget {
    Q_OBJECT
public:
    explicit BrowserControl(QWidget* parent = nullptr);
    ~BrowserControl() override;
    BrowserControl(const BrowserControl&) = delete;
    BrowserControl& operator=(const BrowserControl&) = delete;

    // Takes a "file://" address or a plain file path. The page loads later; DocumentComplete follows.
    void Navigate2(const QString& address);

    // Runs script in the top document's global scope and waits for it. True only when it ran
    // without throwing. The wait runs a local event loop, so signals are delivered meanwhile.
    bool RunScript(const QString& script, int timeoutMs = 5000);

    // The value of a script expression in the top document; false when it gave none in time.
    bool Evaluate(const QString& expression, QVariant& result, int timeoutMs = 5000);

    // Value of the form field named (or with the id) name in the top document; false when absent.
    bool ReadField(const QString& name, QString& value, int timeoutMs = 5000);

    void Refresh();

    QUrl CurrentUrl() const;
    QString CurrentTitle() const;

    // Every mouse and key event bound for the page passes filter first; it may swallow them.
    void SetInputFilter(QObject* filter);
    // The widget that really receives the page's input events (for tests and overlays).
    QWidget* InputWidget() const;

    QWebEngineView* View() const { return view_; }

signals:
    void TitleChange(const QString& title);
    void DocumentComplete(const QString& url);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void AttachInputFilter();
    bool RunForResult(const QString& script, QVariant& result, int timeoutMs);

    QWebEngineView* view_ = nullptr;
    QPointer<QObject> inputFilter_;
    QPointer<QWidget> filteredWidget_;
};

// Turns a plain path or a "file://" address into a URL. Query strings after a file name
// ("fullscreen.htm?open=3.html") stay queries.
QUrl AddressToUrl(const QString& address);

// Wraps script so that evaluating it reports whether it threw (a bare result cannot tell a
// throw from undefined). Exposed for tests.
QString WrapScript(const QString& script);

}  // namespace tovra::browser
