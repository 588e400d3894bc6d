#include "ServiceOptions.h"

#include <httplib.h>

void RegisterUpdateRoutes(httplib::Server& server, const ServiceOptions& options)
{
    (void)server;
    (void)options;
}
