#include "cli/state_files.h"

#include <fcntl.h>
#include <unistd.h>

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

namespace {

bool sync_fd_path(const QByteArray& path, int flags) {
    const int fd = ::open(path.constData(), flags | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

}  // namespace

bool write_durably(const QString& path, std::string_view bytes, QString* error) {
    const QFileInfo info(path);
    const auto fail = [&](const QString& what) {
        if (error != nullptr) *error = what + QStringLiteral(": ") + qt_error_string(errno);
        return false;
    };
    if (!QDir().mkpath(info.absolutePath())) return fail(info.absolutePath());
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    const QByteArray temp = target + ".part";
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return fail(QFile::decodeName(temp));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            ::unlink(temp.constData());
            return fail(QFile::decodeName(temp));
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        ::unlink(temp.constData());
        return fail(QFile::decodeName(temp));
    }
    if (::rename(temp.constData(), target.constData()) != 0) {
        ::unlink(temp.constData());
        return fail(info.absoluteFilePath());
    }
    sync_fd_path(QFile::encodeName(info.absolutePath()), O_RDONLY | O_DIRECTORY);
    return true;
}

bool append_durably(const QString& path, std::string_view bytes, QString* error) {
    const QFileInfo info(path);
    const auto fail = [&](const QString& what) {
        if (error != nullptr) *error = what + QStringLiteral(": ") + qt_error_string(errno);
        return false;
    };
    if (!QDir().mkpath(info.absolutePath())) return fail(info.absolutePath());
    const QByteArray target = QFile::encodeName(info.absoluteFilePath());
    const int fd = ::open(target.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return fail(info.absoluteFilePath());
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return fail(info.absoluteFilePath());
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) {
        ::close(fd);
        return fail(info.absoluteFilePath());
    }
    if (::close(fd) != 0) return fail(info.absoluteFilePath());
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
