// The name-server table's rows, check box rules, address check and status texts.
#include "app/shell/server_table.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "app/config/address_check.h"
#include "app/relay/statistics.h"

namespace quenda {
namespace {

// Spaces around a typed address are dropped; other blanks make it invalid.
std::string TrimSpaces(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// "Text(3)" as {"Text", 3}; a name without a row number gives row -1.
std::pair<std::string_view, int> SplitName(std::string_view name) {
    if (name.size() != 0 && name.back() == ')') {
        const size_t open = name.rfind('(');
        if (open != std::string_view::npos && open + 3 == name.size() && name[open + 1] >= '0' &&
            name[open + 1] <= '9') {
            return {name.substr(0, open), name[open + 1] - '0'};
        }
    }
    return {name, -1};
}

}  // namespace

ServerTable::ServerTable(Session& session, MessageService& messages)
    : session_(session), messages_(messages) {
    session_.AddObserver(this);
}

ServerTable::~ServerTable() {
    session_.RemoveObserver(this);
}

const ServerTable::RowState& ServerTable::Row(int row) const {
    return rows_[static_cast<size_t>(std::clamp(row, 0, kUsedNameServers - 1))];
}

ServerFigures ServerTable::FiguresOf(const NameServer& server, int16_t NDNS, bool valid,
                                     const std::string& addressField) {
    ServerFigures figures;
    figures.averageTime = ServerReplyTimeText(server);
    figures.share = FirstAnswerShareText(server, NDNS);
    if (NDNS != 0) {
        const double share = std::nearbyint(100.0 * server.WINNING / NDNS);
        figures.sharePercent = static_cast<int>(std::clamp(share, 0.0, 100.0));
    }
    figures.responded = server.responded;
    figures.checkEnabled = valid;
    figures.descriptionWhite = !addressField.empty();
    return figures;
}

void ServerTable::SetWindow(ServerTableWindow* window) {
    window_ = window;
    if (window_ == nullptr) return;
    // A new window shows what the rows hold before the refresh writes only what changed.
    for (int row = 0; row < kUsedNameServers; ++row) {
        const RowState& state = rows_[static_cast<size_t>(row)];
        window_->SetAddressField(row, state.address);
        window_->SetDescriptionField(row, state.description);
        window_->ShowFigures(row, state.figures);
        window_->SetCheckBox(row, state.ticked);
        window_->SetRowLive(row, state.live);
    }
    MakeListView();
}

void ServerTable::MakeListView() {
    const NameServerList& servers = session_.Servers();
    for (int row = 0; row < kUsedNameServers; ++row) {
        const NameServer& server = servers[row];
        if (row != focusedRow_ && row != checkingRow_) {
            SetAddress(row, server.address);
            SetDescription(row, server.description);
        }
        RowState& state = rows_[static_cast<size_t>(row)];
        const ServerFigures figures =
            FiguresOf(server, servers.NDNS, session_.IsValidServer(row), state.address);
        // The relay refreshes on every reply: unchanged rows are not written again.
        if (figures != state.figures) {
            state.figures = figures;
            if (window_ != nullptr) window_->ShowFigures(row, figures);
        }
        SetLive(row, server.enabled);
        SetBox(row, server.enabled);
    }
}

void ServerTable::SetAddress(int row, const std::string& text) {
    RowState& state = rows_[static_cast<size_t>(row)];
    if (state.address == text) return;
    state.address = text;
    if (window_ != nullptr) window_->SetAddressField(row, text);
}

void ServerTable::SetDescription(int row, const std::string& text) {
    RowState& state = rows_[static_cast<size_t>(row)];
    if (state.description == text) return;
    state.description = text;
    if (window_ != nullptr) window_->SetDescriptionField(row, text);
}

void ServerTable::SetBox(int row, bool ticked) {
    RowState& state = rows_[static_cast<size_t>(row)];
    if (state.ticked == ticked) return;
    state.ticked = ticked;
    if (window_ != nullptr) window_->SetCheckBox(row, ticked);
    BoxChanged(row);
}

void ServerTable::CheckClicked(int row, bool ticked) {
    if (!InRange(row)) return;
    rows_[static_cast<size_t>(row)].ticked = ticked;
    BoxChanged(row);
}

void ServerTable::BoxChanged(int row) {
    const bool ticked = rows_[static_cast<size_t>(row)].ticked;
    if (!ticked && std::none_of(rows_.begin(), rows_.end(),
                                [](const RowState& state) { return state.ticked; })) {
        messages_.Inform(MessageIcon::Information, kNoServerTitle, kNoServerText);
    }
    session_.EnableServer(row, ticked);
    SetLive(row, ticked);
}

void ServerTable::SetLive(int row, bool live) {
    RowState& state = rows_[static_cast<size_t>(row)];
    if (state.live == live) return;
    state.live = live;
    if (window_ != nullptr) window_->SetRowLive(row, live);
}

void ServerTable::AddressTyped(int row, const std::string& text) {
    if (InRange(row)) rows_[static_cast<size_t>(row)].address = text;
}

void ServerTable::DescriptionTyped(int row, const std::string& text) {
    if (InRange(row)) rows_[static_cast<size_t>(row)].description = text;
}

void ServerTable::AddressFocused(int row) {
    if (InRange(row)) focusedRow_ = static_cast<int16_t>(row);
}

void ServerTable::DescriptionFocused(int row) {
    if (InRange(row)) focusedRow_ = static_cast<int16_t>(row);
}

void ServerTable::DescriptionLeft(int row) {
    if (!InRange(row)) return;
    session_.SetServerDescription(row, rows_[static_cast<size_t>(row)].description);
    focusedRow_ = kNoFocusedRow;
}

void ServerTable::LeaveRow(int row) {
    // The field the user went to may have taken the focus already.
    if (focusedRow_ == row) focusedRow_ = kNoFocusedRow;
}

void ServerTable::AddressKey(int row, char key) {
    if (!InRange(row) || key != kEscapeKey) return;
    SetAddress(row, session_.Servers()[row].address);
}

void ServerTable::AddressLeft(int row) {
    // The dialog of a check moves the focus, which must not start a second check.
    if (!InRange(row) || checkingRow_ != kNoFocusedRow) return;
    checkingRow_ = static_cast<int16_t>(row);
    CheckAddress(row);
    checkingRow_ = kNoFocusedRow;
}

void ServerTable::CheckAddress(int row) {
    const std::string typed = rows_[static_cast<size_t>(row)].address;
    if (typed.empty()) {
        session_.ClearServer(row);
        SetDescription(row, "");
        SetBox(row, false);
        LeaveRow(row);
        session_.RefreshServers();
        return;
    }
    const std::string trimmed = TrimSpaces(typed);
    const std::string problem = ValidateAddress(trimmed, session_.Local());
    if (problem.empty()) {
        const NameServer& server = session_.Servers()[row];
        if (server.address.empty() && !server.enabled) {
            session_.EnableServer(row, true);
            SetBox(row, true);
        }
        SetAddress(row, trimmed);
        session_.SetServerAddress(row, trimmed);
        LeaveRow(row);
        session_.RefreshServers();
        session_.SaveNameServers();
        return;
    }
    const int answer =
        window_ == nullptr
            ? 0
            : window_->ShowCorrectDialog("Cannot add '" + typed + "' to the list of name servers.",
                                         problem);
    if (answer != 1) {
        SetAddress(row, session_.Servers()[row].address);
        return;
    }
    session_.ProcessPendingMessages();
    window_->ShowServerTab();
    window_->FocusAddressField(row);
    session_.ProcessPendingMessages();
    window_->SelectAddressText(row);
}

std::optional<std::string> ServerTable::StatusText(const std::string& objectName) const {
    if (objectName == "tabelle") return " ";
    const auto [control, row] = SplitName(objectName);
    if (!InRange(row)) return std::nullopt;
    if (control == "Check") {
        return Ticked(row) ? "Disable this name server" : "Enable this name server";
    }
    if (control == "CheckI") return "You will see a green 'OK' if this nameserver did answer";
    if (control == "Text") {
        return session_.Servers()[row].address.empty() ? "Add the IP number of a name server here"
                                                       : "Edit this name server";
    }
    if (control == "Desc") return "You can enter a descriptive text for this server here";
    if (control == "Proz") {
        return "This server was the first to answer for " + AddLeadingZero(Row(row).figures.share) +
               " of all requests";
    }
    if (control == "ATime") return "Average reply time in milliseconds";
    return std::nullopt;
}

}  // namespace quenda
