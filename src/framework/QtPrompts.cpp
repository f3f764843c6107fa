#include "framework/QtPrompts.h"

#include <QAbstractFileIconProvider>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeDatabase>
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

// Icons and types from an entry's kind and name alone. Qt's own provider asks the MIME database,
// which reads the first bytes of a file whose name says nothing, and such a read can block for
// good (a kernel log under /proc, a stalled network file).
class NameOnlyIconProvider : public QAbstractFileIconProvider {
public:
    using QAbstractFileIconProvider::icon;
    QIcon icon(const QFileInfo& info) const override
    {
        if (info.isRoot())
            return icon(Drive);
        return icon(info.isDir() ? Folder : File);
    }
    QString type(const QFileInfo& info) const override
    {
        if (info.isDir())
            return QFileDialog::tr("Folder");
        const QList<QMimeType> byName = m_mime.mimeTypesForFileName(info.fileName());
        if (byName.isEmpty() || byName.front().comment().isEmpty())
            return QFileDialog::tr("File");
        return byName.front().comment();
    }

private:
    QMimeDatabase m_mime;
};

// Qt's own dialog, not the desktop's: only its listing can be kept from reading the files.
std::optional<QString> RunFileDialog(QWidget* parent, QFileDialog::AcceptMode mode,
                                     const std::string& filter, const std::string& defaultExt)
{
    NameOnlyIconProvider icons;  // outlives the dialog, which does not own it
    QFileDialog dlg(parent);
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setIconProvider(&icons);
    dlg.setAcceptMode(mode);
    dlg.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                    : QFileDialog::AnyFile);
    dlg.setNameFilter(QString::fromStdString(QtPrompts::ToQtFilter(filter)));
    if (mode == QFileDialog::AcceptSave) {
        dlg.setDefaultSuffix(
            QString::fromStdString(defaultExt).remove(0, defaultExt.rfind('.') == 0 ? 1 : 0));
        // Replacing an existing file without asking is how the program has always saved.
        dlg.setOption(QFileDialog::DontConfirmOverwrite);
    }
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return std::nullopt;
    return dlg.selectedFiles().front();
}
}  // namespace

std::optional<std::string> QtPrompts::OpenFileName(const std::string& filter,
                                                   const std::string& defaultExt)
{
    const std::optional<QString> path =
        RunFileDialog(m_parent, QFileDialog::AcceptOpen, filter, defaultExt);
    if (!path)
        return std::nullopt;
    return path->toStdString();
}

std::optional<std::string> QtPrompts::SaveFileName(const std::string& filter,
                                                   const std::string& defaultExt)
{
    const std::optional<QString> path =
        RunFileDialog(m_parent, QFileDialog::AcceptSave, filter, defaultExt);
    if (!path)
        return std::nullopt;
    return WithExtension(*path, defaultExt);
}
