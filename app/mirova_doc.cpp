// The document's one job: route framework loads to the project reader.
#include "app/mirova_doc.h"

#include "view/mirova_view.h"

namespace tovra {

bool CMirovaDoc::Serialize(bool loading, const QString& filePath) {
    if (!loading || !firstView_) return false;
    return firstView_->ReadProjectFile(filePath.toStdString());
}

}  // namespace tovra
