// The "Se&rver" tab's page: the name-server table of ten rows (check box, responded image,
// address, description, share of first answers, average reply time) in the frame
// "Name Server:", mapped onto the table's logic.
#pragma once

#include <QWidget>
#include <array>
#include <optional>
#include <string>

#include "app/shell/mainform.h"
#include "app/shell/server_table.h"
#include "app/shell/session.h"

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;

namespace quenda {

class Panel3D;
class RowField;

class ServerPage final : public QWidget, public ServerTableWindow {
  public:
    // The session and the form must outlive the page.
    ServerPage(Session& session, Mainform& form, QWidget* parent = nullptr);
    ~ServerPage() override;

    ServerTable& Table() { return table_; }
    // The status-line text of a table control by object name; nothing for other names.
    std::optional<std::string> StatusText(const std::string& objectName) const {
        return table_.StatusText(objectName);
    }

    // ServerTableWindow
    void SetAddressField(int row, const std::string& text) override;
    void SetDescriptionField(int row, const std::string& text) override;
    void ShowFigures(int row, const ServerFigures& figures) override;
    void SetCheckBox(int row, bool ticked) override;
    void SetRowLive(int row, bool live) override;
    int ShowCorrectDialog(const std::string& message, const std::string& title) override;
    void ShowServerTab() override;
    void FocusAddressField(int row) override;
    void SelectAddressText(int row) override;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Row {
        QFrame* pic = nullptr;
        QCheckBox* check = nullptr;
        QLabel* checkI = nullptr;
        RowField* text = nullptr;
        RowField* desc = nullptr;
        Panel3D* proz = nullptr;
        QLineEdit* aTime = nullptr;
        // What the answered image and the description's colours show now: the figures
        // change on almost every reply, these seldom, and drawing them is not cheap.
        std::optional<bool> responded;
        std::optional<bool> descriptionWhite;
    };

    // Row 0 as designed; the others are made the same way and stacked below it.
    Row MakeRow(int n);
    void ShowStatusOf(QWidget* widget);

    Mainform& form_;
    std::array<Row, kUsedNameServers> rows_;
    int refocusRow_ = kNoFocusedRow;  // the field to focus once the window is active again
    ServerTable table_;
};

}  // namespace quenda
