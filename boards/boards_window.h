// The Boards window: every board that answered on any interface in one table, sortable, filtered,
// several selected at once, and the runs on the selected boards (apply a profile or a site file,
// roll back the last apply, upgrade firmware, export the table). Thin over FleetController: it
// shows what the controller holds, asks the operator, and never waits for the network.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QWidget>
#include <functional>
#include <optional>

#include "boards/board_model.h"
#include "boards/fleet_controller.h"

class QSpinBox;
class QPlainTextEdit;

namespace quorin::boards {

// How the window asks for files: the product's file dialogs, or a test's answers. Nullopt:
// cancelled.
struct BoardsFiles {
    std::function<std::optional<QString>(QWidget* parent, const QString& title,
                                         const QString& filter)>
        open;
    std::function<std::optional<QString>(QWidget* parent, const QString& title,
                                         const QString& filter)>
        save;
    static BoardsFiles dialogs();
};

class BoardsWindow : public QWidget {
    Q_OBJECT
  public:
    // `show_board`: shows a board in the main window ("Show in main window").
    BoardsWindow(cli::CommonOptions options, BoardsFiles files,
                 std::function<void(const BoardRow&)> show_board, QWidget* parent = nullptr);
    ~BoardsWindow() override;

    FleetController& controller() { return controller_; }
    QTableView* table() const { return table_; }
    QLineEdit* filter() const { return filter_; }
    QPushButton* button(const char* name) const;
    // The preview open now (apply, roll back or upgrade), null when none is.
    QDialog* preview() const { return preview_; }
    QSpinBox* jobsBox() const { return jobs_; }
    QSpinBox* canaryBox() const { return canary_; }
    QSpinBox* maxFailuresBox() const { return max_failures_; }
    QPlainTextEdit* previewText() const { return preview_text_; }
    QLabel* statusLine() const { return status_; }
    // The question asked when the window is closed during a run, null when none is.
    QDialog* closeQuestion() const { return close_question_; }

    // Opens the network (once) and searches; what the menu item and its shortcut do.
    void openAndSearch();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void updateButtons();
    void showSelection();
    void takeSelection();
    void say(const QString& text);
    void sayFound();
    void showChosen();
    void chooseApply();
    void chooseRollBack();
    void previewApply(const ApplyPlan& plan);
    void chooseUpgrade();
    void exportTable();
    QDialog* makePreview(const QString& title, const QString& heading, const QString& lines,
                         const QString& accept);

    FleetController controller_;
    BoardModel model_;
    BoardsFiles files_;
    std::function<void(const BoardRow&)> show_board_;
    bool opened_ = false;
    bool restoring_ = false;
    bool close_when_done_ = false;
    bool sized_ = false;  // the columns were fitted to the first boards found
    QLineEdit* filter_ = nullptr;
    QTableView* table_ = nullptr;
    QLabel* status_ = nullptr;
    QPointer<QDialog> preview_;
    QPointer<QDialog> close_question_;
    QPlainTextEdit* preview_text_ = nullptr;
    QSpinBox* jobs_ = nullptr;
    QSpinBox* canary_ = nullptr;
    QSpinBox* max_failures_ = nullptr;
    QSpinBox* verify_timeout_ = nullptr;
};

}  // namespace quorin::boards
