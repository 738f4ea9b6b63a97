#include "boards/boards_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "cli/command_support.h"
#include "cli/state_files.h"
#include "res/boards_texts.h"
#include "settings/field_catalogue.h"

namespace quorin::boards {
namespace {

namespace T = text::boards;
using cli::qs;

// The status cell of an upgrading board: a progress bar with the status text on it.
class ProgressDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const int percent = index.data(BoardModel::kPercentRole).toInt();
        if (percent < 0) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionProgressBar bar;
        bar.rect = option.rect.adjusted(1, 1, -1, -1);
        bar.minimum = 0;
        bar.maximum = 100;
        bar.progress = percent;
        bar.text = index.data(Qt::DisplayRole).toString();
        bar.textVisible = true;
        bar.state = option.state | QStyle::State_Horizontal;
        QApplication::style()->drawControl(QStyle::CE_ProgressBar, &bar, painter);
    }
};

QString plan_lines(const ApplyPlan& plan) {
    QStringList lines;
    for (const ApplyPlan::Board& b : plan.boards) {
        const QString mac = cli::mac_of(b.board.row);
        if (!b.refusal.isEmpty()) {
            lines << mac + QStringLiteral(": ") + qs(T::kPlanRefused).arg(b.refusal);
        } else if (b.target.changes.empty()) {
            lines << mac + QStringLiteral(": ") + qs(T::kPlanNothing);
        } else {
            lines << mac + QLatin1Char(':');
            for (const fleet::Change& c : b.target.changes) {
                lines << QStringLiteral("    ") +
                             qs(T::kPlanChange).arg(qs(c.field), qs(c.now), qs(c.wanted));
            }
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QString upgrade_lines(const UpgradePlan& plan) {
    QStringList lines;
    for (const UpgradePlan::Board& b : plan.boards) {
        const auto fw = settings::field_of(b.board.row, "firmware_version");
        QString verdict;
        switch (b.verdict.kind) {
            case fleet::ManifestVerdict::Upload:
                verdict = qs(T::kVerdictUpgrade).arg(qs(fw ? fw->value : std::string()));
                break;
            case fleet::ManifestVerdict::Skip:
                verdict = qs(T::kVerdictSkip).arg(qs(b.verdict.reason));
                break;
            case fleet::ManifestVerdict::Refuse:
                verdict = qs(T::kVerdictRefused).arg(qs(b.verdict.reason));
                break;
        }
        lines << cli::mac_of(b.board.row) + QStringLiteral(": ") + verdict;
    }
    return lines.join(QLatin1Char('\n'));
}

}  // namespace

BoardsFiles BoardsFiles::dialogs() {
    return {[](QWidget* parent, const QString& title, const QString& filter) {
                const QString path = QFileDialog::getOpenFileName(parent, title, {}, filter);
                return path.isEmpty() ? std::nullopt : std::optional<QString>(path);
            },
            [](QWidget* parent, const QString& title, const QString& filter) {
                const QString path = QFileDialog::getSaveFileName(parent, title, {}, filter);
                return path.isEmpty() ? std::nullopt : std::optional<QString>(path);
            }};
}

BoardsWindow::BoardsWindow(cli::CommonOptions options, BoardsFiles files,
                           std::function<void(const BoardRow&)> show_board, QWidget* parent)
    : QWidget(parent, Qt::Window),
      controller_(std::move(options)),
      model_(controller_),
      files_(std::move(files)),
      show_board_(std::move(show_board)) {
    setWindowTitle(qs(T::kTitle));
    setAccessibleName(qs(T::kTitle));
    auto* layout = new QVBoxLayout(this);

    auto* buttons = new QHBoxLayout;
    const auto add_button = [&](const char* name, std::string_view text, auto slot) {
        auto* b = new QPushButton(qs(text), this);
        b->setObjectName(QLatin1String(name));
        b->setAccessibleName(qs(text).remove(QStringLiteral("...")));
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
    };
    add_button("search", T::kSearch, [this] { controller_.search(); });
    add_button("show", T::kShow, &BoardsWindow::showChosen);
    add_button("apply", T::kApply, &BoardsWindow::chooseApply);
    add_button("rollback", T::kRollBack, &BoardsWindow::chooseRollBack);
    add_button("upgrade", T::kUpgrade, &BoardsWindow::chooseUpgrade);
    add_button("stop", T::kStop, [this] { controller_.stop(); });
    add_button("export", T::kExport, &BoardsWindow::exportTable);
    buttons->addStretch();
    layout->addLayout(buttons);

    auto* filter_row = new QHBoxLayout;
    auto* filter_label = new QLabel(qs(T::kFilter), this);
    filter_ = new QLineEdit(this);
    filter_->setPlaceholderText(qs(T::kFilterHint));
    filter_->setAccessibleName(qs(T::kFilter));
    filter_->setClearButtonEnabled(true);
    filter_label->setBuddy(filter_);
    filter_row->addWidget(filter_label);
    filter_row->addWidget(filter_);
    layout->addLayout(filter_row);
    connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
        model_.setFilter(text);
        sayFound();
    });

    table_ = new QTableView(this);
    table_->setModel(&model_);
    table_->setAccessibleName(qs(T::kTable));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSortingEnabled(true);
    table_->sortByColumn(0, Qt::AscendingOrder);
    table_->verticalHeader()->hide();
    table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 8);
    table_->setWordWrap(false);
    // Columns fit what the first rows hold (a long table is not measured whole).
    table_->horizontalHeader()->setResizeContentsPrecision(50);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setItemDelegateForColumn(static_cast<int>(fleet::BoardColumn::Status),
                                     new ProgressDelegate(table_));
    layout->addWidget(table_, 1);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &BoardsWindow::takeSelection);
    connect(table_, &QTableView::doubleClicked, this, &BoardsWindow::showChosen);
    connect(&model_, &BoardModel::rowsArranged, this, &BoardsWindow::showSelection);

    status_ = new QLabel(this);
    status_->setAccessibleName(qs(T::kStatusLine));
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(status_);

    connect(&controller_, &FleetController::said, this, &BoardsWindow::say);
    connect(&controller_, &FleetController::runChanged, this, [this] {
        updateButtons();
        if (close_when_done_ && !controller_.busy()) close();
    });
    connect(&controller_, &FleetController::boardsChanged, this, [this] {
        const fleet::BoardTable& t = controller_.table();
        if (!sized_ && t.rows() > 0) {
            table_->resizeColumnsToContents();
            sized_ = true;
        }
        // After a run, its summary stays on the status line.
        if (!controller_.refreshed()) sayFound();
        updateButtons();
    });
    resize(900, 480);
    updateButtons();
}

