#include "app/QtUserInterface.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "app/TZop5Form.h"
#include "platform/Cp1252Qt.h"

namespace zop {

Answer QtUserInterface::Message(BoxKind kind, const std::string& text, BoxButtons buttons)
{
    QMessageBox box(m_window);
    box.setWindowTitle("Tracelet");
    box.setTextFormat(Qt::PlainText);
    box.setText(ToQString(text));
    switch (kind) {
    case BoxKind::Plain:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case BoxKind::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case BoxKind::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case BoxKind::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case BoxKind::Confirmation:
        box.setIcon(QMessageBox::Question);
        break;
    }
    switch (buttons) {
    case BoxButtons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case BoxButtons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        break;
    case BoxButtons::YesNoCancel:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        return buttons == BoxButtons::YesNoCancel ? Answer::Cancel
            : buttons == BoxButtons::YesNo        ? Answer::No
                                                  : Answer::Ok;
    }
}

std::optional<FileDialogResult> QtUserInterface::FileDialog(const FileDialogRequest& request, bool save)
{
    QFileDialog dialog(m_window, ToQString(request.Title));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The program asks about overwriting itself, with its own words.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    QStringList filters;
    for (const FileFilter& filter : request.Filters) {
        // Unix file systems tell the case of a name: offer both cases.
        const QString pattern = ToQString(filter.Pattern);
        QStringList patterns { pattern, pattern.toLower(), pattern.toUpper() };
        patterns.removeDuplicates();
        filters << ToQString(filter.Description).section('(', 0, 0).trimmed() + " (" + patterns.join(' ') + ")";
    }
    dialog.setNameFilters(filters);
    if (request.FilterIndex >= 1 && request.FilterIndex <= filters.size())
        dialog.selectNameFilter(filters.at(request.FilterIndex - 1));
    QString extension = ToQString(request.DefaultExtension);
    extension.remove("*.");
    dialog.setDefaultSuffix(extension.toLower());
    if (!request.FileName.empty()) {
        const QString preset = QString::fromStdString(request.FileName);
        const QFileInfo info(preset);
        if (!info.path().isEmpty() && info.path() != ".")
            dialog.setDirectory(info.path());
        dialog.selectFile(info.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    FileDialogResult result;
    result.FileName = dialog.selectedFiles().first().toStdString();
    result.FilterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
    if (result.FilterIndex < 1)
        result.FilterIndex = request.FilterIndex;
    return result;
}

std::optional<FileDialogResult> QtUserInterface::OpenFileDialog(const FileDialogRequest& request)
{
    return FileDialog(request, false);
}

std::optional<FileDialogResult> QtUserInterface::SaveFileDialog(const FileDialogRequest& request)
{
    return FileDialog(request, true);
}

void QtUserInterface::RestoreAndRaise()
{
    if (m_window)
        m_window->RestoreAndRaise();
}

void QtUserInterface::CloseWindow()
{
    if (m_window)
        m_window->close();
}

} // namespace zop
