// The browser control on the real engine: synchronous scripts that tell a throw from success,
// form fields, addresses built from raw folder names, and the input filter.
#include "platform/browser/browser_control.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QSignalSpy>
#include <QWebEngineView>

#include "tests/support/temp_dir.h"
#include "tests/support/web_test_app.h"

namespace tovra::browser {
namespace {

using testing::TempDir;
using testing::WriteBytes;
using testing_support::WaitUntil;

class BrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        browser.resize(640, 480);
        browser.show();
        QObject::connect(&browser, &BrowserControl::DocumentComplete, [this](const QString& url) { loaded << url; });
    }

    void Load(const std::string& name, std::string_view html) {
        const std::string path = dir / name;
        WriteBytes(path, html);
        const qsizetype before = loaded.size();
        browser.Navigate2(QString::fromStdString(path));
        ASSERT_TRUE(WaitUntil([&] { return loaded.size() > before; }, 20000));
    }

    TempDir dir;
    BrowserControl browser;
    QStringList loaded;
};

TEST_F(BrowserTest, RunScriptIsTrueOnlyWhenTheScriptDidNotThrow) {
    Load("page.htm", "<html><body><p id='p'>x</p><script>function Twice(n){return 2*n;}</script></body></html>");
    EXPECT_TRUE(browser.RunScript(QStringLiteral("var kept = Twice(21);")));
    EXPECT_TRUE(browser.RunScript(QStringLiteral("if (kept !== 42) throw 'lost';")));  // global scope
    EXPECT_TRUE(browser.RunScript(QStringLiteral("function Later(){ return kept; }")));
    EXPECT_TRUE(browser.RunScript(QStringLiteral("if (Later() !== 42) throw 'no';")));
    EXPECT_TRUE(browser.RunScript(QStringLiteral("undefined;")));
    EXPECT_FALSE(browser.RunScript(QStringLiteral("NoSuchFunction();")));
    EXPECT_FALSE(browser.RunScript(QStringLiteral("this is not javascript")));
    EXPECT_FALSE(browser.RunScript(QStringLiteral("throw 0;")));
    // Quotes, backslashes and line separators in the text reach the page unchanged.
    EXPECT_TRUE(browser.RunScript(QStringLiteral("document.title='a\\'b\"c\\\\d\u2028';")));
    ASSERT_TRUE(WaitUntil([&] { return browser.CurrentTitle().startsWith(QStringLiteral("a'b\"c\\d")); }));
    EXPECT_TRUE(browser.RunScript(QStringLiteral("try {GoToSldNum(3);}catch(e){}")));
}

TEST_F(BrowserTest, TitleChangesAreReported) {
    QSignalSpy titles(&browser, &BrowserControl::TitleChange);
    Load("titled.htm", "<html><head><title>first</title></head><body></body></html>");
    ASSERT_TRUE(browser.RunScript(QStringLiteral("document.title='PAGE:7';")));
    ASSERT_TRUE(
        WaitUntil([&] { return !titles.isEmpty() && titles.last().at(0).toString() == QLatin1String("PAGE:7"); }));
}

TEST_F(BrowserTest, ReadsTheEditorField) {
    Load("form.htm", "<html><body><form><input name='mytext' value='课程 text'></form></body></html>");
    QString value;
    ASSERT_TRUE(browser.ReadField(QStringLiteral("mytext"), value));
    EXPECT_EQ(value, QStringLiteral("课程 text"));
    EXPECT_FALSE(browser.ReadField(QStringLiteral("nothere"), value));
}

TEST_F(BrowserTest, AddressesFromRawFolderNamesKeepSpacesHashesAndQueries) {
    std::filesystem::create_directories(dir / "my #1 course/web.files");
    const std::string page = dir / "my #1 course/web.files/fullscreen.htm";
    WriteBytes(page, "<html><body><script>document.title='open=' + location.search;</script></body></html>");
    const QString address = QStringLiteral("file://") + QString::fromStdString(page) + QStringLiteral("?open=3.html");
    const QUrl url = AddressToUrl(address);
    EXPECT_EQ(url.toLocalFile(), QString::fromStdString(page));
    EXPECT_EQ(url.query(), QStringLiteral("open=3.html"));
    EXPECT_EQ(AddressToUrl(QStringLiteral("/a/b.htm")), QUrl::fromLocalFile(QStringLiteral("/a/b.htm")));
    // A query that holds an address of its own (the page editor's).
    const QUrl editor = AddressToUrl(QStringLiteral("/p/edit/ZonEdit.htm?open=file:///c/my course/web.files/7.html"));
    EXPECT_EQ(editor.toLocalFile(), QStringLiteral("/p/edit/ZonEdit.htm"));
    EXPECT_EQ(editor.query(QUrl::FullyDecoded), QStringLiteral("open=file:///c/my course/web.files/7.html"));

    browser.Navigate2(address);
    ASSERT_TRUE(WaitUntil([&] { return browser.CurrentTitle() == QLatin1String("open=?open=3.html"); }, 20000));
}

class SwallowKeys : public QObject {
public:
    int keys = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        ++keys;
        return static_cast<QKeyEvent*>(event)->key() == Qt::Key_A;  // swallow "a", pass the rest
    }
};

TEST_F(BrowserTest, InputFilterSeesKeysBeforeThePageAndMaySwallowThem) {
    Load("keys.htm",
         "<html><body><script>var typed='';document.addEventListener('keydown',function(e){typed+=e.key;});"
         "</script></body></html>");
    SwallowKeys filter;
    browser.SetInputFilter(&filter);
    QWidget* input = browser.InputWidget();
    ASSERT_NE(input, nullptr);
    for (auto [key, text] : {std::pair{Qt::Key_A, "a"}, std::pair{Qt::Key_B, "b"}}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString::fromLatin1(text));
        QCoreApplication::sendEvent(input, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, QString::fromLatin1(text));
        QCoreApplication::sendEvent(input, &release);
    }
    EXPECT_EQ(filter.keys, 2);
    ASSERT_TRUE(WaitUntil([&] { return browser.RunScript(QStringLiteral("if (typed !== 'b') throw typed;")); }, 5000));
}

}  // namespace
}  // namespace tovra::browser
