#include "framework/SaveFile.h"

#include <QSaveFile>
#include <QString>

std::optional<std::string> SaveFileWhole(const std::string& path, std::string_view bytes)
{
    QSaveFile file(QString::fromStdString(path));
    // Unbuffered, so that every write reaches the file at once and a write that stops short is
    // seen here with the system's reason: commit() flushes a buffer itself but renames even when
    // that flush fails, leaving a cut-short file in place of the old one.
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    for (std::size_t done = 0; written && done < bytes.size();) {
        const qint64 n = file.write(bytes.data() + done, qint64(bytes.size() - done));
        written = n > 0;  // a short write is retried, and the retry names the reason
        done += written ? std::size_t(n) : 0;
    }
    if (written && file.flush() && file.commit())
        return std::nullopt;
    std::string reason = file.errorString().toStdString();
    file.cancelWriting();
    return reason.empty() ? "Unknown error" : reason;
}
