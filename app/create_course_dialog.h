// The new-course dialog: project file name, save folder, optional PowerPoint deck and course details.
#pragma once

#include <QDialog>
#include <QString>
#include <ctime>
#include <functional>
#include <string>

class QLineEdit;
class QShowEvent;

namespace tovra {

class CreateCourseDialog : public QDialog {
    Q_OBJECT
public:
    // Control ids, as the language file's "T<id>" keys name them.
    static constexpr int kFileNameLabel = 1013;
    static constexpr int kFileNameEdit = 1004;
    static constexpr int kFolderLabel = 1014;
    static constexpr int kFolderEdit = 1005;
    static constexpr int kFolderButton = 1006;
    static constexpr int kDeckLabel = 1015;
    static constexpr int kDeckEdit = 1007;
    static constexpr int kDeckButton = 1008;
    static constexpr int kCourseNameLabel = 1016;
    static constexpr int kCourseNameEdit = 1009;
    static constexpr int kTeacherLabel = 1017;
    static constexpr int kTeacherEdit = 1010;
    static constexpr int kUnitLabel = 1018;
    static constexpr int kUnitEdit = 1011;
    static constexpr int kDateLabel = 1019;
    static constexpr int kDateEdit = 1012;
    static constexpr int kStatic = 65535;  // group boxes and the icon
    static constexpr int kCreateButton = 1;
    static constexpr int kCancelButton = 2;

    // Returns the chosen path, or an empty text when the user cancelled.
    using FolderChooser = std::function<QString(QWidget* owner, const QString& title)>;
    using DeckChooser = std::function<QString(QWidget* owner)>;
    using Clock = std::function<std::time_t()>;

    // The default texts come from the current language, at every opening: a new course's file
    // name and name are the language's defaults each time; the lecturer, school and folder keep
    // what the teacher typed last, and follow the language while they are its defaults.
    explicit CreateCourseDialog(QWidget* parent = nullptr);

    // All texts are UTF-8: the file name and the paths as on disk.
    std::string courseFileName;
    std::string saveFolder;
    std::string deckPath;
    std::string courseName;
    std::string teacherName;
    std::string unitName;
    std::string makeDate;  // "%y-%m-%d_%H", set anew at each opening

    // Replaceable so that tests need no native dialog and no real clock.
    FolderChooser chooseFolder;
    DeckChooser chooseDeck;
    Clock clock;

    // "%y-%m-%d_%H" of the local time t.
    static std::string FormatMakeDate(std::time_t t);

    // The next opening shows the fields as they stand: the dialog comes back with what the
    // teacher typed (and its date), instead of a new course's defaults.
    void KeepFieldsAtNextOpening() { keepFields_ = true; }

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Prepare();
    void ApplyResourceTexts();
    void BrowseFolder();
    void BrowseDeck();

    QLineEdit* fileNameEdit_;
    QLineEdit* folderEdit_;
    QLineEdit* deckEdit_;
    QLineEdit* courseNameEdit_;
    QLineEdit* teacherEdit_;
    QLineEdit* unitEdit_;
    QLineEdit* dateEdit_;
    bool keepFields_ = false;
    // The lecturer and school texts the defaults gave, to tell them from what a teacher typed.
    std::string defaultTeacher_;
    std::string defaultUnit_;
};

}  // namespace tovra
