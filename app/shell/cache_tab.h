// The cache tab's logic without widgets: the type list, the search filter, the four buttons,
// the list's pop-up menu and the host entry editor's opening.
#pragma once

#include <string>
#include <vector>

#include "app/cache/cache_listing.h"
#include "app/shell/host_editor.h"
#include "platform/ui/message_service.h"

namespace quenda {

class MainformWindow;

// The first item of the type list, which filters nothing.
inline constexpr const char* kAnyType = "(Any)";

// The items of the type list: kAnyType, then the type names of the codes 1 to 21.
std::vector<std::string> CacheTypeItems();

// The filter of a search: the text as typed, and the type item (nothing for kAnyType).
CacheFilter CacheSearchFilter(const std::string& searchText, const std::string& typeItem);

class CacheTab {
  public:
    // cache and messages outlive the tab.
    CacheTab(CacheDatabase& cache, MessageService& messages) : cache_(cache), messages_(messages) {}

    // The window whose cache list the tab drives; nullptr runs without one.
    void SetWindow(MainformWindow* window) { window_ = window; }

    // The search text or the type changed: the list shows what the new filter selects.
    void UpdateCacheSearch(const std::string& searchText, const std::string& typeItem);
    // The list is read again: the tab was selected, or the host entry editor changed an entry.
    void Refresh();
    // b1 "&Add", b2 "&Update", b3 "&Delete", b4 "Del &all" (other numbers do nothing). b2 and
    // b3 without a selected entry show "Nothing selected"; b4 asks "Confirm" first.
    void ButtonClicked(int button);
    // The list's pop-up menu offers "Delete" and "Update" only with an entry selected.
    bool MenuItemsEnabled();
    // The pop-up menu's items: as b3 and b2, without the selection check.
    void MenuDelete() { DeleteSelected(); }
    void MenuUpdate() { ED_UpdatedAdd(SelectedKey()); }
    // Opens the host entry editor for the entry of key, or to add a host when key is "";
    // an entry of another type than A or MX gets the "Sorry" message instead.
    void ED_UpdatedAdd(const std::string& key);

    const CacheFilter& Filter() const { return filter_; }

  private:
    std::string SelectedKey();
    void DeleteSelected();
    void DeleteAll();
    // The selected entry's key, or "" after the "Nothing selected" message.
    std::string SelectionOrMessage();

    CacheDatabase& cache_;
    MessageService& messages_;
    MainformWindow* window_ = nullptr;
    CacheFilter filter_;  // what the list shows
};

}  // namespace quenda
