#include "cli/upload_image.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include "cli/board_upload.h"
#include "cli/command_support.h"
#include "cli/state_files.h"
#include "res/cli_texts.h"
#include "settings/field_catalogue.h"

namespace quorin::cli {

namespace T = text::cli;

std::optional<CheckedImage> read_checked_image(const QString& path, QString* error) {
    const auto refuse = [error](const QString& message) {
        *error = message;
        return std::optional<CheckedImage>();
    };
    ImageLoad image = read_image(path);
    switch (image.result) {
        case ImageLoad::Result::CannotOpen: {
            QFile file(path);
            const bool opened = file.open(QIODevice::ReadOnly);
            return refuse(qs(T::kImageCannotOpen)
                              .arg(path, opened ? QStringLiteral("?") : file.errorString()));
        }
        case ImageLoad::Result::TooLarge:
            return refuse(qs(T::kImageTooLarge).arg(path).arg(QFile(path).size()));
        case ImageLoad::Result::ReadFailed:
            return refuse(qs(T::kImageChanged).arg(path));
        case ImageLoad::Result::Ok:
            break;
    }
    if (upload_refusal(upload_facts(image.size())) == UploadOutcome::ImageEmpty)
        return refuse(qs(T::kImageEmpty).arg(path));
    CheckedImage checked;
    checked.bytes = take_bytes(image);
    checked.sha256 = QString::fromLatin1(
        QCryptographicHash::hash(
            QByteArrayView(checked.bytes->data(), static_cast<qsizetype>(checked.bytes->size())),
            QCryptographicHash::Sha256)
            .toHex());
    return checked;
}

ImageManifest image_manifest_for(const QString& image, const QString& digest,
                                 const QString& given) {
    ImageManifest m;
    m.path = given.isEmpty() ? image + QStringLiteral(".json") : given;
    if (given.isEmpty() && !QFileInfo::exists(m.path)) return m;
    QFile file(m.path);
    if (!file.open(QIODevice::ReadOnly)) {
        m.error = qs(T::kManifestUnreadable).arg(m.path, file.errorString());
        return m;
    }
    const QByteArray text = file.read(static_cast<qint64>(fleet::kMaxManifestBytes) + 1);
    auto read = fleet::read_manifest(std::string_view(text.constData(), text.size()));
    if (!read.value) {
        m.error = qs(T::kManifestRefused).arg(m.path, qs(read.error));
    } else if (!fleet::digest_matches(*read.value, digest.toStdString())) {
        m.error = qs(T::kImageNotTheManifests).arg(image, digest, qs(read.value->sha256));
    } else {
        m.manifest = std::move(read.value);
    }
    return m;
}

fleet::HistoryEntry history_base(const CheckedImage& image) {
    fleet::HistoryEntry e;
    e.time = utc_now_iso().toStdString();
    e.user = qEnvironmentVariable("USER").toStdString();
    e.host = QSysInfo::machineHostName().toStdString();
    e.sha256 = image.sha256.toStdString();
    e.size = image.bytes->size();
    return e;
}

fleet::HistoryEntry history_of(fleet::HistoryEntry e, const FoundBoard& board,
                               std::string_view result, const QString& message) {
    const auto firmware = settings::field_of(board.row, "firmware_version");
    e.mac = mac_text(board.row.mac_address);
    e.model = settings::model_label(board.row);
    e.firmware_before = firmware ? firmware->value : std::string();
    e.result = std::string(result);
    e.message = message.toStdString();
    return e;
}

bool append_history(const std::vector<fleet::HistoryEntry>& entries, QString* error) {
    if (entries.empty()) return true;
    std::string lines;
    for (const fleet::HistoryEntry& e : entries) lines += fleet::history_line(e);
    return append_durably(history_path(), lines, error);
}

}  // namespace quorin::cli
