// The new-course dialog, localised from section "Class_Create" at every opening.
#include "app/create_course_dialog.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "course/deck_import.h"
#include "lang/language_table.h"
#include "app/dialog_layout.h"
#include "lang/localize.h"
#include "platform/framework/message_box.h"

namespace tovra {
namespace {

// Not a QLabel: a "T65535" text would replace a label's picture, while the static icon of a
// dialog keeps its picture whatever text it is given.
class IconView : public QWidget {
public:
    IconView(const QPixmap& pixmap, QWidget* parent) : QWidget(parent), pixmap_(pixmap) { setFixedSize(32, 32); }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawPixmap(0, 0, pixmap_); }

private:
    QPixmap pixmap_;
};

QLineEdit* Edit(QWidget* parent, int id) {
    auto* edit = new QLineEdit(parent);
    lang::SetControlId(edit, id);
    return edit;
}


// Both separators count: names are often typed with a Windows habit ("d:\", "course\").
bool EndsWithSeparator(const QString& text) {
    return text.endsWith(QLatin1Char('/')) || text.endsWith(QLatin1Char('\\'));
}

QString DefaultFolderChooser(QWidget* owner, const QString& title) {
    return QFileDialog::getExistingDirectory(owner, title, QDir::homePath(), QFileDialog::ShowDirsOnly);
}

QString DefaultDeckChooser(QWidget* owner) {
    return QFileDialog::getOpenFileName(owner, QString(), QString(), DeckFileFilter());
}

}  // namespace

