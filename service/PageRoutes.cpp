#include "ServiceOptions.h"

#include <httplib.h>

void RegisterPageRoutes(httplib::Server& server, const ServiceOptions& options)
{
    server.set_mount_point("/", options.pagesDir);
}
