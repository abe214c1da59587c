// The cache tab's widgets and their mapping onto the form's cache tab logic.
#include "app/views/cache_page.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/views/cache_list_model.h"

namespace quenda {

CachePage::CachePage(CacheDatabase& cache, Mainform& form, QWidget* parent)
    : QWidget(parent), form_(form) {
    auto* layout = new QVBoxLayout(this);
    auto* frame = new QGroupBox(QStringLiteral("Cache Manager"));
    frame->setObjectName(QStringLiteral("FrameCache"));
    auto* grid = new QGridLayout(frame);

    type_ = new QComboBox;
    type_->setObjectName(QStringLiteral("SType"));
    type_->setAccessibleName(QStringLiteral("Type"));
    for (const std::string& item : CacheTypeItems()) type_->addItem(QString::fromStdString(item));
    auto* typeLabel = new QLabel(QStringLiteral("Type:"));
    typeLabel->setObjectName(QStringLiteral("LabelType"));
    typeLabel->setBuddy(type_);

    search_ = new QLineEdit;
    search_->setObjectName(QStringLiteral("SSearch"));
    search_->setAccessibleName(QStringLiteral("Search"));
    search_->setClearButtonEnabled(true);
    searchLabel_ = new QLabel(QStringLiteral("Search:"));
    searchLabel_->setObjectName(QStringLiteral("LabelSearch"));
    searchLabel_->setBuddy(search_);
    searchLabel_->installEventFilter(this);

    grid->addWidget(typeLabel, 0, 0);
    grid->addWidget(type_, 0, 1);
    grid->addWidget(searchLabel_, 0, 2);
    grid->addWidget(search_, 0, 3);
    grid->setColumnStretch(3, 1);

    model_ = new CacheListModel(cache, this);
    list_ = new QTreeView;
    list_->setObjectName(QStringLiteral("DBList1"));
    list_->setAccessibleName(QStringLiteral("Cache entries"));
    list_->setModel(model_);
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);  // rows are laid out without asking each for its size
    list_->setAllColumnsShowFocus(true);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->header()->setStretchLastSection(false);
    list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    grid->addWidget(list_, 1, 0, 1, 4);
    layout->addWidget(frame, 1);

    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("dataMenu"));
    menu_->setAccessibleName(QStringLiteral("Cache entry"));
    menuDelete_ = menu_->addAction(QStringLiteral("Delete"));
    menuDelete_->setObjectName(QStringLiteral("dataDelete"));
    menuUpdate_ = menu_->addAction(QStringLiteral("Update"));
    menuUpdate_->setObjectName(QStringLiteral("dataUpdate"));

    connect(search_, &QLineEdit::textChanged, this, &CachePage::SearchChanged);
    connect(type_, &QComboBox::currentIndexChanged, this, &CachePage::SearchChanged);
    connect(type_, &QComboBox::activated, this, &CachePage::SearchChanged);
    connect(list_, &QTreeView::customContextMenuRequested, this, &CachePage::PopUpMenu);
    connect(menuDelete_, &QAction::triggered, this, [this] { form_.Cache().MenuDelete(); });
    connect(menuUpdate_, &QAction::triggered, this, [this] { form_.Cache().MenuUpdate(); });
}

void CachePage::ShowEntries(const CacheFilter& filter) {
    model_->ShowEntries(filter);
}

std::string CachePage::SelectedKey() const {
    const QModelIndexList rows = list_->selectionModel()->selectedRows();
    return rows.isEmpty() ? std::string() : model_->KeyAt(rows.front().row());
}

void CachePage::SearchChanged() {
    const QByteArray text = search_->text().toLatin1();
    form_.Cache().UpdateCacheSearch(text.toStdString(), type_->currentText().toStdString());
}

void CachePage::PopUpMenu(const QPoint& position) {
    const bool enabled = form_.Cache().MenuItemsEnabled();
    menuDelete_->setEnabled(enabled);
    menuUpdate_->setEnabled(enabled);
    menu_->exec(list_->viewport()->mapToGlobal(position));
}

bool CachePage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == searchLabel_ && event->type() == QEvent::MouseButtonPress) {
        form_.ShowStatus("Finds an entry in the cache");
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace quenda
