#include "ui/LauncherResources.h"

#include "ResourceIds.h"

#include <QPainter>
#include <QSvgRenderer>
#include <QtGlobal>

static void InitLauncherResources()
{
    Q_INIT_RESOURCE(launcher);
}

void EnsureLauncherResources()
{
    static const bool once = (InitLauncherResources(), true);
    (void)once;
}

QImage LoadLauncherPicture(int nId)
{
    EnsureLauncherResources();
    QSvgRenderer renderer(LauncherResourcePath(nId));
    if (!renderer.isValid()) {
        return {};
    }
    QImage image(renderer.defaultSize(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    return image;
}