CreateCourseDialog::CreateCourseDialog(QWidget* parent)
    : QDialog(parent),
      courseFileName(lang::Message("IName")),
      saveFolder(QDir::homePath().toStdString()),
      courseName(lang::Message("CName")),
      teacherName(lang::Message("TName")),
      unitName(lang::Message("FName")),
      defaultTeacher_(teacherName),
      defaultUnit_(unitName),
      chooseFolder(DefaultFolderChooser),
      chooseDeck(DefaultDeckChooser),
      clock([] { return std::time(nullptr); }) {
    auto* files = lang::ResourceControl(new QGroupBox(this), kStatic);
    auto* fileNameLabel = lang::ResourceControl(new QLabel(files), kFileNameLabel, QStringLiteral("建立课程文件名:"));
    fileNameEdit_ = Edit(files, kFileNameEdit);
    auto* folderLabel = lang::ResourceControl(new QLabel(files), kFolderLabel, QStringLiteral("请选择课程保存路径:"));
    folderEdit_ = Edit(files, kFolderEdit);
    auto* folderButton = lang::ResourceControl(new QPushButton(files), kFolderButton, QStringLiteral("另存为"));
    auto* deckLabel = lang::ResourceControl(new QLabel(files), kDeckLabel,
                                            QStringLiteral("我要导入现有的PPT文档，不导入此步可忽略:"));
    deckLabel->setWordWrap(true);
    deckEdit_ = Edit(files, kDeckEdit);
    auto* deckButton = lang::ResourceControl(new QPushButton(files), kDeckButton, QStringLiteral("浏览"));
    auto* icon = lang::ResourceControl(new IconView(QApplication::windowIcon().pixmap(32, 32), files), kStatic);

    auto* filesGrid = new QGridLayout(files);
    filesGrid->addWidget(fileNameLabel, 0, 0);
    filesGrid->addWidget(fileNameEdit_, 1, 0);
    filesGrid->addWidget(icon, 0, 1, 2, 1, Qt::AlignCenter);
    filesGrid->addWidget(folderLabel, 2, 0);
    filesGrid->addWidget(folderEdit_, 3, 0);
    filesGrid->addWidget(folderButton, 3, 1);
    filesGrid->addWidget(deckLabel, 4, 0, 1, 2);
    filesGrid->addWidget(deckEdit_, 5, 0);
    filesGrid->addWidget(deckButton, 5, 1);
    filesGrid->setColumnStretch(0, 1);
    // Wide enough for a whole usual path ("/home/teacher/Documents/Courses/Physics").
    const int pathWidth = fontMetrics().horizontalAdvance(QLatin1Char('x')) * 46;
    for (QLineEdit* edit : {fileNameEdit_, folderEdit_, deckEdit_}) edit->setMinimumWidth(pathWidth);

    auto* details = lang::ResourceControl(new QGroupBox(this), kStatic);
    auto* detailsGrid = new QGridLayout(details);
    const auto addDetail = [&](int row, int labelId, const QString& caption, int editId) {
        detailsGrid->addWidget(lang::ResourceControl(new QLabel(details), labelId, caption), row, 0);
        QLineEdit* edit = Edit(details, editId);
        detailsGrid->addWidget(edit, row, 1);
        return edit;
    };
    courseNameEdit_ = addDetail(0, kCourseNameLabel, QStringLiteral("课程名称:"), kCourseNameEdit);
    teacherEdit_ = addDetail(1, kTeacherLabel, QStringLiteral("主讲人:"), kTeacherEdit);
    unitEdit_ = addDetail(2, kUnitLabel, QStringLiteral("制作单位:"), kUnitEdit);
    dateEdit_ = addDetail(3, kDateLabel, QStringLiteral("制作时间:"), kDateEdit);
    detailsGrid->setColumnStretch(1, 1);

    auto* create = lang::ResourceControl(new QPushButton(this), kCreateButton, QStringLiteral("创建"));
    create->setDefault(true);
    auto* cancel = lang::ResourceControl(new QPushButton(this), kCancelButton, QStringLiteral("取消"));
    QHBoxLayout* buttons = SpreadButtonRow(create, cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(files);
    layout->addWidget(details);
    layout->addLayout(buttons);

    connect(folderButton, &QPushButton::clicked, this, &CreateCourseDialog::BrowseFolder);
    connect(deckButton, &QPushButton::clicked, this, &CreateCourseDialog::BrowseDeck);
    connect(create, &QPushButton::clicked, this, &CreateCourseDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &CreateCourseDialog::reject);
    ApplyResourceTexts();
}

std::string CreateCourseDialog::FormatMakeDate(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    char buffer[64];
    const std::size_t length = std::strftime(buffer, sizeof buffer, "%y-%m-%d_%H", &local);
    return std::string(buffer, length);
}

void CreateCourseDialog::showEvent(QShowEvent* event) {
    // A spontaneous show is the window system restoring an open dialog, not a new opening.
    if (!event->spontaneous()) Prepare();
    QDialog::showEvent(event);
}

void CreateCourseDialog::ApplyResourceTexts() { lang::RestoreResourceTexts(this, QStringLiteral("Class_Create")); }

void CreateCourseDialog::Prepare() {
    if (!keepFields_) {
        // A new course is not the last one: its names start from the defaults, and no deck is
        // imported again by mistake.
        courseFileName = lang::Message("IName");
        courseName = lang::Message("CName");
        deckPath.clear();
        if (teacherName == defaultTeacher_) teacherName = lang::Message("TName");
        if (unitName == defaultUnit_) unitName = lang::Message("FName");
        defaultTeacher_ = lang::Message("TName");
        defaultUnit_ = lang::Message("FName");
        if (teacherName.empty()) teacherName = defaultTeacher_;
        if (unitName.empty()) unitName = defaultUnit_;
    }
    fileNameEdit_->setText(QString::fromStdString(courseFileName));
    folderEdit_->setText(QString::fromStdString(saveFolder));
    deckEdit_->setText(QString::fromStdString(deckPath));
    courseNameEdit_->setText(QString::fromStdString(courseName));
    teacherEdit_->setText(QString::fromStdString(teacherName));
    unitEdit_->setText(QString::fromStdString(unitName));
    dateEdit_->setText(QString::fromStdString(makeDate));

    // Built anew at each opening, so a language switch since the last one shows, and a key the
    // new language lacks falls back to the resource text.
    ApplyResourceTexts();
    lang::LocalizeDialog(this);

    if (!keepFields_) makeDate = FormatMakeDate(clock());
    keepFields_ = false;
    dateEdit_->setText(QString::fromStdString(makeDate));
}

void CreateCourseDialog::accept() {
    // The name is a folder's and a file's name on disk, in the user's own letters.
    QString name = fileNameEdit_->text();
    if (EndsWithSeparator(name)) name.chop(1);
    courseFileName = name.toStdString();
    saveFolder = folderEdit_->text().toStdString();
    deckPath = deckEdit_->text().toStdString();
    courseName = courseNameEdit_->text().toStdString();
    teacherName = teacherEdit_->text().toStdString();
    unitName = unitEdit_->text().toStdString();
    makeDate = dateEdit_->text().toStdString();

    if (courseFileName.empty()) {
        framework::Messages().Show(this, lang::MessageText("PName"));
        return;
    }
    // A "/" would put the course into a folder below the save folder, "." and ".." above it.
    if (name.contains(QLatin1Char('/')) || name == QLatin1String(".") || name == QLatin1String("..")) {
        framework::Messages().Show(this, lang::MessageText("BadName"));
        return;
    }
    // "/" alone is the root folder: removing its separator would leave nothing. In UTF-8 the
    // last byte is a separator only when the last character is one.
    if (saveFolder != "/" && !saveFolder.empty() && (saveFolder.back() == '/' || saveFolder.back() == '\\')) {
        saveFolder.pop_back();
    }
    if (saveFolder.empty()) {
        framework::Messages().Show(this, lang::MessageText("Dir"));
        return;
    }
    QDialog::accept();
}

void CreateCourseDialog::BrowseFolder() {
    const QString folder = chooseFolder(this, lang::MessageText("Dir"));
    if (!folder.isEmpty()) folderEdit_->setText(QDir::toNativeSeparators(folder));
}

void CreateCourseDialog::BrowseDeck() {
    const QString path = chooseDeck(this);
    if (path.isEmpty()) return;
    deckPath = QDir::toNativeSeparators(path).toStdString();
    deckEdit_->setText(QString::fromStdString(deckPath));
}

}  // namespace tovra
