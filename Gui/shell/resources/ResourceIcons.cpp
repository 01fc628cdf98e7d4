#include "shell/resources/ResourceIcons.h"

#include <QFile>
#include <mutex>

// Q_INIT_RESOURCE must be used outside any namespace.
static void RegisterResources() {
    Q_INIT_RESOURCE(icons);
    Q_INIT_RESOURCE(help);
}

void LoadShellResources() {
    static std::once_flag once;
    std::call_once(once, RegisterResources);
}

QString ResourceIconPath(int idres) {
    return QStringLiteral(":/moxel/icons/%1.png").arg(idres);
}

QIcon ResourceIcon(int idres) {
    LoadShellResources();
    const QString path = ResourceIconPath(idres);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}
