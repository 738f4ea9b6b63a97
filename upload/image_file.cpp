#include "upload/image_file.h"

#include <QFile>

namespace quorin {

ImageLoad read_image(const QString& path) {
    ImageLoad image;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        image.result = ImageLoad::Result::CannotOpen;
        return image;
    }
    const qint64 size = file.size();
    if (size < 0 || !image_size_fits(static_cast<std::uint64_t>(size))) {
        image.result = ImageLoad::Result::TooLarge;
        return image;
    }
    image.bytes.resize(static_cast<std::size_t>(size));
    qint64 done = 0;
    while (done < size) {
        const qint64 n = file.read(reinterpret_cast<char*>(image.bytes.data()) + done, size - done);
        if (n <= 0) break;  // error, or the file shrank
        done += n;
    }
    // A file that grew while it was read is as unreliable as one that shrank.
    char extra = 0;
    if (done != size || file.read(&extra, 1) != 0) {
        image.result = ImageLoad::Result::ReadFailed;
        image.bytes.clear();
    }
    return image;
}

}  // namespace quorin
