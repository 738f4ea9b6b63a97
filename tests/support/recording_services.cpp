#include "tests/support/recording_services.h"

namespace quorin::platform {

void RecordingMessageBoxes::show(const QString& text) {
    shown << text;
    if (on_show) on_show(text);
}

}  // namespace quorin::platform
