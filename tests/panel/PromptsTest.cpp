// The file dialogs' filter comes in the old "name|pattern|...||" form and must reach Qt intact;
// the dialogs list a folder without reading what is in its files.

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QTemporaryDir>
#include <QTimer>

#include "framework/QtPrompts.h"
#include "support/PanelHarness.h"

namespace {

TEST(PromptsTest, FilterConvertsToQtForm)
{
    EXPECT_EQ(QtPrompts::ToQtFilter("Quillon Config (*.cfg)|*.cfg|All Files (*.*)|*.*||"),
              "Quillon Config (*.cfg);;All Files (*)");
    EXPECT_EQ(QtPrompts::ToQtFilter("Logs|*.log;*.txt||"), "Logs (*.log *.txt)");
    EXPECT_EQ(QtPrompts::ToQtFilter(""), "");
}

// A read of a FIFO or of /proc/kmsg never returns: the listing must not open any file, which
// the kernel reports for the folder.
TEST(PromptsTest, FileDialogsListAFolderWithoutOpeningItsFiles)
{
    EnsureQtApp();
    QTemporaryDir dir;
    ASSERT_EQ(mkfifo(QFile::encodeName(dir.filePath("pipe")).constData(), 0600), 0);
    QFile unnamed(dir.filePath("sample"));  // no extension: only its bytes could tell its type
    ASSERT_TRUE(unnamed.open(QIODevice::WriteOnly) && unnamed.write("%PDF-1.4\n") > 0);
    unnamed.close();
    const int notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(notify, 0);
    ASSERT_GE(inotify_add_watch(notify, QFile::encodeName(dir.path()).constData(), IN_OPEN), 0);

    QtPrompts prompts;
    for (bool save : {false, true}) {
        bool listed = false;
        QTimer::singleShot(0, [&] {
            auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr);
            auto* model = dlg->findChild<QFileSystemModel*>();
            QObject::connect(model, &QFileSystemModel::directoryLoaded,
                             [&](const QString& path) { listed |= path == dir.path(); });
            dlg->setDirectory(dir.path());
            const QDeadlineTimer deadline(30'000);
            while (!listed && !deadline.hasExpired()) QApplication::processEvents();
            dlg->reject();
        });
        const auto answer = save ? prompts.SaveFileName("All Files (*.*)|*.*||", ".cfg")
                                 : prompts.OpenFileName("All Files (*.*)|*.*||", ".cfg");
        EXPECT_FALSE(answer.has_value());
        EXPECT_TRUE(listed) << save;
    }
    std::string opened;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t n; (n = read(notify, buffer, sizeof buffer)) > 0;)
        for (char* p = buffer; p < buffer + n;
             p += sizeof(inotify_event) + ((inotify_event*)p)->len)
            if (((inotify_event*)p)->len > 0)
                opened += std::string(((inotify_event*)p)->name) + " ";
    close(notify);
    EXPECT_EQ(opened, "");
}

}  // namespace
