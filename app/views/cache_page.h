// The cache tab's page: the type list SType, the search field SSearch, the cache list DBList1
// and its pop-up menu, mapped onto the form's cache tab logic.
#pragma once

#include <QWidget>
#include <string>

#include "app/shell/mainform.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QTreeView;

namespace quenda {

class CacheListModel;

class CachePage final : public QWidget {
    Q_OBJECT

  public:
    // cache and form outlive the page.
    CachePage(CacheDatabase& cache, Mainform& form, QWidget* parent = nullptr);

    // Reads the entries the filter selects again, from the top; the selection is dropped.
    void ShowEntries(const CacheFilter& filter);
    // The key of the selected entry, "" when none is.
    std::string SelectedKey() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void SearchChanged();
    void PopUpMenu(const QPoint& position);

    Mainform& form_;
    CacheListModel* model_ = nullptr;
    QComboBox* type_ = nullptr;
    QLineEdit* search_ = nullptr;
    QLabel* searchLabel_ = nullptr;
    QTreeView* list_ = nullptr;
    QMenu* menu_ = nullptr;
    QAction* menuDelete_ = nullptr;
    QAction* menuUpdate_ = nullptr;
};

}  // namespace quenda
