// The cache tab's logic: search filter, buttons and pop-up menu.
#include "app/shell/cache_tab.h"

#include "app/relay/dns_codec.h"
#include "app/shell/mainform.h"

namespace quenda {
namespace {

// The classic type codes the type list offers.
constexpr int kFirstListedType = 1;
constexpr int kLastListedType = 21;

}  // namespace

std::vector<std::string> CacheTypeItems() {
    std::vector<std::string> items{kAnyType};
    for (int code = kFirstListedType; code <= kLastListedType; ++code) {
        items.push_back(TypeName(code));
    }
    return items;
}

CacheFilter CacheSearchFilter(const std::string& searchText, const std::string& typeItem) {
    return {searchText, typeItem == kAnyType ? std::string() : typeItem};
}

void CacheTab::UpdateCacheSearch(const std::string& searchText, const std::string& typeItem) {
    filter_ = CacheSearchFilter(searchText, typeItem);
    Refresh();
}

void CacheTab::ButtonClicked(int button) {
    switch (button) {
        case 1:
            ED_UpdatedAdd("");
            break;
        case 2:
            if (const std::string key = SelectionOrMessage(); !key.empty()) ED_UpdatedAdd(key);
            break;
        case 3:
            if (!SelectionOrMessage().empty()) DeleteSelected();
            break;
        case 4:
            DeleteAll();
            break;
        default:
            break;
    }
}

bool CacheTab::MenuItemsEnabled() {
    return !SelectedKey().empty();
}

void CacheTab::ED_UpdatedAdd(const std::string& key) {
    HostEditorPreset preset;
    if (!key.empty()) {
        preset.type = CacheKeyType(key);
        if (preset.type != "A" && preset.type != "MX") {
            messages_.Inform(MessageIcon::Information, "Sorry",
                             "Quenda can only update A or MX records, and this is a " +
                                 preset.type + " record.");
            return;
        }
        preset.name = CacheKeyName(key);
    }
    if (window_ != nullptr) window_->OpenHostEditor(preset);
}

std::string CacheTab::SelectedKey() {
    return window_ != nullptr ? window_->SelectedCacheKey() : std::string();
}

void CacheTab::Refresh() {
    if (window_ != nullptr) window_->ShowCacheEntries(filter_);
}

void CacheTab::DeleteSelected() {
    const std::string key = SelectedKey();
    // A vanished entry deletes nothing; the list is read again all the same.
    if (!key.empty()) cache_.CacheDeleteEntry(key);
    Refresh();
}

void CacheTab::DeleteAll() {
    if (messages_.ShowMessage(MessageIcon::Question, MessageButtons::OkCancel, "Confirm",
                              "Are you sure? All entries will be lost!",
                              MessageAnswer::Cancel) != MessageAnswer::Ok) {
        return;
    }
    cache_.CacheDeleteAll();
    Refresh();
}

std::string CacheTab::SelectionOrMessage() {
    std::string key = SelectedKey();
    if (key.empty()) {
        messages_.Inform(MessageIcon::Information, "Nothing selected",
                         "Please select an entry first.");
    }
    return key;
}

}  // namespace quenda
