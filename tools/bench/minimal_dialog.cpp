// minimal-dialog: the smallest Qt Widgets window the start-up benchmark compares the tool with, a
// dialog with eight push buttons and nothing else (no network, no resources, default font).
#include <QApplication>
#include <QDialog>
#include <QGridLayout>
#include <QPushButton>

namespace {

constexpr int kButtons = 8;
constexpr int kColumns = 4;

}  // namespace

int main(int argc, char* argv[]) {
    QApplication qt(argc, argv);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("minimal-dialog"));
    auto* grid = new QGridLayout(&dialog);
    for (int i = 0; i < kButtons; ++i) {
        grid->addWidget(new QPushButton(QStringLiteral("Button %1").arg(i + 1), &dialog),
                        i / kColumns, i % kColumns);
    }
    return dialog.exec();
}
