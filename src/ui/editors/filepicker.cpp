#include "filepicker.h"

#include <QFileDialog>

QString DialogFilePicker::openFile(QWidget *parent, const QString &title, const QString &filter)
{
    // No starting name: the dialog opens where it was last, or in the working folder.
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}