BoardsWindow::~BoardsWindow() = default;

QPushButton* BoardsWindow::button(const char* name) const {
    return findChild<QPushButton*>(QLatin1String(name));
}

void BoardsWindow::openAndSearch() {
    if (!opened_) {
        QString error;
        opened_ = controller_.open(&error);
        if (!opened_) {
            say(qs(T::kCannotOpen).arg(error));
            return;
        }
    }
    controller_.search();
}

void BoardsWindow::say(const QString& text) {
    status_->setText(text);
}

void BoardsWindow::sayFound() {
    const fleet::BoardTable& t = controller_.table();
    say(qs(T::kFound).arg(t.size()).arg(t.rows()).arg(t.selection().size()));
}

void BoardsWindow::updateButtons() {
    const bool idle = opened_ && !controller_.busy();
    const std::size_t chosen = controller_.table().selection().size();
    button("search")->setEnabled(idle);
    button("show")->setEnabled(chosen == 1);
    button("apply")->setEnabled(idle && chosen > 0);
    button("rollback")->setEnabled(idle && controller_.can_roll_back());
    button("upgrade")->setEnabled(idle && chosen > 0);
    button("stop")->setEnabled((controller_.running() == FleetController::Run::Applying ||
                                controller_.running() == FleetController::Run::Upgrading) &&
                               !controller_.stopping());
    button("export")->setEnabled(controller_.table().rows() > 0);
}

void BoardsWindow::showSelection() {
    // The table's selection, kept by MAC across searches, sorts and the filter.
    const fleet::BoardTable& t = controller_.table();
    QItemSelection selection;
    int first = -1;
    const int last_column = fleet::kBoardColumns - 1;
    for (int r = 0; r <= static_cast<int>(t.rows()); ++r) {
        const bool chosen =
            r < static_cast<int>(t.rows()) && t.selected(static_cast<std::size_t>(r));
        if (chosen && first < 0) first = r;
        if (!chosen && first >= 0) {
            selection.select(model_.index(first, 0), model_.index(r - 1, last_column));
            first = -1;
        }
    }
    restoring_ = true;
    table_->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    restoring_ = false;
    updateButtons();
}

void BoardsWindow::takeSelection() {
    if (restoring_) return;
    fleet::BoardTable& t = controller_.table();
    t.clear_selection();
    for (const QModelIndex& row : table_->selectionModel()->selectedRows())
        t.pick(static_cast<std::size_t>(row.row()), fleet::BoardTable::Pick::Toggle);
    sayFound();
    updateButtons();
}

void BoardsWindow::showChosen() {
    const std::vector<Mac> chosen = controller_.table().selection();
    if (chosen.size() != 1 || !show_board_) return;
    if (const cli::FoundBoard* f = controller_.found(chosen.front())) show_board_(f->row);
}

QDialog* BoardsWindow::makePreview(const QString& title, const QString& heading,
                                   const QString& lines, const QString& accept) {
    auto* dialog = new QDialog(this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(title);
    dialog->setAccessibleName(title);
    auto* layout = new QVBoxLayout(dialog);
    auto* label = new QLabel(heading, dialog);
    label->setWordWrap(true);
    layout->addWidget(label);
    preview_text_ = new QPlainTextEdit(lines, dialog);
    preview_text_->setReadOnly(true);
    preview_text_->setAccessibleName(heading);
    label->setBuddy(preview_text_);
    layout->addWidget(preview_text_, 1);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Cancel, dialog);
    QPushButton* ok = box->addButton(accept, QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("accept"));
    ok->setDefault(true);
    connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(box);
    dialog->resize(640, 400);
    preview_ = dialog;
    return dialog;
}

