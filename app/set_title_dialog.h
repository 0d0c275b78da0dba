// The course-details dialog: course name, lecturer, unit and date of the open course.
#pragma once

#include <QDialog>
#include <string>

class QLineEdit;
class QShowEvent;

namespace tovra {

class SetTitleDialog : public QDialog {
    Q_OBJECT
public:
    // Control ids, as the language file's "T<id>" keys name them.
    static constexpr int kCourseNameLabel = 1008;
    static constexpr int kCourseNameEdit = 1009;
    static constexpr int kTeacherLabel = 1013;
    static constexpr int kTeacherEdit = 1010;
    static constexpr int kUnitLabel = 1014;
    static constexpr int kUnitEdit = 1011;
    static constexpr int kDateLabel = 1015;
    static constexpr int kDateEdit = 1012;
    static constexpr int kOkButton = 1;
    static constexpr int kCancelButton = 2;

    explicit SetTitleDialog(QWidget* parent = nullptr);

    // UTF-8 texts; the caller fills them before opening and reads them after OK.
    std::string courseName;
    std::string teacherName;
    std::string unitName;
    std::string makeDate;

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Prepare();
    void ApplyResourceTexts();

    QLineEdit* courseNameEdit_;
    QLineEdit* teacherEdit_;
    QLineEdit* unitEdit_;
    QLineEdit* dateEdit_;
};

}  // namespace tovra
