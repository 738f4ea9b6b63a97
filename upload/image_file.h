// Reading a firmware image file whole, checked: nothing of an image that cannot be read exactly
// as long as the file said it was, or that the 32-bit size header cannot announce, is ever sent.
#pragma once

#include <QString>

#include "protocol/upload_transfer.h"

namespace quorin {

// The file at `path` (opened as given: file names are case-sensitive here), read whole.
// CannotOpen when it cannot be opened; TooLarge from 4 GiB on (checked before reading);
// ReadFailed when a read fails or the bytes read differ from the size found at opening.
ImageLoad read_image(const QString& path);

}  // namespace quorin
