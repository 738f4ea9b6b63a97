#include "platform/shell_rules.h"

#include <QAction>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QWidget>

#include "res/dialog_template.h"
#include "res/resource_ids.h"

// The resources of a static library must be registered explicitly; the call has to be made
// outside any namespace.
static void init_platform_resources() {
    Q_INIT_RESOURCE(platform);
}

namespace quorin::platform {

namespace {
constexpr int kSystemCommandMask = 0xFFF0;
}  // namespace

bool is_about_command(int command) {
    return (command & kSystemCommandMask) == res::IDM_ABOUTBOX;
}

QPoint minimized_icon_origin(int client_w, int client_h, int icon_w, int icon_h) {
    // C++ integer division truncates toward zero, also for a client smaller than the icon.
    return QPoint((client_w - icon_w + 1) / 2, (client_h - icon_h + 1) / 2);
}

QAction* add_about_menu_item(QWidget* window, std::function<void(int)> on_command) {
    const std::string_view text = res::load_string(res::IDS_ABOUTBOX);
    if (!window || text.empty()) return nullptr;
    window->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* separator = new QAction(window);
    separator->setSeparator(true);
    window->addAction(separator);
    auto* item =
        new QAction(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), window);
    QObject::connect(item, &QAction::triggered, window, [handler = std::move(on_command)] {
        if (handler) handler(res::IDM_ABOUTBOX);
    });
    window->addAction(item);
    return item;
}

QIcon app_icon() {
    static const bool registered = [] {
        init_platform_resources();
        return true;
    }();
    (void)registered;
    // Decoded as the PNG it is, by the reader built into Qt: read by its name alone, the image
    // would first be offered to every image format plugin installed, each loaded for the purpose.
    QImageReader reader(QStringLiteral(":/quorin/icon128.png"), "png");
    reader.setAutoDetectImageFormat(false);
    return QIcon(QPixmap::fromImage(reader.read()));
}

}  // namespace quorin::platform
