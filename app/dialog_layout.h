// Layout pieces the course dialogs share.
#pragma once

#include <QHBoxLayout>
#include <QPushButton>

namespace tovra {

// The OK / Cancel pair, spread evenly across the bottom of a dialog as its template places them.
inline QHBoxLayout* SpreadButtonRow(QPushButton* ok, QPushButton* cancel) {
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addStretch();
    row->addWidget(cancel);
    row->addStretch();
    return row;
}

}  // namespace tovra
