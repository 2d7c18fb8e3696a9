// The wizard's file dialogs (the music file, the update package): Qt's own
// widget dialog, made so that picking a file can neither change the file
// system nor hang on a file it lists.
#pragma once

#include <QFileDialog>
#include <QString>

namespace vexa::wiz {

// A file dialog of the wizard: the widget dialog, read-only (no deleting,
// renaming or new folders from it), and judging the files it lists by
// their names alone, so it never opens one (a FIFO or a file of /proc that
// blocks its reader cannot stop it). The dialog owns what it needs.
QFileDialog* NewFileDialog(QWidget* parent, const QString& caption, const QString& directory,
                           const QString& filter = QString());
// Makes an existing file dialog so (once, right after it is made, before it
// lists a folder).
void MakeFileDialogSafe(QFileDialog* dialog);

}  // namespace vexa::wiz
