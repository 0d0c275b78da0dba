// The document: holds no data; a file the framework loads is handed to the view.
#pragma once

#include <QString>

namespace tovra {

class CMirovaView;

class CMirovaDoc {
public:
    explicit CMirovaDoc(CMirovaView* firstView) : firstView_(firstView) {}

    bool OnNewDocument() { return true; }
    // Loading hands the file's full path to the view's project reader; storing does nothing.
    // False when the file could not be loaded.
    bool Serialize(bool loading, const QString& filePath);

private:
    CMirovaView* firstView_;
};

}  // namespace tovra
