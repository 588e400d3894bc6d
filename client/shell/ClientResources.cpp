#include "shell/ClientResources.h"

#include <QtGlobal>

static void InitClientResources()
{
    Q_INIT_RESOURCE(client);
}

void EnsureClientResources()
{
    static const bool once = (InitClientResources(), true);
    (void)once;
}
