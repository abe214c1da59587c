// The name-server table's logic without widgets: what each of its ten rows shows, the check
// box rules, the address check when a field is left, and the status-line texts of its controls.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "app/config/name_server_list.h"
#include "app/shell/session.h"
#include "platform/ui/message_service.h"

namespace quenda {

inline constexpr int kNoFocusedRow = -1;
inline constexpr char kEscapeKey = 27;

inline constexpr const char* kNoServerTitle = "No Nameserver?!";
inline constexpr const char* kNoServerText =
    "Warning: All name servers have been deselected. Unless you enable at least one "
    "nameserver, your DNS service will not work correctly!";
inline constexpr const char* kRespondedTip = "This Nameservers is working!";
inline constexpr const char* kSleepingTip = "No answer yet from Nameserver";

// The figures of one row as the refresh writes them.
struct ServerFigures {
    std::string averageTime;        // "83ms", or "---" without a timed reply
    std::string share;              // share of first answers, e.g. "33.3%"
    int sharePercent = 0;           // the same share as a whole number 0 to 100, for a bar
    bool responded = false;         // the "okay" image, else "Sleeping"
    bool checkEnabled = false;      // the check box can be clicked: the address is valid
    bool descriptionWhite = false;  // white background, else the button face
    bool operator==(const ServerFigures&) const = default;
};

// The widgets' side of the table. Rows are 0 to 9; every call is made on the loop's thread.
class ServerTableWindow {
  public:
    virtual ~ServerTableWindow() = default;
    virtual void SetAddressField(int row, const std::string& text) = 0;
    virtual void SetDescriptionField(int row, const std::string& text) = 0;
    virtual void ShowFigures(int row, const ServerFigures& figures) = 0;
    // Sets the box without counting as a click.
    virtual void SetCheckBox(int row, bool ticked) = 0;
    // Live: description, share and average time enabled and the responded image shown;
    // otherwise they are greyed and the image hidden. The address field always stays enabled.
    virtual void SetRowLive(int row, bool live) = 0;
    // The modal "Correct" dialog: 1 for "&Correct!", 0 for "C&ancel" or a closed dialog.
    virtual int ShowCorrectDialog(const std::string& message, const std::string& title) = 0;
    // Switches to the "Se&rver" tab unless it is shown.
    virtual void ShowServerTab() = 0;
    virtual void FocusAddressField(int row) = 0;
    virtual void SelectAddressText(int row) = 0;
};

class ServerTable final : public SessionObserver {
  public:
    // Registers with the session for its server notices until destroyed; the session and
    // the message service must outlive the table.
    ServerTable(Session& session, MessageService& messages);
    ~ServerTable() override;
    ServerTable(const ServerTable&) = delete;
    ServerTable& operator=(const ServerTable&) = delete;

    // The window the table writes to; nullptr for none. A new window is filled at once.
    void SetWindow(ServerTableWindow* window);

    // Writes every row from the slots, except the fields of the focused row. The session
    // ages the first-answer counts before it tells of a change (RefreshServers).
    void MakeListView();

    // Row events from the widgets; a row outside 0 to 9 is ignored.
    void AddressTyped(int row, const std::string& text);
    void DescriptionTyped(int row, const std::string& text);
    void AddressFocused(int row);
    void DescriptionFocused(int row);
    // The address field was left: an empty field empties the slot; a valid address is stored
    // trimmed and saved; an invalid one asks to correct it or puts the stored one back.
    // Ignored while an earlier check is still running. It may come after another row's field
    // has taken the focus.
    void AddressLeft(int row);
    // The description is stored (and saved with the next save of the settings).
    void DescriptionLeft(int row);
    // Esc puts the stored address back into the field; other keys change nothing.
    void AddressKey(int row, char key);
    // The user ticked or cleared the box of a row.
    void CheckClicked(int row, bool ticked);

    // The status-line text of a table control by object name ("Check(3)", "Text(0)", ...,
    // "tabelle"); nothing for other names.
    std::optional<std::string> StatusText(const std::string& objectName) const;

    int FocusedRow() const { return focusedRow_; }
    bool Ticked(int row) const { return InRange(row) && rows_[static_cast<size_t>(row)].ticked; }
    const std::string& AddressField(int row) const { return Row(row).address; }
    const std::string& DescriptionField(int row) const { return Row(row).description; }
    const ServerFigures& Figures(int row) const { return Row(row).figures; }

    // The figures of a slot as its row shows them.
    static ServerFigures FiguresOf(const NameServer& server, int16_t NDNS, bool valid,
                                   const std::string& addressField);

  private:
    struct RowState {
        std::string address;      // the address field's text
        std::string description;  // the description field's text
        bool ticked = false;      // the check box
        bool live = true;         // the fields beside the box enabled, the image shown
        ServerFigures figures;    // as last written
    };

    static bool InRange(int row) { return row >= 0 && row < kUsedNameServers; }
    const RowState& Row(int row) const;

    // SessionObserver: the relay or a command changed the list.
    void ServersChanged() override { MakeListView(); }

    void SetAddress(int row, const std::string& text);
    void SetDescription(int row, const std::string& text);
    // Sets the box by code; a change is handled as a click.
    void SetBox(int row, bool ticked);
    void BoxChanged(int row);
    void SetLive(int row, bool live);
    void CheckAddress(int row);
    // The focused row is cleared when it is still this row.
    void LeaveRow(int row);

    Session& session_;
    MessageService& messages_;
    ServerTableWindow* window_ = nullptr;
    std::array<RowState, kUsedNameServers> rows_;
    int16_t focusedRow_ = kNoFocusedRow;
    // The row whose address is being checked: a focus change the check causes starts no second
    // one, and a refresh while its dialog is open keeps what was typed there.
    int16_t checkingRow_ = kNoFocusedRow;
};

}  // namespace quenda
