// What every face's firmware rollout reads before anything goes on the wire: the image (read
// once, its sha256 worked out), the manifest that applies to it, and the upload history's lines.
#pragma once

#include <QString>
#include <optional>
#include <string_view>
#include <vector>

#include "cli/board_engine.h"
#include "fleet/history.h"
#include "fleet/manifest.h"
#include "upload/image_file.h"

namespace quorin::cli {

// The image, checked: it opened, holds at least one byte and fits the transfers' 32-bit size.
// Every board's transfer sends these bytes.
struct CheckedImage {
    ImageBytes bytes;
    QString sha256;
};
// Nullopt with `error` set to what is wrong with the image.
std::optional<CheckedImage> read_checked_image(const QString& path, QString* error);

// The manifest that applies to the image: the one `given`, else IMAGE.json when it exists.
struct ImageManifest {
    std::optional<fleet::Manifest> manifest;  // none: no manifest (or `error`)
    QString path;                             // the manifest's path (looked for or read)
    QString error;  // set when it cannot be used: it does not read, or describes another image
};
ImageManifest image_manifest_for(const QString& image, const QString& digest, const QString& given);

// What every history line of a run shares: when, who, where, which image.
fleet::HistoryEntry history_base(const CheckedImage& image);
fleet::HistoryEntry history_of(fleet::HistoryEntry e, const FoundBoard& board,
                               std::string_view result, const QString& message);
// Appends the lines to the history; false with `error` when it could not.
bool append_history(const std::vector<fleet::HistoryEntry>& entries, QString* error);

}  // namespace quorin::cli
