// The open dialogs of the windows: the toolkit's own dialog for one existing
// file, whose list of file types shows each label exactly as written.
#pragma once

#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

namespace desktop {

// A file-type entry: `label` as the list shows it, `patterns` as the dialog
// filters ("*.m4a;*.aac", separated by semicolons).
QString NameFilter(const QString& label, const QString& patterns);

// A dialog owned by `parent` that opens one existing file, with the entries
// of NameFilter; the toolkit's patterns stay out of the labels.
QFileDialog* MakeOpenDialog(QWidget* parent, const QStringList& nameFilters);

// Runs `dialog` with no file chosen yet; the chosen file, or an empty text.
QString AskForFile(QFileDialog* dialog);
// The same for a dialog that opens several files at once; the chosen files.
QStringList AskForFiles(QFileDialog* dialog);

}  // namespace desktop