void BoardsWindow::chooseApply() {
    const auto path = files_.open(this, qs(T::kChooseFile), qs(T::kFileFilters));
    if (!path) return;
    const ApplyPlan plan = controller_.plan_apply(*path);
    if (!plan.error.isEmpty()) {
        say(plan.error);
        QMessageBox::warning(this, qs(T::kApplyTitle).arg(*path), plan.error);
        return;
    }
    previewApply(plan);
}

void BoardsWindow::chooseRollBack() {
    if (!controller_.can_roll_back()) return;
    previewApply(controller_.plan_rollback());
}

void BoardsWindow::previewApply(const ApplyPlan& plan) {
    const bool rollback = plan.command == QLatin1String("rollback");
    QDialog* dialog =
        makePreview(rollback ? qs(T::kRollBackTitle) : qs(T::kApplyTitle).arg(plan.source),
                    qs(T::kPlanHeading).arg(plan.changing()).arg(plan.boards.size()),
                    plan_lines(plan), qs(rollback ? T::kRollBackButton : T::kApplyButton));
    connect(dialog, &QDialog::accepted, this, [this, plan] {
        QString error;
        if (!controller_.apply(plan, &error) && !error.isEmpty()) {
            say(error);
            QMessageBox::warning(this, qs(T::kTitle), error);
        }
    });
    dialog->open();
}

void BoardsWindow::chooseUpgrade() {
    const auto path = files_.open(this, qs(T::kChooseImage), QString());
    if (!path) return;
    const UpgradePlan plan = controller_.plan_upgrade(*path);
    if (!plan.error.isEmpty()) {
        say(plan.error);
        QMessageBox::warning(this, qs(T::kUpgradeTitle).arg(*path), plan.error);
        return;
    }
    QStringList heading;
    heading << qs(T::kImageLine).arg(plan.checked->bytes->size()).arg(plan.checked->sha256);
    heading << (plan.manifest ? qs(T::kManifestLine).arg(qs(plan.manifest->version))
                              : qs(T::kNoManifest));
    QDialog* dialog = makePreview(qs(T::kUpgradeTitle).arg(*path), heading.join('\n'),
                                  upgrade_lines(plan), qs(T::kStart));
    auto* form = new QFormLayout;
    const auto spin = [&](std::string_view label, int low, int high, int value) {
        auto* box = new QSpinBox(dialog);
        box->setRange(low, high);
        box->setValue(value);
        box->setAccessibleName(qs(label));
        form->addRow(qs(label), box);
        return box;
    };
    const int boards = static_cast<int>(std::max<std::size_t>(1, plan.upgrading()));
    jobs_ = spin(T::kJobs, 1, cli::kMaxUploadJobs, cli::kDefaultUploadJobs);
    canary_ = spin(T::kCanary, 0, boards, 0);
    max_failures_ = spin(T::kMaxFailures, 0, boards, 0);
    verify_timeout_ = spin(T::kVerifyTimeout, 1, 3600, UpgradeChoice{}.verify_timeout_s);
    static_cast<QVBoxLayout*>(dialog->layout())->insertLayout(2, form);
    dialog->findChild<QPushButton*>(QStringLiteral("accept"))->setEnabled(plan.upgrading() > 0);
    connect(dialog, &QDialog::accepted, this, [this, plan] {
        controller_.upgrade(plan, {jobs_->value(), canary_->value(), max_failures_->value(),
                                   verify_timeout_->value()});
    });
    dialog->open();
}

void BoardsWindow::exportTable() {
    const auto path = files_.save(this, qs(T::kExportTo), qs(T::kExportFilters));
    if (!path) return;
    const bool json = path->endsWith(QLatin1String(".json"), Qt::CaseInsensitive);
    QString error;
    if (!cli::write_durably(*path, controller_.export_text(json).toStdString(), &error)) {
        say(error);
        return;
    }
    say(qs(T::kExported).arg(*path));
}

void BoardsWindow::closeEvent(QCloseEvent* event) {
    const bool running = controller_.running() == FleetController::Run::Applying ||
                         controller_.running() == FleetController::Run::Upgrading;
    if (!running) {
        event->accept();
        return;
    }
    event->ignore();
    if (close_when_done_ || close_question_) return;
    auto* box = new QMessageBox(QMessageBox::Question, qs(T::kCloseTitle), qs(T::kCloseQuestion),
                                QMessageBox::NoButton, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* stop = box->addButton(qs(T::kCloseStop), QMessageBox::AcceptRole);
    stop->setObjectName(QStringLiteral("stop"));
    QPushButton* keep = box->addButton(qs(T::kCloseKeep), QMessageBox::RejectRole);
    keep->setObjectName(QStringLiteral("keep"));
    box->setDefaultButton(keep);
    connect(box, &QMessageBox::buttonClicked, this, [this, stop](QAbstractButton* clicked) {
        if (clicked != stop) return;
        close_when_done_ = true;
        controller_.stop();
    });
    close_question_ = box;
    box->open();
}

}  // namespace quorin::boards
