#include "desktop/open_dialog.h"

#include <QFileDialog>

namespace desktop {

QString NameFilter(const QString& label, const QString& patterns) {
  // The toolkit reads the patterns from the last parentheses, blank-separated,
  // and hides that group from the list.
  return label + " (" + QString(patterns).replace(';', ' ') + ")";
}

QFileDialog* MakeOpenDialog(QWidget* parent, const QStringList& nameFilters) {
  auto* dialog = new QFileDialog(parent);
  dialog->setFileMode(QFileDialog::ExistingFile);
  dialog->setOption(QFileDialog::HideNameFilterDetails);
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  dialog->setNameFilters(nameFilters);
  return dialog;
}

QString AskForFile(QFileDialog* dialog) {
  dialog->selectFile(QString());
  if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty()) return {};
  return dialog->selectedFiles().first();
}

QStringList AskForFiles(QFileDialog* dialog) {
  dialog->setFileMode(QFileDialog::ExistingFiles);
  dialog->selectFile(QString());
  if (dialog->exec() != QDialog::Accepted) return {};
  return dialog->selectedFiles();
}

}  // namespace desktop
