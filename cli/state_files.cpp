#include "cli/state_files.h"

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace quorin::cli {

QString state_dir_for(const QString& xdg_state_home, const QString& home) {
    const QString base = QDir::isAbsolutePath(xdg_state_home)
                             ? xdg_state_home
                             : home + QStringLiteral("/.local/state");
    return QDir::cleanPath(base + QStringLiteral("/quorinctl"));
}

QString state_dir() {
    return state_dir_for(qEnvironmentVariable("XDG_STATE_HOME"), QDir::homePath());
}

QString journal_name(const QString& utc_stamp, qint64 pid) {
    return QStringLiteral("journal-%1-%2.json").arg(utc_stamp).arg(pid);
}

QString new_journal_path() {
    return state_dir() + QLatin1Char('/') +
           journal_name(utc_now_stamp(), QCoreApplication::applicationPid());
}

namespace {

bool sync_fd_path(const QByteArray& path, int flags) {
    const int fd = ::open(path.constData(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Writes all of `bytes` to `fd`, syncs and closes it (also when a step fails); false on failure,
// with errno from the step that failed.
bool write_sync_close(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int saved = errno;
            ::close(fd);
            errno = saved;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
        return false;
    }
    return ::close(fd) == 0;
}

// Sets `error` (when asked for) to "WHAT: the system's reason"; false.
bool failed(QString* error, const QString& what) {
    if (error != nullptr) *error = what + QStringLiteral(": ") + qt_error_string(errno);
    return false;
}

}  // namespace

bool write_durably(const QString& path, std::string_view bytes, QString* error) {
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) return failed(error, info.absolutePath());
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    const QByteArray temp = target + ".part";
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return failed(error, QFile::decodeName(temp));
    if (!write_sync_close(fd, bytes)) {
        failed(error, QFile::decodeName(temp));
        ::unlink(temp.constData());
        return false;
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        failed(error, info.absoluteFilePath());
        ::unlink(temp.constData());
        return false;
    }
    sync_fd_path(QFile::encodeName(info.absolutePath()), O_RDONLY | O_DIRECTORY);
    return true;
}

bool append_durably(const QString& path, std::string_view bytes, QString* error) {
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) return failed(error, info.absolutePath());
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    const int fd = ::open(target.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0 || !write_sync_close(fd, bytes)) return failed(error, info.absoluteFilePath());
    return true;
}

QString history_path() {
    return state_dir() + QStringLiteral("/history.jsonl");
}

QString utc_now_iso() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

QString utc_now_stamp() {
    return QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
}

}  // namespace quorin::cli
