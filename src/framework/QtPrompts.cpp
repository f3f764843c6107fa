#include "framework/QtPrompts.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

MbResult QtPrompts::MessageBox(const std::string& text, const std::string& caption, MbIcon icon,
                               MbButtons buttons)
{
    QMessageBox box(m_parent);
    box.setWindowTitle(QString::fromStdString(caption));
    box.setText(QString::fromStdString(text));
    switch (icon) {
        case MbIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MbIcon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case MbIcon::Stop:
            box.setIcon(QMessageBox::Critical);
            break;
        case MbIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MbIcon::None:
            break;
    }
    if (buttons == MbButtons::OkCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    return box.exec() == QMessageBox::Ok ? MbResult::Ok : MbResult::Cancel;
}

std::string QtPrompts::ToQtFilter(const std::string& filter)
{
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList entries;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty())
            break;
        QString pattern = parts[i + 1];
        pattern.replace(';', ' ');
        QString name = parts[i];
        // "*.*" means every file here, not only names with a dot.
        if (pattern == "*.*") {
            pattern = "*";
            name.replace("(*.*)", "(*)");
        }
        entries << QString("%1").arg(name).section('(', 0, 0).trimmed() + " (" + pattern + ")";
    }
    return entries.join(";;").toStdString();
}

namespace {
std::string WithExtension(QString path, const std::string& defaultExt)
{
    if (!defaultExt.empty() && QFileInfo(path).suffix().isEmpty()) {
        QString ext = QString::fromStdString(defaultExt);
        if (!ext.startsWith('.'))
            ext.prepend('.');
        path += ext;
    }
    return path.toStdString();
}
}  // namespace

std::optional<std::string> QtPrompts::OpenFileName(const std::string& filter,
                                                   const std::string& defaultExt)
{
    QString path = QFileDialog::getOpenFileName(m_parent, QString(), QString(),
                                                QString::fromStdString(ToQtFilter(filter)));
    if (path.isEmpty())
        return std::nullopt;
    (void)defaultExt;
    return path.toStdString();
}

std::optional<std::string> QtPrompts::SaveFileName(const std::string& filter,
                                                   const std::string& defaultExt)
{
    QFileDialog dlg(m_parent);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setNameFilter(QString::fromStdString(ToQtFilter(filter)));
    dlg.setDefaultSuffix(
        QString::fromStdString(defaultExt).remove(0, defaultExt.rfind('.') == 0 ? 1 : 0));
    // Replacing an existing file without asking is how the program has always saved.
    dlg.setOption(QFileDialog::DontConfirmOverwrite);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return std::nullopt;
    return WithExtension(dlg.selectedFiles().front(), defaultExt);
}
