#include "platform/platform_services.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QObject>

namespace quorin::platform {

// --- message boxes -------------------------------------------------------------------------

QString application_title() {
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

void QtMessageBoxes::show(const QString& text) {
    QMessageBox box(QMessageBox::Warning, application_title(), text, QMessageBox::Ok, parent_);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

// --- file-open dialog ----------------------------------------------------------------------

QString qt_file_filter(const QString& platform_filter) {
    const QStringList parts = platform_filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts[i].trimmed();
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'))) {
            const QString trimmed = pattern.trimmed();
            if (!trimmed.isEmpty()) patterns << trimmed;
        }
        if (description.isEmpty() && patterns.isEmpty()) break;  // the closing "||"
        if (patterns.isEmpty()) continue;
        const QString joined = patterns.join(QLatin1Char(' '));
        filters << (description.isEmpty() ? QStringLiteral("(%1)").arg(joined)
                                          : QStringLiteral("%1 (%2)").arg(description, joined));
    }
    return filters.join(QStringLiteral(";;"));
}

std::optional<QString> QtFileChooser::chooseOpenFile(QWidget* parent, const QString& filter) {
    const QString path =
        QFileDialog::getOpenFileName(parent, QString(), QString(), qt_file_filter(filter));
    if (path.isEmpty()) return std::nullopt;
    return path;
}

}  // namespace quorin::platform
