// Freedesktop icon names with our bundled drawings as the fallback.
#include "app/views/pictures.h"

#include <array>

// The drawings are compiled into the static library, whose resource table no symbol of the
// program pulls in by itself.
static void LoadBundledPictures() {
    static const bool loaded = [] {
        Q_INIT_RESOURCE(views);
        return true;
    }();
    (void)loaded;
}

namespace quenda {
namespace {

struct PictureName {
    const char* name;
    const char* themeName;  // freedesktop icon naming; "" for our own drawing only
    const char* fallback;   // bundled drawing
};

constexpr std::array<PictureName, 14> kPictures = {{
    {"IClear", "edit-clear", ":/quenda/icons/clear.svg"},
    {"IRefresh", "view-refresh", ":/quenda/icons/refresh.svg"},
    {"ITest", "system-search", ":/quenda/icons/test.svg"},
    {"ILogConf", "document-properties", ":/quenda/icons/settings.svg"},
    {"ILogwin", "window-new", ":/quenda/icons/window.svg"},
    {"IAdd", "list-add", ":/quenda/icons/add.svg"},
    {"IEdit", "document-edit", ":/quenda/icons/edit.svg"},
    {"IMuell", "edit-delete", ":/quenda/icons/delete.svg"},
    {"IDelete", "edit-clear-all", ":/quenda/icons/delete-all.svg"},
    {"IHelp", "help-contents", ":/quenda/icons/help.svg"},
    {"IHide", "go-down", ":/quenda/icons/hide.svg"},
    {"IExit", "application-exit", ":/quenda/icons/exit.svg"},
    {"okay", "", ":/quenda/icons/okay.svg"},
    {"Sleeping", "", ":/quenda/icons/sleeping.svg"},
}};

}  // namespace

QIcon Picture(const QString& name) {
    LoadBundledPictures();
    for (const PictureName& picture : kPictures) {
        if (name == QLatin1String(picture.name)) {
            if (*picture.themeName == '\0') return QIcon(QLatin1String(picture.fallback));
            return QIcon::fromTheme(QLatin1String(picture.themeName),
                                    QIcon(QLatin1String(picture.fallback)));
        }
    }
    return {};
}

QIcon Logo() {
    LoadBundledPictures();
    return QIcon(QStringLiteral(":/quenda/icons/quenda.svg"));
}

}  // namespace quenda
